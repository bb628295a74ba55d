// A document's text as lines, and the three ways its columns are counted:
// UTF-16 code units (the protocol), UTF-8 bytes (the text as held) and
// Shift-JIS bytes (the compiler report and the source map).
//
// In: UTF-8 text whose lines end in "\n", "\r\n" or a lone "\r".
// Out: the lines without their breaks; column conversions within a line.
//   Shift-JIS widths come from the one score reader (files/score_text.h), so
//   a column here is the column the compiler saw.
// Nothing fails: columns past a line's end clamp to its end; bytes that are
//   not UTF-8 count as one unit each.
// Thread: any; no state beyond the arguments.
#ifndef QUERN_LSP_TEXT_LINES_H_
#define QUERN_LSP_TEXT_LINES_H_

#include <string>
#include <string_view>
#include <vector>

// Views into text, one per line (at least one).
std::vector<std::string_view> SplitTextLines(std::string_view text);

// The code point at line[*i] (U+FFFD-free: a bad byte gives itself), and
// moves *i behind it.
char32_t NextCodePoint(std::string_view line, size_t* i);

int Utf16Length(std::string_view line);
// The byte offset of UTF-16 column `column` (clamped to the line).
size_t ByteOfUtf16(std::string_view line, int column);
int Utf16OfByte(std::string_view line, size_t byte);
// The UTF-16 column of a Shift-JIS byte column; a column inside a double-byte
// character gives that character's start, one past the end gives the end.
int Utf16OfShiftJis(std::string_view line, int shift_jis_column);
int ShiftJisOfUtf16(std::string_view line, int column);

std::u16string ToUtf16(std::string_view line);

#endif  // QUERN_LSP_TEXT_LINES_H_
