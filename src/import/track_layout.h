// The layout of the score's tracks (used by the score writer): each track's
// bars, runs of bars that repeat as loops, and the gradual changes of the
// stretches of text that are written.
//
// Bars repeat when their events are the same, not when their texts read
// alike: a loop's body is written once and played again as it was written,
// so a gradual change in it starts each pass from the value it started from
// in the body's text. A loop's body is a run of up to sixteen bars. Gradual
// changes are found within each stretch of text that is written (a body, or
// the bars between loops), so none runs into a part that a loop repeats.
// A long run of empty bars is taken whole, without looking at each bar, so
// the work follows the events, not the song's length. Thread: any.
#ifndef QUERN_IMPORT_TRACK_LAYOUT_H_
#define QUERN_IMPORT_TRACK_LAYOUT_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "import/bar_grid.h"
#include "import/import_plan.h"
#include "import/import_ramps.h"

// Score track names in the order the compiler takes them (byte order): A
// to Z, then ZA to ZZ, ZZA and so on, so that tracks play in the file's
// order.
std::string TrackName(size_t i);

// Where a track's last event ends.
int64_t TrackEnd(const ImportTrack& t);

// What the tracks of one score share while they are written.
struct Writing {
  Writing(const ImportPlan& p, const BarGrid& g) : plan(p), grid(g) {}
  const ImportPlan& plan;
  const BarGrid& grid;
  RampBudget ramps;
  std::map<std::pair<int, int>, int> senders;  // (channel, attribute) -> tracks that send it
                                               // (parts of one cut track count once)
  int loops = 0;                               // a song holds 1023
  int notes = 0;
  int ticky_notes = 0;
  int ramp_count = 0;
  std::string score;
};

// Counts which tracks send each attribute on each channel (tempo: all).
void CountSenders(Writing& w);

// Appends the text of track `index` to w.score.
void WriteTrack(Writing& w, const ImportTrack& track, size_t index);

#endif  // QUERN_IMPORT_TRACK_LAYOUT_H_
