// Gradual changes: a run of one attribute's values that the player's
// stepping sends exactly (V100:2 from the value before it) is written as
// one command.
//
// The player steps a change from s to e over d ticks from the tick after
// the command: each tick it adds the quotient (e - s) / d and, whenever an
// accumulator that starts at r / 2 and gains r = |e - s| mod d a tick
// reaches d, one more; it sends the value when it changed. So after j steps
// the value is s + j q + sign(e - s) floor((r / 2 + j r) / d): a change of
// |e - s| >= d sends a value every tick, a smaller one sends each step of 1
// at the first tick whose count reaches it. A run is taken only when this
// gives each of its values at its tick; its start, which the file does not
// show when the first step waits, is solved from the first value's tick.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "import/import_ramps.h"

namespace {

struct Point {
  int64_t time;
  int value;
};

int64_t CeilDiv(int64_t a, int64_t b) {
  return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// The value after j steps of a change from s to e over d ticks.
int64_t ValueAfter(int64_t s, int64_t e, int64_t d, int64_t j) {
  const int64_t dir = e > s ? 1 : -1;
  const int64_t q = (e - s) / d;
  const int64_t r = std::abs(e - s) % d;
  return s + j * q + dir * ((r / 2 + j * r) / d);
}

// A change of at least one a tick: a value every tick from the start on.
bool FitsFast(const Point* p, int64_t m, int64_t s, int64_t* start, int64_t* length) {
  const int64_t t = p[0].time - 1;
  const int64_t d = m;
  const int64_t e = p[m - 1].value;
  if (std::abs(e - s) < d || p[m - 1].time - t != d) return false;
  for (int64_t k = 0; k < m; ++k) {
    if (p[k].time != t + k + 1 || p[k].value != ValueAfter(s, e, d, k + 1)) return false;
  }
  *start = t;
  *length = d;
  return true;
}

// A change of less than one a tick: steps of 1, the k-th at step
// ceil((k d - r / 2) / r). The first one's tick fixes d up to a few values:
// with c the ticks from the first value to the last, d - c must equal that
// first step, and d - ceil((d - r / 2) / r) grows with d.
bool FitsSlow(const Point* p, int64_t m, int64_t s, int64_t earliest, int64_t* start,
              int64_t* length) {
  const int64_t e = p[m - 1].value;
  const int64_t r = std::abs(e - s);
  if (r != m || r < 2) return false;
  const int64_t dir = e > s ? 1 : -1;
  const int64_t end = p[m - 1].time;
  const int64_t c = end - p[0].time;
  auto g = [&](int64_t x) { return x - CeilDiv(x - r / 2, r); };
  int64_t lo = std::max(r + 1, c + 1), hi = std::min(kLongestLength, end - earliest);
  if (lo > hi) return false;
  int64_t a = lo, b = hi;
  while (a < b) {  // the first x with g(x) >= c
    const int64_t mid = a + (b - a) / 2;
    if (g(mid) >= c)
      b = mid;
    else
      a = mid + 1;
  }
  for (int64_t x = a; x <= hi && g(x) == c; ++x) {
    const int64_t t = end - x;
    bool fits = true;
    for (int64_t k = 1; k <= m && fits; ++k) {
      fits = p[k - 1].value == s + k * dir && p[k - 1].time == t + CeilDiv(k * x - r / 2, r);
    }
    if (fits) {
      *start = t;
      *length = x;
      return true;
    }
  }
  return false;
}

// The last point of a run from i that moves one way from s at rising ticks
// within a change's longest length, and the last one of its steady pace.
void RunEnds(const std::vector<Point>& p, size_t i, int s, size_t* whole, size_t* steady) {
  const int dir = p[i].value > s ? 1 : -1;
  size_t k = i + 1;
  while (k < p.size() && p[k].time > p[k - 1].time && (p[k].value - p[k - 1].value) * dir > 0 &&
         p[k].time - p[i].time < kLongestLength) {
    ++k;
  }
  *whole = k - 1;
  // A steady pace: ticks one apart with steps of two sizes next to each
  // other, or steps of one with gaps of two sizes next to each other.
  size_t fast = i, slow = i;
  int64_t fmin = INT64_MAX, fmax = 0, smin = INT64_MAX, smax = 0;
  for (size_t j = i + 1; j <= *whole; ++j) {
    const int64_t step = std::abs(p[j].value - p[j - 1].value);
    const int64_t gap = p[j].time - p[j - 1].time;
    if (fast == j - 1 && gap == 1) {
      fmin = std::min(fmin, step);
      fmax = std::max(fmax, step);
      if (fmax - fmin <= 1) fast = j;
    }
    if (slow == j - 1 && step == 1) {
      smin = std::min(smin, gap);
      smax = std::max(smax, gap);
      if (smax - smin <= 1) slow = j;
    }
  }
  *steady = std::max(fast, slow);
}

// A ramp from s that sends the points i to *last exactly, starting no
// earlier than `earliest` (the tick of the value before it).
bool FindRamp(const std::vector<Point>& p, size_t i, int s, int64_t earliest, RampBudget& budget,
              size_t* last, int64_t* start, int64_t* length) {
  if (p[i].value == s) return false;
  size_t whole = i, steady = i;
  RunEnds(p, i, s, &whole, &steady);
  budget.work -= static_cast<int64_t>(whole - i + 1);
  std::vector<size_t> tries = {whole};
  for (size_t back = 0; back < 3 && steady >= i + 2 + back; ++back) {
    if (steady - back < whole) tries.push_back(steady - back);
  }
  for (size_t j : tries) {
    if (j < i + 2) continue;
    const auto m = static_cast<int64_t>(j - i + 1);
    budget.work -= m;
    if (budget.work < 0) return false;
    if ((FitsFast(&p[i], m, s, start, length) || FitsSlow(&p[i], m, s, earliest, start, length)) &&
        *start >= earliest) {
      *last = j;
      return true;
    }
  }
  return false;
}

// The ramps of one attribute: the commands at `at` (its points, in order)
// become ramp commands or stay; removed ones are marked by time -1.
bool RampsOf(std::vector<ImportCommand>& commands, const std::vector<size_t>& at,
             std::pair<int, int> attribute, RampBudget& budget, int* value, int64_t begin) {
  std::vector<Point> p;
  for (size_t k : at) p.push_back({commands[k].time, commands[k].value});
  int current = *value;
  int64_t earliest = begin;
  bool any = false;
  for (size_t i = 0; i < p.size();) {
    size_t last = i;
    int64_t start = 0, length = 0;
    const bool room =
        budget.ramped.count(attribute) > 0 || budget.ramped.size() < RampBudget::kAttributes;
    if (budget.ramps > 0 && room &&
        FindRamp(p, i, current, earliest, budget, &last, &start, &length)) {
      budget.ramped.insert(attribute);
      any = true;
      --budget.ramps;
      ImportCommand& c = commands[at[i]];
      c.kind = CommandKind::kRamp;
      c.from = current;
      c.value = p[last].value;
      c.time = start;
      c.length = length;
      for (size_t k = i + 1; k <= last; ++k) commands[at[k]].time = -1;
      i = last;
    }
    current = p[i].value;
    earliest = p[i].time;
    ++i;
  }
  *value = current;
  return any;
}

}  // namespace

void FindRamps(std::vector<ImportCommand>& commands, int track, const std::vector<bool>& skip,
               RampBudget& budget, std::vector<int>& values, int64_t begin) {
  std::vector<std::vector<size_t>> at(131);
  for (size_t k = 0; k < commands.size(); ++k) {
    const ImportCommand& c = commands[k];
    if (c.kind == CommandKind::kAttribute && c.number < 131 &&
        !skip[static_cast<size_t>(c.number)]) {
      at[static_cast<size_t>(c.number)].push_back(k);
    }
  }
  bool changed = false;
  for (size_t n = 0; n < at.size(); ++n) {
    if (at[n].size() >= 3) {
      const std::pair<int, int> attribute(track, static_cast<int>(n));
      changed = RampsOf(commands, at[n], attribute, budget, &values[n], begin) || changed;
    } else if (!at[n].empty()) {
      values[n] = commands[at[n].back()].value;
    }
  }
  if (!changed) return;
  std::vector<ImportCommand> kept;
  kept.reserve(commands.size());
  for (ImportCommand& c : commands) {
    if (c.time >= 0) kept.push_back(std::move(c));
  }
  // A ramp starts before the value it first sends: back into time order.
  std::stable_sort(kept.begin(), kept.end(), [](const ImportCommand& a, const ImportCommand& b) {
    return a.time != b.time ? a.time < b.time : a.seq < b.seq;
  });
  commands = std::move(kept);
}
