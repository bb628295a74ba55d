// Compiles a score and prints what the score commands produced as text:
// event records, the three song lists and the report's messages.
#ifndef QUERN_TESTS_COMPILER_SCORE_DUMP_H_
#define QUERN_TESTS_COMPILER_SCORE_DUMP_H_

#include <cstring>
#include <string>

#include "compiler/commands/commands.h"
#include "compiler/driver/driver.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "support/text.h"

namespace score_dump {

// Compiles score (ASCII or UTF-8, converted to Shift-JIS) and returns the
// report's diagnostic lines in UTF-8; the per-track statistics are left out.
inline std::string Compile(const std::string& score) {
  static const bool ready = SetUpCompiler();
  (void)ready;
  CompileScore(Cp932FromUtf8(score).c_str());
  std::string report = Utf8FromCp932(ReportText());
  std::string out;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string::npos) end = report.size();
    std::string line = report.substr(start, end - start);
    if (line.rfind("Track '", 0) != 0) out += line + "\n";
    start = end + 1;
  }
  return out;
}

// "TIME KIND PARAM VALUE" per record of a compiled track.
inline std::string Events(int track) {
  int count = 0;
  const EventRecord* records = CompiledTrackEvents(track, &count);
  std::string out;
  for (int i = 0; i < count; ++i) {
    const EventRecord& r = records[i];
    out += std::to_string(r.time) + " " + std::to_string(r.kind) + " " + std::to_string(r.param) +
           " " + std::to_string(r.value) + "\n";
  }
  return out;
}

// "INDEX: BYTE BYTE ..." per entry of a byte-template list.
inline std::string Bytes(const StringTable& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    out += std::to_string(i) + ":";
    for (size_t k = 0; k < list.EntrySize(i); ++k) out += " " + std::to_string(list.Bytes(i)[k]);
    out += "\n";
  }
  return out;
}

// "INDEX: START LENGTH END LENGTH 255 0" per gradual-change record.
inline std::string Gradual() {
  const StringTable& list = GradualChangeList();
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    int16_t fields[6] = {};
    std::memcpy(fields, list.Bytes(i), sizeof fields);
    out += std::to_string(i) + ":";
    for (int16_t f : fields) out += " " + std::to_string(f);
    out += "\n";
  }
  return out;
}

}  // namespace score_dump

#endif  // QUERN_TESTS_COMPILER_SCORE_DUMP_H_
