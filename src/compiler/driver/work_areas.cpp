#include "compiler/driver/work_areas.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {
constexpr size_t kByteStep = 32768;
constexpr size_t kMinFreeBytes = 1024;
constexpr size_t kEntryStep = 500;
constexpr size_t kMinFreeEntries = 10;
// Below this a quarter of a byte buffer would not hold a 16-bit value.
constexpr size_t kMinByteCapacity = 16;
}  // namespace

void AdviseLargeBlock(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  if (bytes < 2 * kHugePage) return;
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (start + bytes) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

StringTable::StringTable(size_t byte_capacity, size_t entry_capacity)
    : bytes_(byte_capacity), entry_capacity_(entry_capacity) {
  starts_.reserve(entry_capacity);
}

// Grows the byte area in 32768-byte steps until n more bytes fit.
void StringTable::Reserve(size_t n) {
  size_t capacity = bytes_.size();
  while (capacity - used_ < n) capacity += kByteStep;
  if (capacity != bytes_.size()) GrowKeeping(bytes_, capacity, used_);
}

void StringTable::Grow() {
  if (bytes_.size() - used_ < kMinFreeBytes) GrowKeeping(bytes_, bytes_.size() + kByteStep, used_);
  if (entry_capacity_ - starts_.size() < kMinFreeEntries) {
    entry_capacity_ += kEntryStep;
    starts_.reserve(entry_capacity_);
  }
}

int StringTable::AddString(std::string_view text) {
  Reserve(text.size() + 1);
  starts_.push_back(static_cast<uint32_t>(used_));
  std::memcpy(bytes_.data() + used_, text.data(), text.size());
  bytes_[used_ + text.size()] = 0;
  used_ += text.size() + 1;
  Grow();
  return Count() - 1;
}

int StringTable::AddBytes(const uint8_t* bytes, size_t n) {
  Reserve(n);
  starts_.push_back(static_cast<uint32_t>(used_));
  if (n > 0) std::memcpy(bytes_.data() + used_, bytes, n);
  used_ += n;
  Grow();
  return Count() - 1;
}

int StringTable::Find(std::string_view text) const {
  for (int i = 0; i < Count(); ++i) {
    const char* s = String(i);
    if (EntrySize(i) == text.size() + 1 && std::memcmp(s, text.data(), text.size()) == 0 &&
        s[text.size()] == 0) {
      return i;
    }
  }
  return -1;
}

const char* StringTable::String(int index) const {
  return reinterpret_cast<const char*>(bytes_.data() + starts_[index]);
}

const uint8_t* StringTable::Bytes(int index) const {
  return bytes_.data() + starts_[index];
}

size_t StringTable::EntrySize(int index) const {
  size_t end = index + 1 < Count() ? starts_[index + 1] : used_;
  return end - starts_[index];
}

void StringTable::Clear() {
  used_ = 0;
  starts_.clear();
}

ByteBuffer::ByteBuffer(size_t capacity) {
  Resize(std::max(capacity, kMinByteCapacity));
}

void ByteBuffer::Resize(size_t size) {
  GrowKeeping(data_, size, end_);
  limit_ = data_.size() * 3 / 4;
}

// Keeps a quarter of the capacity free behind the end: past three quarters
// the buffer grows to one and a half times.
void ByteBuffer::GrowIfPastLimit() {
  if (end_ > limit_) Grow();
}

void ByteBuffer::Grow() {
  Resize(data_.size() * 3 / 2);
}

void ByteBuffer::AppendBytes(const uint8_t* bytes, size_t n) {
  if (end_ + n > limit_) Resize(2 * (end_ + n));
  if (n > 0) std::memcpy(data_.data() + end_, bytes, n);
  end_ += n;
}

void ByteBuffer::AppendFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n > 0) {
    if (end_ + static_cast<size_t>(n) + 1 > data_.size()) Resize(2 * (end_ + n + 1));
    std::vsnprintf(reinterpret_cast<char*>(data_.data() + end_), n + 1, format, args);
    end_ += n;
  }
  va_end(args);
  GrowIfPastLimit();
}
