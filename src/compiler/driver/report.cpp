#include "compiler/driver/report.h"

#include "compiler/catalogue/messages.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"

namespace {

struct ReportState {
  ByteBuffer report{256000};
  int highest_severity = 0;
  // Message lines raised since the report was last cleared, the ones left
  // out included.
  long message_count = 0;
};

ReportState& Reports() {
  return CompilationPartOf<ReportState>(kPartReport);
}

struct Severity {
  int number;
  const char* word;
};

// The first byte of a message decides its severity.
Severity SeverityOf(const char* message) {
  switch (message[0]) {
    case 'E':
      return {3, "Error"};
    case 'F':
      return {4, "Fatal"};
    case 'W':
      return {2, "Warning"};
    default:
      return {0, ""};
  }
}

// The text behind the two prefix characters (less when the message is shorter).
const char* WithoutPrefix(const char* message) {
  int skip = 0;
  while (skip < 2 && message[skip] != 0) ++skip;
  return message + skip;
}

}  // namespace

void ReportMessage(const char* message) {
  ReportMessageAt(TokenColumn(), TokenLine(), message);
}

void ReportMessageAt(int column, int line, const char* message) {
  if (message == nullptr) message = "";
  Severity severity = SeverityOf(message);
  if (severity.number > Reports().highest_severity) Reports().highest_severity = severity.number;
  ++Reports().message_count;
  if (Reports().message_count > kMaxReportedMessages + 1) return;
  if (Reports().message_count == kMaxReportedMessages + 1) {
    line = column = -1;
    message = kTooManyMessages;
    severity = SeverityOf(message);
  }
  CompilerReport().AppendFormat("%3d : %3d : %s %s\n", line, column, severity.word,
                                WithoutPrefix(message));
}

int HighestSeverity() {
  return Reports().highest_severity;
}

void ResetHighestSeverity() {
  Reports().highest_severity = 0;
}

void ClearCompilerReport() {
  CompilerReport().Clear();
  Reports().message_count = 0;
}

ByteBuffer& CompilerReport() {
  return Reports().report;
}
