// Text built a few bytes at a time (the score writer's bars): bytes, texts
// and decimal numbers appended without going through std::string's
// general members for each one. Thread: any; one object per writer.
#ifndef QUERN_IMPORT_TEXT_OUT_H_
#define QUERN_IMPORT_TEXT_OUT_H_

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class TextOut {
 public:
  void Add(char c) {
    if (size_ == room_.size()) Grow(1);
    room_[size_++] = c;
  }
  void Add(std::string_view s) {
    if (s.empty()) return;
    if (room_.size() - size_ < s.size()) Grow(s.size());
    std::memcpy(&room_[size_], s.data(), s.size());
    size_ += s.size();
  }
  void Number(int64_t n) {
    constexpr size_t kDigits = 20;  // INT64_MIN with its sign
    if (room_.size() - size_ < kDigits) Grow(kDigits);
    char* at = &room_[size_];
    size_ += static_cast<size_t>(std::to_chars(at, at + kDigits, n).ptr - at);
  }
  void Clear() { size_ = 0; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {room_.data(), size_}; }

 private:
  void Grow(size_t n) { room_.resize(std::max(2 * room_.size(), size_ + n + 64)); }

  std::string room_;  // the text is its first size_ bytes
  size_t size_ = 0;
};

#endif  // QUERN_IMPORT_TEXT_OUT_H_
