#include "roll/roll_view.h"

#include <algorithm>
#include <cmath>

namespace {

// Notes thinner than this many pixels may merge with a neighbour they
// touch; wider ones keep their own box, so repeated notes stay apart.
constexpr double kMergeWidth = 2;
// The least room between lines and between labels, in pixels.
constexpr double kLineSpacing = 5;
constexpr double kBeatSpacing = 6;
constexpr double kNumberSpacing = 36;
constexpr double kTempoSpacing = 28;

// The smallest step of 1, 2 or 5 times a power of ten bars whose lines
// stand at least `spacing` pixels apart.
int64_t BarStep(double bar_px, double spacing) {
  for (int64_t scale = 1;; scale *= 10) {
    for (int64_t m : {1, 2, 5}) {
      if (bar_px * static_cast<double>(m * scale) >= spacing || m * scale > (int64_t{1} << 40)) {
        return m * scale;
      }
    }
  }
}

bool Sounds(const RollMarks& marks, int track) {
  const std::vector<bool>* tracks = marks.sounding_tracks;
  return !tracks || track < 0 || track >= static_cast<int>(tracks->size()) || (*tracks)[track];
}

bool Outlined(const RollMarks& marks, uint32_t note) {
  return marks.outlined && note < marks.outlined->size() && (*marks.outlined)[note] != 0;
}

void AddGrid(const RollModel& model, const RollViewport& v, RollScene* scene) {
  const int64_t bar = model.RulerBarTicks();
  const double bar_px = static_cast<double>(bar) * v.px_per_tick;
  const double left = std::max(v.left, 1.0), right = v.RightTick();
  if (right <= left) return;
  const int64_t first = static_cast<int64_t>(std::floor((left - 1) / static_cast<double>(bar)));
  const int64_t last = static_cast<int64_t>(std::floor((right - 1) / static_cast<double>(bar)));
  const int64_t line_step = BarStep(bar_px, kLineSpacing);
  const int64_t number_step = BarStep(bar_px, kNumberSpacing);
  for (int64_t n = first / line_step * line_step; n <= last; n += line_step) {
    if (n < first) continue;
    const double x = v.X(static_cast<double>(1 + n * bar));
    if (x < v.keys_width) continue;
    scene->bar_lines.push_back(static_cast<float>(x));
    if (n % number_step == 0) scene->bar_numbers.push_back({static_cast<float>(x), n + 1});
  }
  const int64_t beat = std::max(model.resolution / 4, 1);
  if (line_step != 1 || bar % beat != 0 ||
      static_cast<double>(beat) * v.px_per_tick < kBeatSpacing) {
    return;
  }
  // Only the beats in view are visited, however long a bar is.
  const int64_t first_beat =
      static_cast<int64_t>(std::ceil((left - 1) / static_cast<double>(beat)));
  const int64_t last_beat =
      static_cast<int64_t>(std::floor((right - 1) / static_cast<double>(beat)));
  for (int64_t k = first_beat; k <= last_beat; ++k) {
    if (k * beat % bar == 0) continue;  // a bar line
    const double x = v.X(static_cast<double>(1 + k * beat));
    if (x >= v.keys_width && x < v.width) scene->beat_lines.push_back(static_cast<float>(x));
  }
}

void AddTempos(const RollModel& model, const RollViewport& v, RollScene* scene) {
  const auto from = std::lower_bound(
      model.tempos.begin(), model.tempos.end(), static_cast<int64_t>(std::floor(v.left)),
      [](const TempoChange& t, int64_t tick) { return t.tick < tick; });
  double last_x = -kTempoSpacing;
  for (auto it = from; it != model.tempos.end(); ++it) {
    const double x = v.X(static_cast<double>(it->tick));
    if (x >= v.width) break;
    if (x < v.keys_width || x < last_x + kTempoSpacing) continue;
    scene->tempos.push_back({static_cast<float>(x), it->quarters_per_minute});
    last_x = x;
  }
}

// Adds a note to the boxes, merged into the last box of its track on its
// row when both are thin and they touch.
class BoxMerger {
 public:
  BoxMerger(int rows, int tracks, RollScene* scene)
      : tracks_(std::max(tracks, 1)),
        open_(static_cast<size_t>(rows) * static_cast<size_t>(tracks_), -1),
        scene_(scene) {}

