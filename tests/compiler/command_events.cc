#include "command_events.h"

#include <cstdio>
#include <cstring>

#include "compiler/commands/commands.h"
#include "compiler/driver/driver.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"
#include "support/text.h"

namespace {

// The report without its "Track '...'" statistics lines, in UTF-8.
std::string Diagnostics(std::string_view report) {
  std::string out;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string_view::npos) end = report.size();
    std::string_view line = report.substr(start, end - start);
    if (!line.empty() && line.substr(0, 7) != "Track '") {
      out += Utf8FromCp932(line);
      out += '\n';
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string EventLines(const EventRecord* records, int count) {
  std::string out;
  char line[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "%d %d %d %d\n", records[i].time, records[i].kind,
                  records[i].param, records[i].value);
    out += line;
  }
  return out;
}

TrackRun CompileTracks(std::string_view score) {
  static const bool set_up = SetUpCompiler();
  (void)set_up;
  const std::string text = Cp932FromUtf8(score);
  CompileScore(text.c_str());
  TrackRun run;
  for (int t = 0; t < CompiledTrackCount(); ++t) {
    int count = 0;
    const EventRecord* records = CompiledTrackEvents(t, &count);
    run.tracks.push_back(EventLines(records, count));
  }
  run.report = Diagnostics(ReportText());
  return run;
}

TrackRun ParseTracks(std::string_view score) {
  static const bool set_up = SetUpCompiler();
  (void)set_up;
  static SourceTable table;
  const std::string text = Cp932FromUtf8(score);
  table.Reset();
  ScanSourceLines(table, text.c_str());
  ClassifySourceLines(table);
  CompilerReport().Clear();
  ResetHighestSeverity();
  ResetCommandTables();
  SetSourceTable(&table);
  SetResolution(static_cast<uint16_t>(table.resolution));
  TrackRun run;
  std::string previous, name;
  for (; BeginTrack(previous, &name); previous = name) {
    BeginTrackState();
    for (int code = NextToken(); code != kTokEnd; code = NextToken()) DispatchCommand(code);
    AppendEvent(kEventEndOfTrack, 0, 0);
    run.tracks.push_back(EventLines(TrackEvents().Records(), TrackEvents().Count()));
  }
  const ByteBuffer& report = CompilerReport();
  run.report =
      Diagnostics(std::string_view(reinterpret_cast<const char*>(report.Begin()), report.Length()));
  return run;
}
