// Score files as text, without a toolkit: which encoding a score file is in,
// its text, the Shift-JIS bytes the compiler reads, and the bytes a save
// writes back. The command line and the editor both read scores here, so
// they cannot disagree on a file.
//
// In: the bytes of a score file; for a save, text in UTF-8 with the format
//   the file was read in.
// Out:
// - DecodeScoreBytes: the text in UTF-8 with "\n" between lines, the
//   encoding, and what a save needs to give the file's bytes back;
// - EncodeScoreUtf8: the bytes of a file, CR LF between lines;
// - ScoreForCompiler: the Shift-JIS bytes the compiler reads, as the editor
//   compiles the same file.
// The rules, the same on every path:
// - A file that is valid UTF-8 and starts with a byte-order mark or holds at
//   least one non-ASCII byte is UTF-8 (the whole file decides, also past a
//   NUL byte); any other file is Shift-JIS (code page 932, through iconv).
//   One byte-order mark is dropped and written back on a save; a second
//   U+FEFF is text.
// - Every line break (CR LF, a lone CR, a lone LF) is one line break, CR LF
//   in bytes.
// - The compiler reads up to the first NUL byte; ScoreForCompiler says where
//   it is.
// What can go wrong, never silently:
// - A byte that is not valid Shift-JIS becomes the character U+F780 + (byte
//   - 80 hex) in the text, counted with the place of the first; encoding to
//   Shift-JIS turns it back into its byte.
// - A character with no Shift-JIS form becomes "?", counted with the place
//   of the first (the caller decides whether that loss is acceptable).
// - Shift-JIS has characters with two codes (NEC and IBM twins): a line
//   whose bytes would not come back from its text keeps its bytes in
//   ScoreFormat::kept_lines, and an unchanged line is written back with them.
// - With a UTF-8 reading forced, bytes that are not UTF-8 are reported by
//   their offset and give no text.
#ifndef QUERN_FILES_SCORE_TEXT_H_
#define QUERN_FILES_SCORE_TEXT_H_

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

enum class ScoreEncoding {
  kShiftJis,  // code page 932
  kUtf8,      // UTF-8 without a byte-order mark
  kUtf8Bom,   // UTF-8 with a byte-order mark, written back with it
};

// How a score file was stored; handed back when it is saved.
struct ScoreFormat {
  ScoreEncoding encoding = ScoreEncoding::kShiftJis;
  // Lines (UTF-8, without line break) whose file bytes a plain encoding
  // would not reproduce: for each such text, the bytes of every line that
  // held it, in file order. The n-th line of that text is written back with
  // the n-th bytes (the last ones for any further line).
  std::map<std::string, std::vector<std::string>, std::less<>> kept_lines;
};

// A place in a text: line and column counted from 0. The column counts bytes
// of the file for problems found in bytes, characters of the text otherwise.
struct TextPlace {
  int line = -1;
  int column = -1;
};

struct ScoreText {
  std::string utf8;  // lines separated by "\n"
  ScoreFormat format;
  int undecodable = 0;          // bytes shown as U+F780..U+F7FF
  TextPlace first_undecodable;  // byte column in the file
};

struct ScoreBytes {
  std::string bytes;            // lines separated by CR LF
  int unencodable = 0;          // characters written as "?"
  TextPlace first_unencodable;  // character column in the text
  // The first of them, and its place in bytes (line and byte column in
  // bytes, CR not counted), as the compiler report counts.
  char32_t first_unencodable_character = 0;
  TextPlace first_unencodable_in_bytes;
};

ScoreText DecodeScoreBytes(std::string_view file_bytes);

// utf8: lines separated by "\n", "\r\n" or a lone "\r". Writes CR LF between
// lines, and after the last one only when the text ends with a line break.
// Invalid UTF-8 counts as a character without a Shift-JIS form.
ScoreBytes EncodeScoreUtf8(std::string_view utf8, const ScoreFormat& format);

// How the command line reads a score: by the rule above, or always as one
// encoding (--encoding).
enum class ScoreReading { kAuto, kShiftJis, kUtf8 };

struct CompilerInput {
  std::string bytes;  // Shift-JIS, CR LF line breaks, ending before any NUL
  ScoreEncoding encoding = ScoreEncoding::kShiftJis;
  size_t nul_offset = std::string_view::npos;  // of the first NUL byte in the file
  // With ScoreReading::kUtf8: the offset of the first byte (before any NUL)
  // that is not UTF-8; bytes is then empty.
  size_t invalid_utf8_offset = std::string_view::npos;
  // Characters compiled as "?", as in ScoreBytes.
  int unencodable = 0;
  char32_t first_unencodable_character = 0;
  TextPlace first_unencodable_in_bytes;
};

CompilerInput ScoreForCompiler(std::string_view file_bytes, ScoreReading reading);

// Every line break of bytes (CR LF, a lone CR, a lone LF) made CR LF.
std::string NormaliseLineBreaks(std::string_view bytes);

// True when bytes are valid UTF-8 and either begin with a byte-order mark or
// hold a non-ASCII byte.
bool LooksLikeUtf8(std::string_view bytes);

// The offset of the first byte that is not part of valid UTF-8 (overlong
// forms, surrogates and values above U+10FFFF included), or npos.
size_t FirstInvalidUtf8(std::string_view bytes);

// Plain conversions, for report lines, titles and file names: undecodable
// bytes and unencodable characters are handled as above, line breaks are
// left as they are.
std::string ShiftJisToUtf8(std::string_view bytes, int* undecodable = nullptr);
std::string Utf8ToShiftJis(std::string_view utf8, int* unencodable = nullptr);
// For text shown to a user that must not carry the escape characters (a
// report, a message): as ShiftJisToUtf8, but each undecodable byte is "?".
std::string ShiftJisToUtf8Text(std::string_view bytes);

// The number of characters that ShiftJisToUtf8 decodes from bytes and that
// end at or before byte_offset: a double-byte character counts once, and
// only when both its bytes lie before byte_offset; a byte that is not part
// of a Shift-JIS character counts once. An offset past the end counts one
// character per byte beyond it.
int ShiftJisCharactersBefore(std::string_view bytes, size_t byte_offset);

// The number of Shift-JIS bytes of one character as the compiler sees it:
// 1 for ASCII, half-width katakana and the escape characters of undecodable
// bytes, 2 for other characters of code page 932, 1 for a character without
// a Shift-JIS form (it compiles as "?").
int ShiftJisLength(char32_t c);

#endif  // QUERN_FILES_SCORE_TEXT_H_