  void Add(int row, const RollNote& n, double x0, double x1, double y, double h, bool muted) {
    const float opacity = RollOpacity(n.velocity);
    const bool thin = x1 - x0 < kMergeWidth;
    if (x1 - x0 < 1) x1 = x0 + 1;
    const int track = std::clamp(n.track, 0, tracks_ - 1);
    long& open = open_[static_cast<size_t>(row) * static_cast<size_t>(tracks_) + track];
    if (open >= 0) {
      RollBox& box = scene_->notes[static_cast<size_t>(open)];
      const double right = box.x + box.w;
      const bool inside = x0 >= box.x && x1 <= right;
      const bool touches = thin && thin_box_[static_cast<size_t>(open)] && x0 <= right + 0.5;
      if (box.muted == muted && (inside || touches)) {
        box.w = static_cast<float>(std::max(right, x1) - box.x);
        box.opacity = std::max(box.opacity, opacity);
        return;
      }
    }
    open = static_cast<long>(scene_->notes.size());
    scene_->notes.push_back({static_cast<float>(x0), static_cast<float>(y),
                             static_cast<float>(x1 - x0), static_cast<float>(h), n.track, opacity,
                             muted});
    thin_box_.push_back(thin);
  }

 private:
  int tracks_;
  std::vector<long> open_;
  std::vector<bool> thin_box_;
  RollScene* scene_;
};

}  // namespace

RollIndex::RollIndex(const RollModel& model) : model_(model) {
  const std::vector<RollNote>& notes = model.notes;
  for (size_t begin = 0; begin < notes.size(); begin += kBlock) {
    int64_t end = 0;
    for (size_t i = begin; i < std::min(begin + kBlock, notes.size()); ++i) {
      end = std::max(end, model.NoteEnd(notes[i]));
    }
    block_end_.push_back(end);
  }
}

void RollIndex::NotesIn(int64_t from, int64_t to, std::vector<uint32_t>* out) const {
  const std::vector<RollNote>& notes = model_.notes;
  const size_t stop = model_.FirstNoteFrom(to);
  for (size_t block = 0; block * kBlock < stop; ++block) {
    if (block_end_[block] <= from) continue;
    for (size_t i = block * kBlock; i < std::min((block + 1) * kBlock, stop); ++i) {
      if (model_.NoteEnd(notes[i]) > from) out->push_back(static_cast<uint32_t>(i));
    }
  }
}

int RollViewport::KeyAt(double y) const {
  return static_cast<int>(std::ceil(top - (y - ruler_height) / std::max(row_height, 1)));
}

float RollOpacity(int velocity) {
  return 0.25f + 0.75f * static_cast<float>(std::clamp(velocity, 0, 127)) / 127.0f;
}

int RollTopKey(const RollModel& model) {
  return std::clamp(model.highest_key, 127, 255);
}

RollNoteBox RollNoteRect(const RollModel& model, const RollViewport& v, uint32_t note) {
  const RollNote& n = model.notes[note];
  const double x0 = v.X(static_cast<double>(n.tick));
  const double x1 = std::max(v.X(static_cast<double>(model.NoteEnd(n))), x0 + 1);
  return {static_cast<float>(x0), static_cast<float>(v.Y(n.key)), static_cast<float>(x1 - x0),
          static_cast<float>(v.row_height), note};
}

