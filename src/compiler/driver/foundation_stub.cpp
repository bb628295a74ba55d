// Placeholder for the driver, the report, the line scan and the token
// reader; replaced as they are built.
#include <string>

#include "compiler/driver/driver.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

void ReportMessage(const char*) {}
void ReportMessageAt(int, int, const char*) {}
int HighestSeverity() { return 0; }
void ResetHighestSeverity() {}
ByteBuffer& CompilerReport() {
  static ByteBuffer report;
  return report;
}
void SourceTable::Reset() {}
void ScanSourceLines(SourceTable&, const char*) {}
void ClassifySourceLines(SourceTable&) {}

const char* TokenName(int) { return "ERR"; }
void SetSourceTable(const SourceTable*) {}
bool BeginTrack(std::string_view, std::string*) { return false; }
int ScanToken() { return kTokEnd; }
int NextRawToken() { return kTokEnd; }
int NextToken() { return kTokEnd; }
void PushBackToken() {}
void SetTextPosition(const char*) {}
int TokenNumber() { return 0; }
const char* TokenText() { return ""; }
int TokenLine() { return 0; }
int TokenColumn() { return 0; }

bool SetUpCompiler() { return true; }
int CompileScore(const char*) { return 0; }
void ReleaseCompiler() {}
const uint8_t* SongImageBegin() { return nullptr; }
size_t SongImageLength() { return 0; }
const char* ReportText() { return ""; }
int CompiledTrackCount() { return 0; }
const char* CompiledTrackName(int) { return ""; }
const EventRecord* CompiledTrackEvents(int, int* count) {
  *count = 0;
  return nullptr;
}
void ListScoreTokens(const char*, const std::function<void(const char*)>&,
                     const std::function<void(int)>&) {}
