// Shared helpers of the compiler tests: compile or read a score and write
// what came out as text (event records, report lines, tokens, byte dumps),
// build event tables by hand, and play a track stream back for round trips.
#ifndef QUERN_TESTS_COMPILER_COMPILE_HELPERS_H_
#define QUERN_TESTS_COMPILER_COMPILE_HELPERS_H_

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/commands/commands.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/driver.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"
#include "support/text.h"

// --- Compiling scores. Scores are UTF-8 and go in as Shift-JIS. ---

// The state of the default compilation (the one behind CompileScore), which
// Compile and ParseTracks both work on, so that a test can look at the lists
// and loop records either of them left.
CompileContext& TestContext();

// Compiles score with CompileScore; returns the report's diagnostics in
// UTF-8 without the "Track '...'" statistics lines.
std::string Compile(std::string_view score);
// "TIME KIND PARAM VALUE" per record.
std::string EventLines(const EventRecord* records, int count);
// The records of a compiled track.
std::string Events(int track);

struct TrackRun {
  std::vector<std::string> tracks;  // event lines of each track, in compile order
  std::string report;               // diagnostics, as Compile returns them
};
// Compiles score; the tracks hold their final records.
TrackRun CompileTracks(std::string_view score);
// Reads every track through the score commands only: the records exactly as
// the commands appended them, before any loop check. The loop records stay
// readable in TestContext().loops until the next run.
TrackRun ParseTracks(std::string_view score);
// The first track's lines, then the diagnostics ("no track" if none), of a
// compiled or of a parsed score.
std::string FirstTrack(const TrackRun& run);
inline std::string CompileFirst(std::string_view score) {
  return FirstTrack(CompileTracks(score));
}
inline std::string ParseFirst(std::string_view score) {
  return FirstTrack(ParseTracks(score));
}

// Scores and their expected first track (CompileFirst or ParseFirst),
// each checked under a SCOPED_TRACE of its score.
struct ScoreCase {
  const char* score;
  const char* expected;
};
void CheckCompileFirst(std::initializer_list<ScoreCase> cases);
void CheckParseFirst(std::initializer_list<ScoreCase> cases);

// --- The report. ---

// The report of the last compilation or token listing, in UTF-8.
std::string ReportUtf8();
// The report buffer as it stands, in UTF-8 (for stages run by hand).
std::string ReportBufferUtf8(const CompileContext& cc);
// Report lines without their "LINE : COLUMN : " positions.
std::string WithoutPositions(const std::string& report);
// How often part occurs in text.
int Occurrences(std::string_view text, std::string_view part);
// text n times, with separator between.
std::string Repeat(std::string_view text, int n, std::string_view separator = "");

// --- Tokens (score in Shift-JIS). ---

// One line per track: "A: c 4 N:Vel \"text\" ..." with the tokens up to
// #END. Numbers show their value, names "N:" and their text.
std::string TrackTokens(const std::string& score);
// The listing of `quern tokens`: "Track NAME", then "LINE:COL NAME[ value]".
std::string TokenListing(const std::string& score);

// Scores with their TrackTokens and the report they leave (nullptr: not
// checked), each checked under a SCOPED_TRACE of its score.
struct TokenCase {
  const char* score;
  const char* tokens;
  const char* report;
};
void CheckTokens(std::initializer_list<TokenCase> cases);

// --- Byte dumps. ---

// "1, 2, 3"
std::string Dump(const ByteBuffer& buffer);
std::string Dump(const std::vector<uint8_t>& bytes);
// "INDEX: BYTE BYTE ..." per entry of a byte-template list.
std::string Bytes(const StringTable& list);
// "INDEX: START LENGTH END LENGTH 255 0" per gradual-change record.
std::string Gradual(CompileContext& cc);

// --- Event tables built by hand for the stream compiler. ---

// Fills the working list and the loop records of a compilation, emptied
// first, as the score commands would.
class TableBuilder {
 public:
  explicit TableBuilder(CompileContext& cc);

  // Appends a record; returns its index.
  int Add(int time, int kind, int param = 0, int value = 0);
  int Note(int time, int note, int length, int accent = 255) {
    return Add(time, note, accent, length);
  }
  // Notes of {time, note, length} without accent.
  void Notes(std::initializer_list<std::array<int, 3>> notes) {
    for (auto [time, note, length] : notes) Note(time, note, length);
  }
  // Loop commands as the score commands record them.
  int Open(int time);  // returns the loop number
  void Break(int loop, int time);
  // Loop end at time; with exit >= 0 also the loop exit at exit.
  void Close(int loop, int time, int count, int exit = -1);
  void Exit(int time);
  LoopRecord& Loop(int number);
  // Runs CheckLoop over every live loop start, as the driver walks the table.
  void CheckLoops();
  // Start of track at 0 and end of track at time.
  void End(int time);

 private:
  CompileContext& cc_;
};

// --- Playing a track stream back. ---

struct PlayedNote {
  int64_t time;
  int note;
  int length;
  int accent;  // 255: none
  bool operator==(const PlayedNote&) const = default;
};
// "TIME:NOTE/LENGTH[!ACCENT] " per note.
std::string ToString(const std::vector<PlayedNote>& notes);

// Plays the stream: every note with its start, pitch, length and accent. A
// loop end restores the length register and octave base on every pass; an
// endless loop stops after max_endless passes. Sets *error on a malformed
// stream.
std::vector<PlayedNote> DecodeStream(const uint8_t* begin, size_t size, int resolution,
                                     std::string* error, int max_endless = 3);

#endif  // QUERN_TESTS_COMPILER_COMPILE_HELPERS_H_