void BuildRollScene(const RollIndex& index, const RollViewport& v, const RollMarks& marks,
                    RollScene* scene) {
  *scene = RollScene{};
  const RollModel& model = index.Model();
  scene->high_key = std::clamp(v.KeyAt(v.ruler_height), 0, RollTopKey(model));
  scene->low_key = std::clamp(v.KeyAt(v.height - 1), 0, scene->high_key);
  AddGrid(model, v, scene);
  AddTempos(model, v, scene);
  if (marks.now > 0) {
    const double x = v.X(static_cast<double>(marks.now));
    if (x >= v.keys_width && x < v.width) scene->playhead = static_cast<float>(x);
  }
  if (model.bounded) {
    const double x = v.X(static_cast<double>(model.end_tick));
    if (x >= v.keys_width && x < v.width) scene->bound = static_cast<float>(x);
  }
  std::vector<uint32_t> visible;
  index.NotesIn(static_cast<int64_t>(std::floor(v.left)),
                static_cast<int64_t>(std::ceil(v.RightTick())) + 1, &visible);
  const int rows = scene->high_key - scene->low_key + 1;
  BoxMerger merger(rows, static_cast<int>(model.bar_ticks.size()), scene);
  for (uint32_t i : visible) {
    const RollNote& n = model.notes[i];
    if (n.key < scene->low_key || n.key > scene->high_key) continue;
    const double x0 = v.X(static_cast<double>(n.tick));
    const double x1 = v.X(static_cast<double>(model.NoteEnd(n)));
    const bool sounds = Sounds(marks, n.track);
    const double left = std::max(x0, static_cast<double>(v.keys_width));
    const double right = std::min(x1, static_cast<double>(v.width));
    if (right < left) continue;
    merger.Add(scene->high_key - n.key, n, left, right, v.Y(n.key), v.row_height, !sounds);
    const RollNoteBox box = RollNoteRect(model, v, i);
    if (Outlined(marks, i)) scene->outlined.push_back(box);
    if (sounds && marks.now > 0 && n.tick <= marks.now && marks.now < model.NoteEnd(n)) {
      scene->sounding.push_back(box);
    }
  }
}

long HitRollNote(const RollIndex& index, const RollViewport& v, double x, double y) {
  const RollModel& model = index.Model();
  if (x < v.keys_width || y < v.ruler_height || x >= v.width || y >= v.height) return -1;
  const int key = v.KeyAt(y);
  const double slop = kRollHitSlop / v.px_per_tick;
  const double tick = v.TickAt(x);
  std::vector<uint32_t> near;
  index.NotesIn(static_cast<int64_t>(std::floor(tick - slop)),
                static_cast<int64_t>(std::ceil(tick + slop)) + 1, &near);
  long found = -1;
  bool exact = false;
  for (uint32_t i : near) {
    const RollNote& n = model.notes[i];
    if (n.key != key) continue;
    const RollNoteBox box = RollNoteRect(model, v, i);
    const double grow = std::max(0.0, (kRollHitSlop - box.w) / 2);
    const bool inside = x >= box.x && x < box.x + box.w;
    if (inside || (x >= box.x - grow && x < box.x + box.w + grow && !exact)) {
      found = static_cast<long>(i);
      exact = exact || inside;
    }
  }
  return found;
}

int64_t HitRollBar(const RollModel& model, const RollViewport& v, double x, double y) {
  if (y < 0 || y >= v.ruler_height || x < v.keys_width || x >= v.width) return -1;
  const int64_t bar = model.RulerBarTicks();
  const int64_t tick = static_cast<int64_t>(std::floor(v.TickAt(x)));
  if (tick < 1) return 1;
  return (tick - 1) / bar * bar + 1;
}

// ---------------------------------------------------------------- moves

namespace {

int NotesWidth(const RollViewport& v) {
  return std::max(v.width - v.keys_width, 1);
}
int NotesHeight(const RollViewport& v) {
  return std::max(v.height - v.ruler_height, 1);
}
double SongTicks(const RollModel& model) {
  return static_cast<double>(std::max<int64_t>(model.end_tick, 2) - 1);
}

}  // namespace

RollScrollLimits RollLimits(const RollModel& model, const RollViewport& v) {
  RollScrollLimits limits;
  const double song = SongTicks(model);
  const double shown = NotesWidth(v) / v.px_per_tick;
  const double margin = shown * 0.05;
  limits.left_min = 1 - margin;
  limits.left_max = std::max(1 + song - shown + margin, limits.left_min);
  const double rows = static_cast<double>(NotesHeight(v)) / v.row_height;
  limits.top_max = RollTopKey(model);
  limits.top_min = std::min(rows - 1, limits.top_max);
  return limits;
}

