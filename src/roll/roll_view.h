// Roll view: one picture of the roll in a window, without the toolkit. It
// turns the ticks and keys in view into rectangles in pixels, and pixels
// back into notes and bars, so that a window only paints what it is given.
//
// In: a roll model and its time index (RollIndex, built once per model; the
//   index keeps a reference to the model, which must outlive it), a
//   viewport (the picture's size in pixels, the tick at the left edge of the
//   notes, pixels per tick, the key at the top edge and the row height), and
//   the marks: which tracks sound (the others are greyed), which notes are
//   outlined, the playing tick.
// Out: a scene: the note rectangles in view (thin neighbours of one track
//   on one row, which fall into the same pixels, merged into one, so that a
//   whole song of 50,000 notes stays cheap to paint), the outlined and the
//   sounding notes each on their own, bar and beat lines thinned to stay
//   apart, bar numbers, tempo marks, the rows of keys in view and the
//   playhead. Hit tests: the note under a point, the bar under a point of
//   the ruler. Viewport moves: fit the song or some ticks and keys, zoom
//   about a point, scroll a tick or a note into view, follow the playhead.
// Only the notes in view are visited (the index finds them by time), so the
// cost of a scene follows what is seen, not the song.
// Nothing can fail; any thread.
#ifndef QUERN_ROLL_ROLL_VIEW_H_
#define QUERN_ROLL_ROLL_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "roll/roll_model.h"

// Finds the notes that sound in a stretch of ticks: notes sorted by tick,
// with the latest end of every block of notes, so that a search skips the
// blocks that ended before the stretch.
class RollIndex {
 public:
  explicit RollIndex(const RollModel& model);
  const RollModel& Model() const { return model_; }
  // The notes drawn over [from, to) (tick < to and end > from), in rising
  // index.
  void NotesIn(int64_t from, int64_t to, std::vector<uint32_t>* out) const;

 private:
  static constexpr size_t kBlock = 64;
  const RollModel& model_;
  std::vector<int64_t> block_end_;
};

struct RollViewport {
  int width = 800, height = 300;  // the whole picture: keyboard and ruler too
  int keys_width = 44, ruler_height = 24;
  double left = 1;  // the tick at the left edge of the notes
  double px_per_tick = 0.5;
  double top = 84;  // the key whose row starts at the top edge of the notes
  int row_height = 8;

  double X(double tick) const { return keys_width + (tick - left) * px_per_tick; }
  double TickAt(double x) const { return left + (x - keys_width) / px_per_tick; }
  double Y(int key) const { return ruler_height + (top - key) * row_height; }
  int KeyAt(double y) const;
  // The ticks the notes area shows: [left, RightTick()).
  double RightTick() const { return TickAt(width); }
};

constexpr double kRollMaxPxPerTick = 16;
constexpr int kRollMinRow = 2, kRollMaxRow = 24;

// What a scene marks.
struct RollMarks {
  const std::vector<bool>* sounding_tracks = nullptr;  // by track; absent: sounds
  const std::vector<uint8_t>* outlined = nullptr;      // by note; non-zero: outlined
  int64_t now = 0;                                     // the playing tick; 0: none
};

// Notes that fall on the same pixels, merged: x, width in pixels (at least
// one), opacity from the velocity (the highest of those merged).
struct RollBox {
  float x = 0, y = 0, w = 0, h = 0;
  int track = 0;
  float opacity = 1;
  bool muted = false;
};

// One note's own rectangle.
struct RollNoteBox {
  float x = 0, y = 0, w = 0, h = 0;
  uint32_t note = 0;
};

struct RollScene {
  std::vector<RollBox> notes;
  std::vector<RollNoteBox> outlined, sounding;
  std::vector<float> bar_lines, beat_lines;
  struct BarNumber {
    float x;
    int64_t bar;
  };
  std::vector<BarNumber> bar_numbers;
  struct TempoMark {
    float x;
    int tempo;
  };
  std::vector<TempoMark> tempos;
  int low_key = 0, high_key = 0;  // the rows in view
  float playhead = -1;            // x of the playing tick; -1: none in view
  float bound = -1;               // x where a model cut at its bound ends; -1: not in view
};

// The opacity a note of this velocity is drawn with (0.25 to 1).
float RollOpacity(int velocity);
// The highest key rows are made for: 127, or the model's highest note.
int RollTopKey(const RollModel& model);

void BuildRollScene(const RollIndex& index, const RollViewport& view, const RollMarks& marks,
                    RollScene* scene);

// The note drawn under (x, y), or -1: of the notes on y's row whose box,
// widened to kRollHitSlop pixels where it is thinner, holds x, the one drawn
// last. Muted notes are found too.
constexpr double kRollHitSlop = 4;
long HitRollNote(const RollIndex& index, const RollViewport& view, double x, double y);
// The first tick of the ruler's bar under (x, y), or -1 off the ruler.
int64_t HitRollBar(const RollModel& model, const RollViewport& view, double x, double y);
// A note's rectangle as drawn (before clipping to the picture).
RollNoteBox RollNoteRect(const RollModel& model, const RollViewport& view, uint32_t note);

// ---- Moving the viewport. Each leaves it within bounds (ClampRollView).

// How far the view may scroll at its zoom: the left edge from a little
// before the song's start to a little past its end, the top key from the
// highest row down to where the lowest key fills the bottom row.
struct RollScrollLimits {
  double left_min = 0, left_max = 0;
  double top_min = 0, top_max = 0;
};
RollScrollLimits RollLimits(const RollModel& model, const RollViewport& view);

// Pixels per tick and rows no smaller than a whole song needs, no larger
// than kRollMaxPxPerTick and kRollMaxRow; the left edge from a little before
// the song to its end; the rows within the keys.
void ClampRollView(const RollModel& model, RollViewport* view);
// The whole song, and all its keys, in view.
void FitRollSong(const RollModel& model, RollViewport* view);
// Ticks [from, to) and keys low..high in view, with a little room around.
void FitRollRange(const RollModel& model, int64_t from, int64_t to, int low, int high,
                  RollViewport* view);
// The notes given (by index) in view; false when there are none.
bool FitRollNotes(const RollModel& model, const std::vector<size_t>& notes, RollViewport* view);
// Zooms by `factor` about the pixel column x (the tick under it stays).
void ZoomRollTime(const RollModel& model, double factor, double x, RollViewport* view);
void ZoomRollKeys(const RollModel& model, double factor, double y, RollViewport* view);
// Scrolls so that the note is in view, if it is not.
void ShowRollNote(const RollModel& model, uint32_t note, RollViewport* view);
// While following the playhead: once `now` leaves the view (or nears its
// right edge), the view turns to the next page with `now` near its left.
void FollowRollTick(const RollModel& model, int64_t now, RollViewport* view);

#endif  // QUERN_ROLL_ROLL_VIEW_H_
