// Growable containers that every stage of the compiler uses.
//
// StringTable: entries addressed by index, each a zero-terminated string or a
//   byte string of given length. Starts with 65536 bytes and 1000 entry starts;
//   after every addition it grows by 32768 bytes when fewer than 1024 are free
//   and by 500 entry starts when fewer than 10 are free. An entry that does
//   not fit grows the byte area first. Always reach entries through the
//   table: growth may move them.
// ByteBuffer: a byte string written only at its end. Its limit lies at three
//   quarters of its capacity; an append that passes the limit grows it to one
//   and a half times (AppendBytes: to twice the used bytes plus n).
//
// WorkVector: the storage beneath them, a vector that leaves new elements
//   uninitialised. The areas start large and are always written before they
//   are read, so zero-filling them would only touch memory that a small
//   score never uses (the pages stay untouched until written).
//
// Nothing here throws for bad input; only a failed allocation could.
#ifndef QUERN_COMPILER_DRIVER_WORK_AREAS_H_
#define QUERN_COMPILER_DRIVER_WORK_AREAS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// Asks the system to back the whole 2 MB pages inside a large block with
// huge pages, where it allows that: a score of a few megabytes otherwise
// takes a page fault for every 4 KB of records, and on a virtual machine each
// costs several microseconds. Only advice: elsewhere nothing changes.
void AdviseLargeBlock(void* block, size_t bytes);

// An allocator whose value-less construct leaves trivial elements as they
// are instead of zeroing them, and which advises large blocks as above.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    T* block = std::allocator<T>::allocate(n);
    AdviseLargeBlock(block, n * sizeof(T));
    return block;
  }

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <typename T>
using WorkVector = std::vector<T, UninitializedAllocator<T>>;

// Resizes v to size elements, of which the first `keep` are in use. Memory
// beneath it at least doubles when it must move, and only the elements in
// use are copied, so the unused rest is never touched.
template <typename T>
void GrowKeeping(WorkVector<T>& v, size_t size, size_t keep) {
  if (size <= v.capacity()) {
    v.resize(size);
    return;
  }
  WorkVector<T> fresh;
  fresh.reserve(std::max(size, 2 * v.capacity()));
  fresh.resize(size);
  std::copy_n(v.begin(), std::min(keep, v.size()), fresh.begin());
  v.swap(fresh);
}

class StringTable {
 public:
  explicit StringTable(size_t byte_capacity = 65536, size_t entry_capacity = 1000);

  // Adds a zero-terminated string (copied with its zero byte); returns its index.
  int AddString(std::string_view text);
  // Adds n bytes without a terminator; returns the index.
  int AddBytes(const uint8_t* bytes, size_t n);
  // Lowest index whose entry equals text up to its zero byte, or -1.
  int Find(std::string_view text) const;

  const char* String(int index) const;
  const uint8_t* Bytes(int index) const;
  // Start of the next entry (or the bytes used) minus the entry's start.
  size_t EntrySize(int index) const;
  int Count() const { return static_cast<int>(starts_.size()); }
  size_t BytesUsed() const { return used_; }
  size_t ByteCapacity() const { return bytes_.size(); }
  size_t EntryCapacity() const { return entry_capacity_; }
  void Clear();

 private:
  void Reserve(size_t n);
  void Grow();

  WorkVector<uint8_t> bytes_;
  size_t used_ = 0;
  WorkVector<uint32_t> starts_;
  size_t entry_capacity_;
};

class ByteBuffer {
 public:
  explicit ByteBuffer(size_t capacity = 256000);

  // Inline: the stream compiler appends every output byte through these.
  void Append(uint8_t byte) {
    data_[end_++] = byte;
    if (end_ > limit_) Grow();
  }
  void AppendWord(uint16_t word) {  // low byte first
    data_[end_++] = static_cast<uint8_t>(word & 0xff);
    data_[end_++] = static_cast<uint8_t>(word >> 8);
    if (end_ > limit_) Grow();
  }
  void AppendBytes(const uint8_t* bytes, size_t n);
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const uint8_t* Begin() const { return data_.data(); }
  uint8_t* Begin() { return data_.data(); }
  size_t Length() const { return end_; }
  size_t Capacity() const { return data_.size(); }
  void Clear() { end_ = 0; }

 private:
  void GrowIfPastLimit();
  // Grows to one and a half times; the limit follows the capacity.
  void Grow();
  void Resize(size_t size);

  WorkVector<uint8_t> data_;
  size_t end_ = 0;
  size_t limit_ = 0;  // three quarters of the capacity
};

#endif  // QUERN_COMPILER_DRIVER_WORK_AREAS_H_
