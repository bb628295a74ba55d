// Source lines and header directives.
//
// In: the score text, Shift-JIS bytes ended by a zero byte.
// Out: the source table: one record per line whose first byte is a capital
//   letter or one of "@" "%" "+" "*" (outside #off regions), each with its
//   line number, stored text (at most 4000 bytes, no CR), kind, name and body;
//   and the resolution set by #clock (192 by default). The table keeps the
//   score in one buffer (taken over from the caller, or copied once) and
//   makes each stored line a zero-terminated view into it, rewritten in
//   place: its CRs dropped, cut at 4000 bytes, its line feed replaced by the
//   terminator.
// Reports nothing itself: the line numbers of stored lines that were cut are
//   kept in cut_lines, for the driver to warn about.
#ifndef QUERN_COMPILER_DRIVER_SOURCE_LINES_H_
#define QUERN_COMPILER_DRIVER_SOURCE_LINES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/driver/work_areas.h"

enum LineKind : uint8_t {
  kLineCommon = 1,
  kLineTrack = 2,
  kLineMacro = 3,
  kLineContinuation = 6,
};

// A stored line keeps at most this many bytes (CRs not counted).
inline constexpr size_t kMaxSourceLineBytes = 4000;

struct SourceLine {
  int32_t line_number;
  size_t text_offset;  // of the line's text in the table's buffer
  int32_t body_offset;
  int32_t name_index;
  uint8_t kind;
};

struct SourceTable {
  std::vector<SourceLine> lines;   // room for every line, reserved by the scan
  std::vector<int32_t> cut_lines;  // line numbers of stored lines cut at the limit
  std::string text;                // the score; stored lines end in a zero byte
  StringTable names;
  int32_t line_counter = 0;
  int32_t resolution = 192;

  int LineCount() const { return static_cast<int>(lines.size()); }
  const char* Text(int i) const { return text.data() + lines[i].text_offset; }
  const char* Body(int i) const { return Text(i) + lines[i].body_offset; }
  const char* Name(int i) const { return names.String(lines[i].name_index); }
  void Reset();
};

// Cuts text (zero-terminated; it ends at its first zero byte) into source
// line records; acts on #on, #off, #clock and #title lines. The first form
// copies the text into the table, the second takes it over.
void ScanSourceLines(SourceTable& table, const char* text);
void ScanSourceLines(SourceTable& table, std::string&& text);
// Sets kind, name and body offset of every record.
void ClassifySourceLines(SourceTable& table);

#endif  // QUERN_COMPILER_DRIVER_SOURCE_LINES_H_
