// Reading score files for the command line, and compiling them the way
// `quern compile` does.
//
// In: a file path and the encoding to read it in. The compiler works on
//   Shift-JIS (CP932) bytes; the file is read by the editor's rules
//   (files/score_text.h): with Encoding::kAuto a file that is valid UTF-8
//   (with or without a BOM) and holds non-ASCII bytes is converted to CP932,
//   any other file is taken byte for byte; kUtf8 always converts, kCp932
//   never. Every line break (CR LF, a lone CR, a lone LF) is one.
// Out: the CP932 text. A NUL byte ends the text; a warning names its offset.
// A character that has no CP932 form becomes "?", as the editor compiles
//   it; a warning says how many there are and where the first one is (line
//   and byte column as the compiler report counts them).
// Fails, with a one-line reason that names the file, when the file cannot be
//   read (see file_io.h; larger than kMaxInputFileBytes included) or is not
//   valid UTF-8 where UTF-8 is required (named by line and column, counted
//   from 1).
#ifndef QUERN_APP_QUERN_SCORE_INPUT_H_
#define QUERN_APP_QUERN_SCORE_INPUT_H_

#include <string>
#include <string_view>

enum class Encoding { kAuto, kCp932, kUtf8 };
enum class ReportEncoding { kUtf8, kCp932 };

// "auto", "cp932" or "utf-8" (also "utf8", "sjis", "shift_jis").
bool ParseEncoding(std::string_view name, Encoding* encoding);
// "utf-8" or "cp932".
bool ParseReportEncoding(std::string_view name, ReportEncoding* encoding);

// Reads path into *cp932. On failure returns false with *error set to
// "PATH: reason". *warning (may be null) receives a warning such as the
// offset of a NUL byte, or stays empty.
bool ReadScoreFile(const std::string& path, Encoding encoding, std::string* cp932,
                   std::string* error, std::string* warning = nullptr);

// CP932 text (the compiler report, names, quoted texts) in UTF-8; bytes that
// do not convert become "?".
std::string Cp932ToUtf8(std::string_view cp932);
// Text for the terminal in the chosen report encoding.
std::string ReportInEncoding(std::string_view cp932, ReportEncoding encoding);

// Reads and compiles the score at path, printing any reading warning or
// error to standard error ("quern: ...") and the compiler report to standard
// output in report_encoding. Returns the highest severity of the
// compilation, or -1 when the file could not be read.
int CompileScoreFile(const std::string& path, Encoding encoding, ReportEncoding report_encoding);

#endif  // QUERN_APP_QUERN_SCORE_INPUT_H_
