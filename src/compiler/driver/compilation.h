// The state of one compilation, handed explicitly to every compiler stage.
//
// A CompileContext holds every work area, table and cursor of the stages, one
// part per stage: the driver's source table and track names, the report, the
// reader (tokens and macro frames), the score commands (track state, loop
// nesting, attribute and phase tables), the song stage's event and loop
// records, its track stream and song image, and the source-map recorder.
// Every stage operation takes the context as its first parameter; a stage
// works on its own part and reaches the others only through their
// operations (or the methods of the record tables they own). Nothing of a
// compilation lives anywhere else, so two contexts on two threads share
// nothing.
//
// Compilation (driver.h) owns one context per object; a unit test that drives
// one stage on its own makes a context and passes it.
//
// Internal to the compiler and its tests: callers use Compilation (driver.h).
#ifndef QUERN_COMPILER_DRIVER_COMPILATION_H_
#define QUERN_COMPILER_DRIVER_COMPILATION_H_

#include <string>
#include <vector>

#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader_internal.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "compiler/song/source_map.h"

// The driver's own part: the source table of the text and the track names.
struct DriverPart {
  SourceTable source;
  StringTable track_names;                    // entry i: the first 32 bytes of track i's name
  std::vector<std::string> full_track_names;  // entry i: track i's whole name
  int track_count = 0;
};

struct CompileContext {
  CompileContext() = default;
  CompileContext(const CompileContext&) = delete;
  CompileContext& operator=(const CompileContext&) = delete;

  DriverPart driver;
  ReportPart report;
  ReaderPart reader;
  CommandsPart commands;
  EventTable events;      // the song stage's records; the commands append
  LoopRecordTable loops;  // the song stage's records; the commands fill
  SongPart song;
  SourceMapRecorder map;
};

#endif  // QUERN_COMPILER_DRIVER_COMPILATION_H_
