#include "shell/report_lines.h"

#include <climits>

#include "shell/text_codec.h"

namespace {

void SkipBlanks(std::string_view s, size_t* i) {
  while (*i < s.size() && (s[*i] == ' ' || s[*i] == '\t')) ++*i;
}

// A decimal number of digits only; false when there is none or it does not
// fit in an int.
bool ReadNumber(std::string_view s, size_t* i, int* value) {
  size_t start = *i;
  long long v = 0;
  while (*i < s.size() && s[*i] >= '0' && s[*i] <= '9') {
    v = v * 10 + (s[*i] - '0');
    if (v > INT_MAX) return false;
    ++*i;
  }
  *value = static_cast<int>(v);
  return *i > start;
}

}  // namespace

std::optional<ReportPosition> ParseReportEntry(std::string_view entry) {
  ReportPosition p;
  size_t i = 0;
  SkipBlanks(entry, &i);
  if (!ReadNumber(entry, &i, &p.line)) return std::nullopt;
  SkipBlanks(entry, &i);
  if (i >= entry.size() || entry[i] != ':') return std::nullopt;
  ++i;
  SkipBlanks(entry, &i);
  if (!ReadNumber(entry, &i, &p.column)) return std::nullopt;
  return p;
}

std::optional<ReportPosition> ParseReportEntry(const QString& entry) {
  // Only ASCII matters before the column's end; other characters become
  // bytes that are neither blanks, digits nor ":".
  QByteArray bytes = entry.toUtf8();
  return ParseReportEntry(std::string_view(bytes.constData(), bytes.size()));
}

std::vector<std::string> SplitReportText(std::string_view report) {
  std::vector<std::string> entries;
  while (!report.empty()) {
    size_t end = report.find('\n');
    entries.emplace_back(report.substr(0, end));
    if (end == std::string_view::npos) break;
    report.remove_prefix(end + 1);
  }
  return entries;
}

QStringList ReportEntries(std::string_view report) {
  QStringList list;
  for (const std::string& line : SplitReportText(report)) list << DecodeShiftJis(line);
  return list;
}
