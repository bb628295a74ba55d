// One compilation of a document, and what the answers need from it.
//
// In: a document's text (UTF-8) and a Compilation to compile it on.
// Out: the report's messages as protocol diagnostics (ranges in UTF-16 code
//   units of the document's lines; messages about the whole song on line 0),
//   the song image and its source map, the track names; on first asking,
//   the facts of every note as the song plays it (first tick, how often).
// The text reaches the compiler as the editor compiles it: through the score
//   reader's Shift-JIS encoding (files/score_text.h), characters without a
//   Shift-JIS form as "?" (a warning on the first says how many), up to the
//   first NUL.
// Errors are values: a score with errors still has its diagnostics and map.
// Thread: an Analysis is used from one thread; the Compilation must not be
//   used elsewhere while Analyse runs.
#ifndef QUERN_LSP_ANALYSIS_H_
#define QUERN_LSP_ANALYSIS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "compiler/song/source_map.h"
#include "lsp/document.h"

class Compilation;

struct LspDiagnostic {
  TextRange range;
  int severity = 1;  // 1 error, 2 warning, 3 information
  std::string message;
};

// How a note written at one place sounds in the song.
struct NoteFacts {
  int track = 0;
  int key = 0;
  int channel = 0;         // 0 to 15
  int gate = 0;            // ticks it sounds
  int64_t first_tick = 0;  // score time: the song starts at 0
  int times = 0;
};

struct Analysis {
  int version = 0;
  int severity = 0;  // the compilation's highest
  std::vector<LspDiagnostic> diagnostics;
  std::vector<uint8_t> image;
  SourceMap map;
  std::vector<std::string> track_names;

  bool notes_scanned = false;
  std::map<SourcePlace, NoteFacts> notes;  // by the note's own place
};

Analysis Analyse(Compilation& compilation, const Document& document);

// Runs the song silently once and fills analysis->notes.
void ScanNotes(Analysis* analysis);

// "bar:beat" of a tick: bars of the track's bar length, beats of a quarter
// note, "+N" for ticks past the beat.
std::string BarBeat(const SourceMap& map, int track, int64_t tick);

#endif  // QUERN_LSP_ANALYSIS_H_
