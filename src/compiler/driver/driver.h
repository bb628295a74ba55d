// Compile driver: one score text in, one song image and one report out.
//
// In: a score text, zero-terminated Shift-JIS bytes.
// Out: the highest severity (0 nothing reported, 2 warnings, 3 errors), the
//   song image and the compiler report, valid until the next CompileScore or
//   ReleaseCompiler. A compilation never stops early: every track is compiled
//   and the image is built in full even after errors; the caller decides.
// Not re-entrant: the work areas are single instances of the process.
#ifndef QUERN_COMPILER_DRIVER_DRIVER_H_
#define QUERN_COMPILER_DRIVER_DRIVER_H_

#include <cstddef>
#include <cstdint>
#include <functional>

struct EventRecord;
class SourceMap;

bool SetUpCompiler();
// With a map, the compilation also records where each note was written (see
// source_map.h); the image and the report are the same either way.
int CompileScore(const char* text, SourceMap* map = nullptr);
void ReleaseCompiler();

const uint8_t* SongImageBegin();
size_t SongImageLength();
const char* ReportText();

// Inspection of the last compilation, for tools and tests.
int CompiledTrackCount();
const char* CompiledTrackName(int track);
// The track's final event records (after loop check, phase alignment and
// void settling).
const EventRecord* CompiledTrackEvents(int track, int* count);

// Reads every track of text in compile order and hands each token that
// NextToken yields (up to and including #END) to on_token. Diagnostics of the
// reader go into the report as usual.
void ListScoreTokens(const char* text,
                     const std::function<void(const char* track_name)>& on_track,
                     const std::function<void(int code)>& on_token);

#endif  // QUERN_COMPILER_DRIVER_DRIVER_H_
