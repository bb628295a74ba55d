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
// Nothing here throws for bad input; only a failed allocation could.
#ifndef QUERN_COMPILER_DRIVER_WORK_AREAS_H_
#define QUERN_COMPILER_DRIVER_WORK_AREAS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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

  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
  std::vector<uint32_t> starts_;
  size_t entry_capacity_;
};

class ByteBuffer {
 public:
  explicit ByteBuffer(size_t capacity = 256000);

  void Append(uint8_t byte);
  void AppendWord(uint16_t word);  // low byte first
  void AppendBytes(const uint8_t* bytes, size_t n);
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const uint8_t* Begin() const { return data_.data(); }
  uint8_t* Begin() { return data_.data(); }
  size_t Length() const { return end_; }
  size_t Capacity() const { return data_.size(); }
  void Clear() { end_ = 0; }

 private:
  void GrowIfPastLimit();

  std::vector<uint8_t> data_;
  size_t end_ = 0;
};

#endif  // QUERN_COMPILER_DRIVER_WORK_AREAS_H_
