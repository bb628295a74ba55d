// The compiler report as the message window shows it, and the jump target of
// one of its lines.
//
// In: the report text (lines each ended by "\n", Shift-JIS), or one entry.
// Out: the entries of the list; the line and column an entry points at.
// What can go wrong: an entry that is not a jump target gives nothing.
#ifndef QUERN_SHELL_REPORT_LINES_H_
#define QUERN_SHELL_REPORT_LINES_H_

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A report position: line and column counted from 0.
struct ReportPosition {
  int line = 0;
  int column = 0;
  bool operator==(const ReportPosition&) const = default;
};

// Reads an entry from its first character: blanks (spaces and tabs), a
// decimal number (digits only, no sign: the line), blanks, ":", blanks, a
// decimal number (the column). Anything else gives nothing: the "Object
// Size : " line, the statistics lines, lines at position -1, a first number
// without ":" after it, numbers too large for an int. Whatever follows the
// column is not looked at.
std::optional<ReportPosition> ParseReportEntry(std::string_view entry);
std::optional<ReportPosition> ParseReportEntry(const QString& entry);
inline std::optional<ReportPosition> ParseReportEntry(const char* entry) {
  return ParseReportEntry(std::string_view(entry));
}

// One entry per report line, without its "\n". A last line without "\n"
// counts too; an empty report gives no entries.
std::vector<std::string> SplitReportText(std::string_view report);

// The same, decoded from Shift-JIS for the list widget.
QStringList ReportEntries(std::string_view report);

#endif  // QUERN_SHELL_REPORT_LINES_H_
