// Test helpers for the score commands: run a score and print what the
// commands produced as text.
#ifndef QUERN_TESTS_COMPILER_COMMAND_EVENTS_H_
#define QUERN_TESTS_COMPILER_COMMAND_EVENTS_H_

#include <string>
#include <string_view>
#include <vector>

struct EventRecord;

// One line "TIME KIND PARAM VALUE" per record.
std::string EventLines(const EventRecord* records, int count);

struct TrackRun {
  std::vector<std::string> tracks;  // event lines of each track, in compile order
  std::string report;               // diagnostics in UTF-8, statistics lines left out
};

// Compiles score (UTF-8, converted to Shift-JIS) with CompileScore; the
// tracks hold their final records.
TrackRun CompileTracks(std::string_view score);
// Reads every track of score through the score commands only: the records
// exactly as the commands appended them, before any loop check. The loop
// records stay readable through LoopAt until the next run.
TrackRun ParseTracks(std::string_view score);

#endif  // QUERN_TESTS_COMPILER_COMMAND_EVENTS_H_
