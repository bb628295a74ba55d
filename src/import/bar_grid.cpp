#include "import/bar_grid.h"

#include <algorithm>
#include <climits>

BarGrid::BarGrid(const std::vector<BarSignature>& signatures, int64_t end) {
  int64_t t = 0;
  for (size_t i = 0; i < signatures.size() && t < end; ++i) {
    const int64_t until = i + 1 < signatures.size() ? signatures[i + 1].time : INT64_MAX;
    if (until <= t) continue;
    const int64_t stop = std::min(until, end);
    const int64_t length = std::max<int64_t>(1, signatures[i].length);
    const auto count = static_cast<size_t>((stop - t + length - 1) / length);
    runs_.push_back({t, length, stop, count_, count});
    count_ += count;
    // A signature inside a bar starts a new bar.
    t = std::min(t + static_cast<int64_t>(count) * length, until);
  }
}

const BarGrid::Run& BarGrid::RunOf(size_t bar) const {
  auto it = std::upper_bound(runs_.begin(), runs_.end(), bar,
                             [](size_t b, const Run& r) { return b < r.first; });
  return *(it - 1);
}

int64_t BarGrid::Start(size_t bar) const {
  const Run& r = RunOf(bar);
  return r.start + static_cast<int64_t>(bar - r.first) * r.length;
}

int64_t BarGrid::End(size_t bar) const {
  const Run& r = RunOf(bar);
  return std::min(r.start + static_cast<int64_t>(bar - r.first + 1) * r.length, r.stop);
}

size_t BarGrid::BarAt(int64_t t) const {
  auto it = std::upper_bound(runs_.begin(), runs_.end(), t,
                             [](int64_t x, const Run& r) { return x < r.start; });
  const Run& r = *(it - 1);
  return r.first + std::min(static_cast<size_t>((t - r.start) / r.length), r.count - 1);
}

size_t BarGrid::SameLengthUntil(size_t bar) const {
  const Run& r = RunOf(bar);
  const size_t last = r.first + r.count - 1;  // may be cut short by the next run
  if (bar == last || End(last) - Start(last) == r.length) return r.first + r.count;
  return last;
}
