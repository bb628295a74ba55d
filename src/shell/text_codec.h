// Score file bytes <-> the editor's Unicode text.
//
// In (decode): the bytes of a score file. A file that is valid UTF-8 and has a
// byte-order mark or at least one non-ASCII byte is taken as UTF-8; any other
// file is Shift-JIS (code page 932, through iconv). Every line break (CR LF,
// a lone CR or a lone LF) becomes one line break of the editor.
// Out (decode): the text with "\n" between lines (the form the Qt text widgets
// take and give; each "\n" stands for the CR LF of the file), the encoding it
// came in, and what could not be shown.
//
// Nothing is lost silently:
// - A byte that is not valid Shift-JIS appears in the text as one character
//   U+F780 + (byte - 80 hex), which code page 932 cannot hold otherwise.
//   DecodedScore::undecodable counts them and says where the first one is,
//   so that the editor tells the user. Encoding to Shift-JIS turns each such
//   character back into its byte, so a save keeps the bytes even after the
//   line around them was edited.
// - Shift-JIS has characters with two codes (the NEC-selected IBM kanji and
//   their IBM twins, for instance). A line holding such a code would come
//   back with the other code; ScoreFormat keeps the file's bytes of every such
//   line, and an unchanged line is written back with its own bytes.
// - A character that Shift-JIS cannot hold (typed or pasted into a Shift-JIS
//   score) is counted by EncodeScoreText with the place of the first one; it
//   is written as "?" only if the caller accepts that loss (see
//   score_file.h), so the editor can ask first or save as UTF-8.
#ifndef QUERN_SHELL_TEXT_CODEC_H_
#define QUERN_SHELL_TEXT_CODEC_H_

#include <QHash>
#include <QString>

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
  // Lines (without line break) whose file bytes a plain encoding would not
  // reproduce: for each such text, the bytes of every line that held it, in
  // file order. Two lines may decode to the same text from different codes;
  // the n-th line of that text is written back with the n-th bytes (the last
  // ones for any further line).
  QHash<QString, std::vector<std::string>> kept_lines;
};

// A place in a text: line and column counted from 0. The column counts bytes
// of the file for problems found in bytes, characters of the text otherwise.
struct TextPlace {
  int line = -1;
  int column = -1;
};

struct DecodedScore {
  QString text;  // lines separated by "\n"
  ScoreFormat format;
  int undecodable = 0;          // bytes shown as U+F780..U+F7FF
  TextPlace first_undecodable;  // byte column in the file
};

struct EncodedScore {
  std::string bytes;            // lines separated by CR LF
  int unencodable = 0;          // characters written as "?"
  TextPlace first_unencodable;  // character column in the text
};

DecodedScore DecodeScore(std::string_view file_bytes);

// text: lines separated by "\n" (a "\r\n" or lone "\r" counts as one break
// too). Writes CR LF between lines, and after the last one only when the
// text ends with a line break.
EncodedScore EncodeScoreText(const QString& text, const ScoreFormat& format);

// Every line break of bytes (CR LF, a lone CR, a lone LF) made CR LF.
std::string NormaliseLineBreaks(std::string_view bytes);

// True when bytes are valid UTF-8 and either begin with a byte-order mark or
// hold a non-ASCII byte.
bool LooksLikeUtf8(std::string_view bytes);

// Plain conversions, for report lines, titles and file names. Undecodable
// bytes and unencodable characters are handled as above.
QString DecodeShiftJis(std::string_view bytes, int* undecodable = nullptr);
std::string EncodeShiftJis(const QString& text, int* unencodable = nullptr);

// The number of Shift-JIS bytes of one character as the compiler sees it:
// 1 for ASCII, half-width katakana and the escape characters of undecodable
// bytes, 2 for other characters of code page 932, 1 for a character without
// a Shift-JIS form (it compiles as "?").
int ShiftJisLength(char32_t c);

#endif  // QUERN_SHELL_TEXT_CODEC_H_