void ClampRollView(const RollModel& model, RollViewport* v) {
  const double least = NotesWidth(*v) / (SongTicks(model) * 1.1);
  v->px_per_tick =
      std::clamp(v->px_per_tick, std::min(least, kRollMaxPxPerTick), kRollMaxPxPerTick);
  const int least_row = std::max(kRollMinRow, NotesHeight(*v) / (RollTopKey(model) + 1));
  v->row_height = std::clamp(v->row_height, std::min(least_row, kRollMaxRow), kRollMaxRow);
  const RollScrollLimits limits = RollLimits(model, *v);
  v->left = std::clamp(v->left, limits.left_min, limits.left_max);
  v->top = std::clamp(v->top, limits.top_min, limits.top_max);
}

void FitRollRange(const RollModel& model, int64_t from, int64_t to, int low, int high,
                  RollViewport* v) {
  const double ticks = static_cast<double>(std::max<int64_t>(to - from, 1));
  v->px_per_tick = NotesWidth(*v) / (ticks * 1.04);
  v->left = static_cast<double>(from) - ticks * 0.02;
  const int keys = std::max(high - low + 1, 1) + 2;
  v->row_height = std::clamp(NotesHeight(*v) / keys, kRollMinRow, kRollMaxRow);
  const double rows = static_cast<double>(NotesHeight(*v)) / v->row_height;
  v->top = std::floor((high + low) / 2.0 + rows / 2.0);
  ClampRollView(model, v);
}

void FitRollSong(const RollModel& model, RollViewport* v) {
  FitRollRange(model, 1, std::max<int64_t>(model.end_tick, 2), model.lowest_key, model.highest_key,
               v);
}

bool FitRollNotes(const RollModel& model, const std::vector<size_t>& notes, RollViewport* v) {
  if (notes.empty()) return false;
  int64_t from = model.notes[notes.front()].tick, to = 0;
  int low = 255, high = 0;
  for (size_t i : notes) {
    const RollNote& n = model.notes[i];
    from = std::min(from, n.tick);
    to = std::max(to, model.NoteEnd(n));
    low = std::min(low, n.key);
    high = std::max(high, n.key);
  }
  FitRollRange(model, from, to, low, high, v);
  return true;
}

void ZoomRollTime(const RollModel& model, double factor, double x, RollViewport* v) {
  const double tick = v->TickAt(x);
  v->px_per_tick *= factor;
  ClampRollView(model, v);
  v->left = tick - (x - v->keys_width) / v->px_per_tick;
  ClampRollView(model, v);
}

void ZoomRollKeys(const RollModel& model, double factor, double y, RollViewport* v) {
  const double key = v->top - (y - v->ruler_height) / v->row_height;
  const int before = v->row_height;
  v->row_height = static_cast<int>(std::lround(before * factor));
  // Small rows still grow or shrink by one.
  if (v->row_height == before) v->row_height += factor > 1 ? 1 : factor < 1 ? -1 : 0;
  ClampRollView(model, v);
  v->top = key + (y - v->ruler_height) / v->row_height;
  ClampRollView(model, v);
}

void ShowRollNote(const RollModel& model, uint32_t note, RollViewport* v) {
  if (note >= model.notes.size()) return;
  const RollNote& n = model.notes[note];
  const double shown = NotesWidth(*v) / v->px_per_tick;
  if (static_cast<double>(n.tick) < v->left || static_cast<double>(n.tick) >= v->left + shown) {
    v->left = static_cast<double>(n.tick) - shown * 0.1;
  }
  const double rows = static_cast<double>(NotesHeight(*v)) / v->row_height;
  if (n.key > v->top || n.key <= v->top - rows + 1) v->top = n.key + std::floor(rows / 2);
  ClampRollView(model, v);
}

void FollowRollTick(const RollModel& model, int64_t now, RollViewport* v) {
  const double shown = NotesWidth(*v) / v->px_per_tick;
  const double t = static_cast<double>(now);
  if (t >= v->left && t < v->left + shown * 0.9) return;
  v->left = t - shown * 0.05;
  ClampRollView(model, v);
}
