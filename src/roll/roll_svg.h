// Roll picture: a roll model drawn as one SVG document.
//
// In: a model (roll_model.h), the ticks and tracks to draw, a width in
//   pixels, and the track names for the legend and the titles.
// Out: the SVG text: a keyboard down the left with octave labels (c4 is key
//   60, as scores write it), a ruler across the top with bar numbers and
//   tempo changes, bar and beat lines, and one <rect class="note"> per note,
//   coloured by track, its opacity from the velocity, with a <title> (track,
//   note, bar:beat, length, velocity, line:col) and data-line/data-col
//   attributes (roll_text.h). The bar and beat lines are one pattern and the
//   bar numbers and tempo marks are thinned to fit the width, so the size
//   grows with the notes, not with the song's length in ticks. A model cut
//   at its bound says so.
// Nothing can fail; any thread.
#ifndef QUERN_ROLL_ROLL_SVG_H_
#define QUERN_ROLL_ROLL_SVG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "roll/roll_model.h"
#include "roll/roll_text.h"

struct RollView {
  int64_t start = 0;            // first tick drawn
  int64_t stop = 0;             // tick the drawing ends at; 0: the song's end
  std::vector<int> mute, solo;  // track indices left out, or kept alone
  int width = 1600;             // the whole picture, in pixels
};

// Pixel geometry shared with whoever hit-tests the picture.
constexpr int kRollKeysWidth = 40;
constexpr int kRollRulerHeight = 28;
constexpr int kRollRowHeight = 6;

// Track names come from the model (RollTrackName).
std::string RollSvg(const RollModel& model, const RollView& view);

#endif  // QUERN_ROLL_ROLL_SVG_H_
