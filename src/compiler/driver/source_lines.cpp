#include "compiler/driver/source_lines.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

constexpr int kDefaultResolution = 192;

bool IsCapital(uint8_t c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLetter(uint8_t c) {
  return IsCapital(c) || (c >= 'a' && c <= 'z');
}
bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}
bool IsNameByte(uint8_t c) {
  return IsLetter(c) || IsDigit(c) || c == '_';
}

bool StartsScoreLine(uint8_t c) {
  return IsCapital(c) || c == '@' || c == '%' || c == '+' || c == '*';
}

// Reads one line from *p (the text ends at `end`, where a zero byte stands),
// rewriting it in place: up to the line feed or the end of the text,
// carriage returns dropped, at most kMaxSourceLineBytes kept, then a zero
// byte where the kept bytes end. The kept bytes never run ahead of the bytes
// read, so nothing unread is overwritten; a line without a carriage return
// is only ended, not copied. *p ends behind the line feed; *cut tells
// whether bytes beyond the limit were dropped.
std::string_view ReadLine(char** p, char* end, bool* cut) {
  char* const start = *p;
  char* const feed = static_cast<char*>(std::memchr(start, '\n', end - start));
  char* const stop = feed != nullptr ? feed : end;
  size_t length = static_cast<size_t>(stop - start);  // without its CRs
  if (std::memchr(start, '\r', length) != nullptr) {
    length = 0;
    for (char* s = start; s != stop; ++s) {
      if (*s == '\r') continue;
      if (length < kMaxSourceLineBytes) start[length] = *s;
      ++length;
    }
  }
  *cut = length > kMaxSourceLineBytes;
  const size_t kept = std::min(length, kMaxSourceLineBytes);
  *p = feed != nullptr ? feed + 1 : end;
  start[kept] = 0;
  return std::string_view(start, kept);
}

// Like strtol on the text: blanks, an optional sign, decimal digits; no digits
// give 0. Saturates instead of overflowing.
long ParseDecimal(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  long value = 0;
  for (; IsDigit(*s); ++s) {
    if (value < INT_MAX) value = value * 10 + (*s - '0');
  }
  if (value > INT_MAX) value = INT_MAX;
  return negative ? -value : value;
}

void ActOnHeader(SourceTable& table, std::string_view line, bool* on) {
  if (line.starts_with("#on")) *on = true;
  if (line.starts_with("#off")) *on = false;
  if (line.starts_with("#clock")) {
    long value = ParseDecimal(line.data() + 6);
    if (value > 0) table.resolution = static_cast<int32_t>(value);
  }
  // #title is read from the file by the score browser; nothing to do here.
}

size_t NameLength(const char* s, bool (*is_name_byte)(uint8_t)) {
  size_t n = 0;
  while (is_name_byte(static_cast<uint8_t>(s[n]))) ++n;
  return n;
}

bool IsCommonNameByte(uint8_t c) {
  return IsCapital(c) || c == '-' || c == '~';
}
bool IsMacroNameByte(uint8_t c) {
  return IsNameByte(c);
}

// Cuts the table's text into line records, rewriting the lines in place.
// The records get room for every line of the text at once: a large score
// would otherwise copy them again at each growth step.
void ScanTableText(SourceTable& table) {
  table.resolution = kDefaultResolution;
  table.lines.clear();
  table.cut_lines.clear();
  table.line_counter = 0;
  // The text ends at its first zero byte.
  table.text.resize(std::strlen(table.text.c_str()));
  table.lines.reserve(std::count(table.text.begin(), table.text.end(), '\n') + 1);
  bool on = true;
  char* const begin = table.text.data();
  char* const end = begin + table.text.size();
  char* p = begin;
  while (p != end) {
    const uint8_t first = static_cast<uint8_t>(*p);
    const size_t offset = static_cast<size_t>(p - begin);
    bool cut = false;
    std::string_view line = ReadLine(&p, end, &cut);
    if (on && StartsScoreLine(first)) {
      table.lines.push_back(SourceLine{table.line_counter, offset, 0, -1, 0});
      if (cut) table.cut_lines.push_back(table.line_counter);
    } else if (first == '#') {
      ActOnHeader(table, line, &on);
    }
    ++table.line_counter;
  }
}

}  // namespace

void SourceTable::Reset() {
  lines.clear();
  cut_lines.clear();
  text.clear();
  names.Clear();
  line_counter = 0;
  resolution = kDefaultResolution;
}

void ScanSourceLines(SourceTable& table, const char* text) {
  // Into the table's own buffer, which keeps its memory from the last score.
  table.text.assign(text != nullptr ? text : "");
  ScanTableText(table);
}

void ScanSourceLines(SourceTable& table, std::string&& text) {
  table.text = std::move(text);
  ScanTableText(table);
}

void ClassifySourceLines(SourceTable& table) {
  // Name lookups through a hash map: the names table itself is searched
  // linearly, which scores with thousands of names would feel.
  std::unordered_map<std::string, int> index_of;
  for (int i = 0; i < table.names.Count(); ++i) index_of.emplace(table.names.String(i), i);
  for (SourceLine& record : table.lines) {
    const char* text = table.text.data() + record.text_offset;
    uint8_t first = static_cast<uint8_t>(text[0]);
    size_t name_start = 1;
    size_t name_length = 0;
    if (first == '*') {
      record.kind = kLineCommon;
      name_length = NameLength(text + 1, IsCommonNameByte);
    } else if (first == '+') {
      record.kind = kLineContinuation;
    } else if (first == '%' || first == '@') {
      record.kind = kLineMacro;
      name_length = NameLength(text + 1, IsMacroNameByte);
    } else {
      record.kind = kLineTrack;
      name_start = 0;
      name_length = NameLength(text, IsMacroNameByte);
    }
    record.body_offset = static_cast<int32_t>(name_start + name_length);
    std::string name(text + name_start, name_length);
    auto [it, added] = index_of.emplace(name, table.names.Count());
    if (added) table.names.AddString(name);
    record.name_index = it->second;
  }
}
