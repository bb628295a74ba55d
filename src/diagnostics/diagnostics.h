// The compiler's messages for other editors: gcc-style lines and JSON.
//
// In: the compiler report (Shift-JIS, one "%3d : %3d : WORD TEXT" line per
//   message, statistics lines in between) and the Shift-JIS text that was
//   compiled, whose lines the report's line numbers count (from 0, split at
//   line feeds, carriage returns not counted).
// Out: one Diagnostic per message line, in report order, with the column
//   also counted in characters; gcc lines and a JSON array made from them.
// Nothing fails: lines that are not messages are skipped, positions outside
//   the text keep their byte column as the character column.
#ifndef QUERN_DIAGNOSTICS_DIAGNOSTICS_H_
#define QUERN_DIAGNOSTICS_DIAGNOSTICS_H_

#include <string>
#include <string_view>
#include <vector>

struct Diagnostic {
  int line = -1;              // from 0; -1 for a message about the whole song
  int byte_column = -1;       // Shift-JIS bytes from the line's start, from 0
  int character_column = -1;  // characters from the line's start, from 0
  std::string severity;       // "error", "warning", "fatal" or "note"
  std::string message;        // UTF-8, without the severity prefix
};

std::vector<Diagnostic> ReadDiagnostics(std::string_view report, std::string_view score);

// "FILE:LINE:COL: error: TEXT\n" per message, LINE and COL counted from 1
// (COL in characters); "FILE: error: TEXT\n" for a message without a place.
// Fatal messages read "fatal error".
std::string FormatGccDiagnostics(const std::vector<Diagnostic>& diagnostics,
                                 const std::string& file);

// One JSON array with an object per message: line, column (the byte column,
// as the report counts), byte_column, character_column, severity, message.
std::string FormatJsonDiagnostics(const std::vector<Diagnostic>& diagnostics);

#endif  // QUERN_DIAGNOSTICS_DIAGNOSTICS_H_
