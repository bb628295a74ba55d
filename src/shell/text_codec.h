// Score file bytes <-> the editor's Unicode text: the Qt edge of the score
// reader (files/score_text.h), which decides the encoding, converts, and
// keeps what a save needs. Here the reader's UTF-8 becomes a QString and back.
//
// In (decode): the bytes of a score file, read by the rules of
// score_text.h: UTF-8 or Shift-JIS, every line break one line break of the
// editor.
// Out (decode): the text with "\n" between lines (the form the Qt text widgets
// take and give; each "\n" stands for the CR LF of the file), the encoding it
// came in (ScoreFormat, with the bytes of lines a plain encoding would not
// give back), and the bytes that could not be shown (as U+F780..U+F7FF).
// In (encode): the editor's text and the format it was read in.
// Out (encode): the bytes of the file, and the characters written as "?"
// (a save refuses those unless the caller accepts the loss, see
// score_file.h). A lone surrogate in the text counts as such a character.
// Nothing here fails otherwise.
#ifndef QUERN_SHELL_TEXT_CODEC_H_
#define QUERN_SHELL_TEXT_CODEC_H_

#include <QString>

#include <string>
#include <string_view>

#include "files/score_text.h"

struct DecodedScore {
  QString text;  // lines separated by "\n"
  ScoreFormat format;
  int undecodable = 0;          // bytes shown as U+F780..U+F7FF
  TextPlace first_undecodable;  // byte column in the file
};

// bytes, unencodable, first_unencodable (character column in the text).
using EncodedScore = ScoreBytes;

DecodedScore DecodeScore(std::string_view file_bytes);

// text: lines separated by "\n" (a "\r\n" or lone "\r" counts as one break
// too). Writes CR LF between lines, and after the last one only when the
// text ends with a line break.
EncodedScore EncodeScoreText(const QString& text, const ScoreFormat& format);

// Plain conversions, for report lines, titles and file names. Undecodable
// bytes and unencodable characters are handled as above.
QString DecodeShiftJis(std::string_view bytes, int* undecodable = nullptr);
std::string EncodeShiftJis(const QString& text, int* unencodable = nullptr);

#endif  // QUERN_SHELL_TEXT_CODEC_H_
