#include "compiler/song/events.h"

#include <algorithm>

namespace {
constexpr size_t kInitialRecords = 32768;
constexpr size_t kRecordStep = 8192;
constexpr size_t kMostReservedRecords = size_t{1} << 24;
}  // namespace

EventTable::EventTable() : records_(kInitialRecords) {}

// Called on an empty table: the records are left behind, not copied.
void EventTable::ReserveFor(size_t score_bytes) {
  size_t wanted = std::min(score_bytes, kMostReservedRecords) + kInitialRecords;
  if (wanted <= records_.capacity() || used_end_ != 0 || count_ != 0) return;
  const size_t size = records_.size();
  WorkVector<EventRecord>().swap(records_);
  records_.reserve(wanted);
  records_.resize(size);
}

// The documented size grows in steps of 8192 records; the memory beneath it
// at least doubles, so a large track is not copied at every step.
void EventTable::Grow() {
  size_t size = std::max(records_.size(), begin_ + count_) + kRecordStep;
  GrowKeeping(records_, size, begin_ + count_);
}

void EventTable::Detach() {
  const size_t from = begin_;
  begin_ = used_end_;
  owner_ = -1;
  while (begin_ + count_ >= records_.size()) Grow();
  std::copy_n(records_.begin() + from, count_, records_.begin() + begin_);
}

void EventTable::ClearWorking() {
  begin_ = used_end_;
  count_ = 0;
  owner_ = -1;
}

void EventTable::Claim(int slot) {
  if (owner_ >= 0) Detach();
  slots_[slot] = Range{begin_, static_cast<size_t>(count_)};
  used_end_ = begin_ + count_;
  owner_ = slot;
}

int EventTable::SaveSlot() {
  if (last_used_ + 1 >= kSlotCount) return -1;
  ++last_used_;
  Claim(last_used_);
  return last_used_;
}

void EventTable::LoadSlot(int slot) {
  if (slot < 0 || slot > last_used_) {
    ClearWorking();
    return;
  }
  begin_ = slots_[slot].begin;
  count_ = static_cast<int>(slots_[slot].count);
  owner_ = slot;
}

int EventTable::StoreSlot(int slot) {
  if (slot < 0 || slot > last_used_) return -1;
  if (owner_ != slot) Claim(slot);
  return slot;
}

void EventTable::Reset() {
  records_.resize(kInitialRecords);
  last_used_ = -1;
  used_end_ = 0;
  ClearWorking();
}

void EventTable::Release() {
  if (records_.capacity() > kInitialRecords) WorkVector<EventRecord>(kInitialRecords).swap(records_);
  Reset();
}
