#include "compiler/driver/report.h"

#include "compiler/catalogue/messages.h"
#include "compiler/driver/compilation.h"
#include "compiler/reader/reader.h"

namespace {


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

void ReportMessage(CompileContext& cc, const char* message) {
  ReportMessageAt(cc, TokenColumn(cc), TokenLine(cc), message);
}

void ReportMessageAt(CompileContext& cc, int column, int line, const char* message) {
  ReportPart& part = cc.report;
  if (message == nullptr) message = "";
  Severity severity = SeverityOf(message);
  if (severity.number > part.highest_severity) part.highest_severity = severity.number;
  ++part.message_count;
  if (part.message_count > kMaxReportedMessages + 1) return;
  if (part.message_count == kMaxReportedMessages + 1) {
    line = column = -1;
    message = kTooManyMessages;
    severity = SeverityOf(message);
  }
  part.buffer.AppendFormat("%3d : %3d : %s %s\n", line, column, severity.word,
                           WithoutPrefix(message));
}

int HighestSeverity(const CompileContext& cc) {
  return cc.report.highest_severity;
}

void ResetHighestSeverity(CompileContext& cc) {
  cc.report.highest_severity = 0;
}

void ClearCompilerReport(CompileContext& cc) {
  cc.report.buffer.Clear();
  cc.report.message_count = 0;
}

ByteBuffer& CompilerReport(CompileContext& cc) {
  return cc.report.buffer;
}
const ByteBuffer& CompilerReport(const CompileContext& cc) {
  return cc.report.buffer;
}
