#include "lsp/text_lines.h"

#include "files/score_text.h"

std::vector<std::string_view> SplitTextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

char32_t NextCodePoint(std::string_view line, size_t* i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(line[k]); };
  const unsigned char b = byte(*i);
  int extra = b >= 0xf0 && b < 0xf8 ? 3 : b >= 0xe0 ? 2 : b >= 0xc0 ? 1 : 0;
  if (b >= 0xf8) extra = 0;
  if (*i + extra >= line.size()) extra = 0;
  for (int k = 1; k <= extra; ++k) {
    if ((byte(*i + k) & 0xc0) != 0x80) extra = 0;
  }
  if (extra == 0) {
    ++*i;
    return b;
  }
  char32_t c = b & (0x3f >> extra);
  for (int k = 1; k <= extra; ++k) c = (c << 6) | (byte(*i + k) & 0x3f);
  *i += static_cast<size_t>(extra) + 1;
  return c;
}

namespace {

int Units(char32_t c) {
  return c > 0xffff ? 2 : 1;
}

}  // namespace

int Utf16Length(std::string_view line) {
  return Utf16OfByte(line, line.size());
}

size_t ByteOfUtf16(std::string_view line, int column) {
  size_t i = 0;
  int units = 0;
  while (i < line.size()) {
    size_t next = i;
    const char32_t c = NextCodePoint(line, &next);
    if (units + Units(c) > column) break;
    units += Units(c);
    i = next;
  }
  return i;
}

int Utf16OfByte(std::string_view line, size_t byte) {
  size_t i = 0;
  int units = 0;
  while (i < line.size() && i < byte) units += Units(NextCodePoint(line, &i));
  return units;
}

int Utf16OfShiftJis(std::string_view line, int shift_jis_column) {
  size_t i = 0;
  int units = 0, bytes = 0;
  while (i < line.size()) {
    size_t next = i;
    const char32_t c = NextCodePoint(line, &next);
    const int width = ShiftJisLength(c);
    if (bytes + width > shift_jis_column) break;
    bytes += width;
    units += Units(c);
    i = next;
  }
  return units;
}

int ShiftJisOfUtf16(std::string_view line, int column) {
  size_t i = 0;
  int units = 0, bytes = 0;
  while (i < line.size()) {
    const char32_t c = NextCodePoint(line, &i);
    if (units + Units(c) > column) break;
    units += Units(c);
    bytes += ShiftJisLength(c);
  }
  return bytes;
}

std::u16string ToUtf16(std::string_view line) {
  std::u16string out;
  size_t i = 0;
  while (i < line.size()) {
    char32_t c = NextCodePoint(line, &i);
    if (c > 0xffff) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xd800 + (c >> 10));
      out += static_cast<char16_t>(0xdc00 + (c & 0x3ff));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}
