// Roll model: the notes of a compiled song laid out in time, for drawing a
// piano roll and for finding the text a note was written at.
//
// In: a song image and the source map of the same compilation (the map may
//   be empty, as for a song read from a file: the notes then have no place),
//   and a bound in ticks.
// Out: every struck note in the order it was struck (tick, gate, key,
//   velocity, channel, track, and its place with its macro call sites), the
//   tempo changes, the resolution and each track's bar length, the tick at
//   which the song ends, whether the bound cut it short, and an index from
//   places in the text to the notes written there.
// What can go wrong: an image that is not a song gives false and an empty
//   model. A song that never ends (an endless loop) is run up to the bound
//   (or up to kRollMaxNotes notes) and marked `bounded`, so that the
//   picture can say so.
// The song runs silently on a sequencer of its own: nothing is sent and
// whatever plays is not disturbed. Any thread (a window builds it on a
// worker thread, which may cancel it); the model is plain data.
#ifndef QUERN_ROLL_ROLL_MODEL_H_
#define QUERN_ROLL_ROLL_MODEL_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compiler/song/source_map.h"

// The default bound: enough for any song that ends, short enough to stay
// quick for one that does not.
constexpr int64_t kRollTicks = 1000000;
// The most notes a model holds (twenty times a long song): a song with more
// before its bound is cut after the tick that reaches it, and says so, so
// that an endless song run for many ticks cannot exhaust the memory.
constexpr size_t kRollMaxNotes = 1000000;

struct RollNote {
  int64_t tick = 0;
  int gate = 0;  // 0: held without a note-off
  int key = 0;
  int velocity = 0;
  int channel = 0;
  int track = 0;
  int offset = 0;   // the note byte's stream offset in its track
  int source = -1;  // index into RollModel::sources; -1: no place known
};

// A place in the text and a note written there (its own place or one of its
// macro call sites).
struct RollPlace {
  SourcePlace place;
  uint32_t note = 0;
  friend bool operator<(const RollPlace& a, const RollPlace& b) {
    return a.place < b.place || (a.place == b.place && a.note < b.note);
  }
};

struct TempoChange {
  int64_t tick = 0;
  int quarters_per_minute = 0;
  bool operator==(const TempoChange&) const = default;
};

struct RollModel {
  std::vector<RollNote> notes;      // in the order struck: rising tick
  std::vector<NoteSource> sources;  // places, shared by every pass of a note
  std::vector<RollPlace> places;    // every note's place and call sites, sorted
  std::vector<TempoChange> tempos;
  std::vector<std::string> track_names;   // by track index, when known (the caller's)
  std::vector<int> bar_ticks;             // per track: ticks per bar
  int resolution = 192;                   // ticks per whole note
  int64_t end_tick = 0;                   // the tick the last note has ended
  bool bounded = false;                   // cut at the bound: the song goes on
  int lowest_key = 127, highest_key = 0;  // keys run from 0 to 255

  const NoteSource* Source(const RollNote& note) const {
    return note.source >= 0 ? &sources[static_cast<size_t>(note.source)] : nullptr;
  }
  // The ticks per bar the grid is drawn with: the first track's that has
  // notes (every track may set its own; the first one leads the ruler).
  int RulerBarTicks() const;
  // The bar length of a track's grid: its own, else the ruler's.
  int BarTicks(int track) const;
  // The first note struck at or after `tick` (notes sorted by tick).
  size_t FirstNoteFrom(int64_t tick) const;
  // How long a note is drawn: its gate, or a sixteenth note for one held
  // without a note-off.
  int64_t DrawnTicks(const RollNote& note) const {
    return note.gate > 0 ? note.gate : std::max(resolution / 16, 1);
  }
  int64_t NoteEnd(const RollNote& note) const { return note.tick + DrawnTicks(note); }
};

// Builds the model; false when the image is not a song, or when *cancel
// turned true on the way (the model is then empty).
bool BuildRollModel(const uint8_t* image, size_t size, const SourceMap& map, RollModel* model,
                    int64_t max_ticks = kRollTicks, const std::atomic<bool>* cancel = nullptr);

// The notes written at `caret`, by rising index into model.notes: every
// pass of a loop and every expansion of a macro. The caret stands for the
// last note or macro call written on its line at or before it. With `end`
// (line >= 0): the notes whose place or one of whose call sites lies in
// [caret, end) instead.
std::vector<size_t> NotesAtPlace(const RollModel& model, SourcePlace caret,
                                 SourcePlace end = SourcePlace{});

#endif  // QUERN_ROLL_ROLL_MODEL_H_
