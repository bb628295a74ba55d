#include "compiler/song/events.h"

#include <algorithm>

namespace {
constexpr int kInitialRecords = 32768;
constexpr int kRecordStep = 8192;
}  // namespace

EventTable::EventTable() : records_(kInitialRecords) {}

void EventTable::Append(const EventRecord& record) {
  records_[count_++] = record;
  if (count_ >= static_cast<int>(records_.size())) records_.resize(records_.size() + kRecordStep);
}

int EventTable::SaveSlot() {
  if (last_used_ + 1 >= kSlotCount) return -1;
  ++last_used_;
  slots_[last_used_].assign(records_.begin(), records_.begin() + count_);
  return last_used_;
}

void EventTable::LoadSlot(int slot) {
  if (slot < 0 || slot > last_used_) {
    count_ = 0;
    return;
  }
  const std::vector<EventRecord>& saved = slots_[slot];
  if (saved.size() + 16 > records_.size()) records_.resize(saved.size() + 16);
  std::copy(saved.begin(), saved.end(), records_.begin());
  count_ = static_cast<int>(saved.size());
}

int EventTable::StoreSlot(int slot) {
  if (slot < 0 || slot > last_used_) return -1;
  slots_[slot].assign(records_.begin(), records_.begin() + count_);
  return slot;
}

void EventTable::Reset() {
  for (int i = 0; i <= last_used_; ++i) std::vector<EventRecord>().swap(slots_[i]);
  last_used_ = -1;
  count_ = 0;
}
