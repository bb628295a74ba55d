#include "diagnostics/diagnostics.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "files/score_text.h"

namespace {

// A report line's numbers and the rest behind them.
struct ReportFields {
  int line = 0;
  int column = 0;
  std::string_view rest;  // "WORD TEXT"
};

// Skips blanks, reads an optionally negative number; false when none.
bool ReadNumber(std::string_view* text, int* value) {
  size_t i = text->find_first_not_of(' ');
  if (i == std::string_view::npos) return false;
  const char* begin = text->data() + i;
  const char* end = text->data() + text->size();
  auto [next, error] = std::from_chars(begin, end, *value);
  if (error != std::errc() || next == begin) return false;
  text->remove_prefix(static_cast<size_t>(next - text->data()));
  return true;
}

bool ReadSeparator(std::string_view* text) {
  if (!text->starts_with(" : ")) return false;
  text->remove_prefix(3);
  return true;
}

// "%3d : %3d : WORD TEXT"; statistics and other lines give false.
bool ParseMessageLine(std::string_view text, ReportFields* fields) {
  if (!ReadNumber(&text, &fields->line) || !ReadSeparator(&text)) return false;
  if (!ReadNumber(&text, &fields->column) || !ReadSeparator(&text)) return false;
  fields->rest = text;
  return true;
}

// The severity word at the start of rest and the text behind its blank,
// in UTF-8: a byte that is not Shift-JIS reads "?".
void SplitSeverity(std::string_view rest, Diagnostic* d) {
  struct Word {
    std::string_view word;
    const char* severity;
  };
  static constexpr Word kWords[] = {
      {"Error ", "error"}, {"Fatal ", "fatal"}, {"Warning ", "warning"}};
  for (const Word& w : kWords) {
    if (rest.starts_with(w.word)) {
      d->severity = w.severity;
      d->message = ShiftJisToUtf8Text(rest.substr(w.word.size()));
      return;
    }
  }
  // A message without a severity letter has an empty word: "... :  TEXT".
  d->severity = "note";
  d->message = ShiftJisToUtf8Text(rest.starts_with(" ") ? rest.substr(1) : rest);
}

// The score's lines as the compiler counts them: split at line feeds, with
// carriage returns left out.
std::vector<std::string> SplitLines(std::string_view score) {
  std::vector<std::string> lines(1);
  for (char c : score) {
    if (c == '\n') {
      lines.emplace_back();
    } else if (c != '\r') {
      lines.back() += c;
    }
  }
  return lines;
}

}  // namespace

std::vector<Diagnostic> ReadDiagnostics(std::string_view report, std::string_view score) {
  const std::vector<std::string> lines = SplitLines(score);
  std::vector<Diagnostic> diagnostics;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string_view::npos) end = report.size();
    ReportFields fields;
    if (ParseMessageLine(report.substr(start, end - start), &fields)) {
      Diagnostic d;
      d.line = fields.line;
      d.byte_column = fields.column;
      d.character_column = fields.column;
      if (fields.line >= 0 && fields.column >= 0 &&
          static_cast<size_t>(fields.line) < lines.size()) {
        // Characters as the score reader decodes them, so the column is the
        // one an editor shows for the same bytes.
        d.character_column = ShiftJisCharactersBefore(lines[static_cast<size_t>(fields.line)],
                                                      static_cast<size_t>(fields.column));
      }
      SplitSeverity(fields.rest, &d);
      diagnostics.push_back(std::move(d));
    }
    start = end + 1;
  }
  return diagnostics;
}

std::string FormatGccDiagnostics(const std::vector<Diagnostic>& diagnostics,
                                 const std::string& file) {
  std::string out;
  for (const Diagnostic& d : diagnostics) {
    out += file;
    if (d.line >= 0 && d.byte_column >= 0) {
      out += ":" + std::to_string(d.line + 1) + ":" + std::to_string(d.character_column + 1);
    }
    out += ": " + (d.severity == "fatal" ? std::string("fatal error") : d.severity);
    out += ": " + d.message + "\n";
  }
  return out;
}

std::string FormatJsonDiagnostics(const std::vector<Diagnostic>& diagnostics) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const Diagnostic& d : diagnostics) {
    array.push_back({{"line", d.line},
                     {"column", d.byte_column},
                     {"byte_column", d.byte_column},
                     {"character_column", d.character_column},
                     {"severity", d.severity},
                     {"message", d.message}});
  }
  // Messages are converted with "?" for bytes that do not convert, so the
  // text is valid UTF-8; replace guards the output all the same.
  return array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
