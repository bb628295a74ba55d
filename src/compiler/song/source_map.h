// Source map: where in the score each note of the song image was written.
//
// In: while a compilation records into a map (CompileScore's map argument),
//   the note command hands over the place of each note's first token and the
//   macro calls that led to it; the track stream compiler hands over the
//   stream offset at which it writes that note's byte.
// Out: "track t, stream offset o" -> the note's place (line and byte column
//   as the report counts them, from 0) and its macro call sites, innermost
//   first; and, per source line, the context it belongs to (a track, a macro
//   or a common line, continuation lines resolved to the line they continue).
// The map lives beside the image in memory; the image and the report are the
// same with or without it. When no map is asked for, nothing is recorded.
// The recording operations take the compilation (compilation.h), whose
// SourceMapRecorder names the map and the track being recorded.
#ifndef QUERN_COMPILER_SONG_SOURCE_MAP_H_
#define QUERN_COMPILER_SONG_SOURCE_MAP_H_

#include <cstdint>
#include <string>
#include <vector>

struct CompileContext;
struct EventRecord;
struct SourceTable;

struct SourcePlace {
  int line = -1;
  int column = -1;
  friend bool operator==(const SourcePlace&, const SourcePlace&) = default;
  friend auto operator<=>(const SourcePlace&, const SourcePlace&) = default;
};

// One note as written: its own place and its call sites, innermost first.
struct NoteSource {
  SourcePlace place;
  std::vector<SourcePlace> calls;
};

// The context of one source line: what it is read as.
struct LineContext {
  int line = -1;       // report line number
  uint8_t kind = 0;    // LineKind of the head line; 0 for none
  std::string name;    // track or macro name; empty for a common line
  int head_line = -1;  // the line a continuation continues, else the line itself
};

class SourceMap {
 public:
  void Clear();

  // Recording (called by the compiler).
  int AddNote(const NoteSource& note);
  void AddStreamNote(int track, int offset, int note);
  void SetLines(std::vector<LineContext> lines) { lines_ = std::move(lines); }
  void SetResolution(int ticks_per_whole_note) { resolution_ = ticks_per_whole_note; }
  void SetBarLength(int track, int ticks);

  // The note written at stream offset `offset` of track `track`; nullptr
  // when no note byte was recorded there.
  const NoteSource* Find(int track, int offset) const;
  int TrackCount() const { return static_cast<int>(tracks_.size()); }
  // The context of a report line; nullptr for lines that are none (comments,
  // headers, blank lines, lines beyond the text).
  const LineContext* Line(int line) const;
  // The first line at or after `line` that has a context; nullptr if none.
  const LineContext* LineFrom(int line) const;
  int Resolution() const { return resolution_; }
  // The bar length the track's "u" set last; a 4/4 bar (DefaultBarTicks)
  // when it sets none.
  int BarLength(int track) const;

 private:
  std::vector<NoteSource> notes_;
  // Per track: (stream offset, note index), in rising offset order.
  std::vector<std::vector<std::pair<int, int>>> tracks_;
  std::vector<LineContext> lines_;  // in rising line order
  std::vector<int> bar_lengths_;    // per track; 0: not set
  int resolution_ = 192;
};

// Bars and beats as the editor, the piano roll and the language server show
// them. A track that sets no bar length with "u" counts 4/4 bars: one whole
// note of the resolution. (The compiler's "|" pads to a quarter note in such
// a track; that is the language's own rule and is not this count.)
int DefaultBarTicks(int resolution);
struct BarPosition {
  int64_t bar = 1;   // from 1
  int64_t beat = 1;  // quarter notes from 1
  int64_t rest = 0;  // ticks after the beat
};
// The bar and beat of score tick `tick` (0 is the first tick of the song) in
// bars of `bar_ticks` ticks (at least 1) and beats of a quarter note.
BarPosition BarBeatAt(int64_t tick, int bar_ticks, int resolution);

// The source map part of a compilation: the map it records into (nullptr
// when none) and the track being parsed or whose stream is compiled.
struct SourceMapRecorder {
  SourceMap* map = nullptr;
  int track = 0;
};

// The map the compilation records into; nullptr when none.
void SetSourceMapRecorder(CompileContext& cc, SourceMap* map);
bool RecordingSourceMap(const CompileContext& cc);
// The place of the token just read (a note's first token) with the current
// macro call sites; -1 when no map records.
int RecordNotePlace(CompileContext& cc);
// Stamps the note record with the index RecordNotePlace gave.
void TagNoteRecord(EventRecord& record, int note);
// The track "u" set the bar length of.
void MapBarLength(CompileContext& cc, int ticks);
// The track that is parsed or whose stream is compiled next.
void SetSourceMapTrack(CompileContext& cc, int track);
// The track stream compiler writes `record`'s note byte at `offset`.
void MapStreamNote(CompileContext& cc, const EventRecord& record, int offset);
// Fills the map's line contexts from the source table.
void MapSourceLines(CompileContext& cc, const SourceTable& table);

#endif  // QUERN_COMPILER_SONG_SOURCE_MAP_H_
