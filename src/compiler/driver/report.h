// Diagnostics and the compiler report.
//
// In: message texts in Shift-JIS whose first byte gives the severity
//   (E error 3, F fatal 4, W warning 2, anything else 0) and whose first two
//   bytes are a prefix that the report drops.
// Out: one report line "%3d : %3d : %s %s\n" per message, in the order raised,
//   and the highest severity of the compilation. After kMaxReportedMessages
//   message lines the report holds one line "メッセージが多すぎます（以降は
//   省略）" at -1, -1 and no further message lines; the highest severity
//   still counts every message, so a flood of messages costs time but no
//   memory.
// Never fails while the report buffer can grow.
//
// Every operation takes the compilation (compilation.h); the report, the
// highest severity and the message count are its ReportPart.
#ifndef QUERN_COMPILER_DRIVER_REPORT_H_
#define QUERN_COMPILER_DRIVER_REPORT_H_

#include "compiler/driver/work_areas.h"

struct CompileContext;

constexpr int kMaxReportedMessages = 1000;

// The report's part of a compilation.
struct ReportPart {
  ByteBuffer buffer{256000};
  int highest_severity = 0;
  // Message lines raised since the report was last cleared, the ones left
  // out included.
  long message_count = 0;
};

// Reports at the position of the token last read (TokenLine, TokenColumn).
void ReportMessage(CompileContext& cc, const char* message);
// Reports at a saved position; -1, -1 for a message about the whole song.
void ReportMessageAt(CompileContext& cc, int column, int line, const char* message);
int HighestSeverity(const CompileContext& cc);
void ResetHighestSeverity(CompileContext& cc);
// The report buffer; the driver writes statistics lines into it.
ByteBuffer& CompilerReport(CompileContext& cc);
const ByteBuffer& CompilerReport(const CompileContext& cc);
// Empties the report and starts counting message lines anew.
void ClearCompilerReport(CompileContext& cc);

#endif  // QUERN_COMPILER_DRIVER_REPORT_H_
