// Compile driver: one score text in, one song image and one report out.
//
// In: a score text, zero-terminated Shift-JIS bytes.
// Out: the highest severity (0 nothing reported, 2 warnings, 3 errors), the
//   song image and the compiler report, valid until the next CompileScore or
//   ReleaseCompiler. A compilation never stops early: every track is compiled
//   and the image is built in full even after errors; the caller decides.
//
// A Compilation owns all the state of its compilations, one CompileContext
// (compilation.h) that it hands to every stage; separate Compilation objects
// may compile on separate threads at the same time. The free functions below
// work on one default Compilation of the process and are not re-entrant.
#ifndef QUERN_COMPILER_DRIVER_DRIVER_H_
#define QUERN_COMPILER_DRIVER_DRIVER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct CompileContext;
struct EventRecord;
class SourceMap;

// How much of a track's name the report and TrackName show.
constexpr size_t kShownTrackNameBytes = 32;

// One token as the reader yields it, with where it begins (line and byte
// column as the report counts them), its number (#NUM) and its text (names,
// quoted texts, macro names); the text is valid during the callback only.
struct ListedToken {
  int code;
  int line;
  int column;
  int number;
  const char* text;
};

class Compilation {
 public:
  Compilation();
  ~Compilation();
  Compilation(const Compilation&) = delete;
  Compilation& operator=(const Compilation&) = delete;

  // Allocates the work areas; false when memory runs out.
  bool SetUp();
  // Compiles text; returns the highest severity (see above). With a map,
  // also records where each note was written (see source_map.h).
  int Compile(const char* text, SourceMap* map = nullptr);
  // The same, taking the text over instead of copying it: the compilation
  // keeps the score's lines in it (a caller with a large score in hand
  // saves a copy).
  int Compile(std::string&& text, SourceMap* map = nullptr);
  // Frees the song of the last compilation and empties the report.
  void Release();

  const uint8_t* ImageBegin() const;
  size_t ImageLength() const;
  const char* Report() const;
  int TrackCount() const;
  // The track's name as the report shows it: its first kShownTrackNameBytes.
  const char* TrackName(int track) const;
  // The track's whole name, by which the compiler tells tracks apart: two
  // names that share their first 32 bytes are two tracks.
  const std::string& FullTrackName(int track) const;
  const EventRecord* TrackEvents(int track, int* count) const;
  // As ListScoreTokens below.
  int ListTokens(const char* text, const std::function<void(const char* track_name)>& on_track,
                 const std::function<void(const ListedToken& token)>& on_token);

  // The state this compilation hands to the stages, made on first use; for
  // the compiler's tests, which drive one stage on its own.
  CompileContext& Context();

  // The compilation behind the free functions.
  static Compilation& Default();

 private:
  std::unique_ptr<CompileContext> context_;  // nullptr until set up or first used
};

bool SetUpCompiler();
// With a map, the compilation also records where each note was written (see
// source_map.h); the image and the report are the same either way.
int CompileScore(const char* text, SourceMap* map = nullptr);
int CompileScore(std::string&& text, SourceMap* map = nullptr);
void ReleaseCompiler();

const uint8_t* SongImageBegin();
size_t SongImageLength();
const char* ReportText();

// Inspection of the last compilation, for tools and tests.
int CompiledTrackCount();
const char* CompiledTrackName(int track);
const std::string& CompiledTrackFullName(int track);
// The track's final event records (after loop check, phase alignment and
// void settling).
const EventRecord* CompiledTrackEvents(int track, int* count);

// Reads every track of text in compile order and hands each token that
// NextToken yields (up to and including #END) to on_token. Diagnostics of the
// reader go into the report as usual; returns their highest severity.
int ListScoreTokens(const char* text, const std::function<void(const char* track_name)>& on_track,
                    const std::function<void(const ListedToken& token)>& on_token);

#endif  // QUERN_COMPILER_DRIVER_DRIVER_H_
