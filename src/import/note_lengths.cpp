#include "import/note_lengths.h"

#include <algorithm>

bool IsNoteValue(int64_t n) {
  for (int64_t v : {1, 2, 4, 8, 16, 32, 64, 128, 3, 6, 12, 24, 48, 96}) {
    if (n == v) return true;
  }
  return false;
}

Lengths::Lengths(int resolution) : r_(resolution) {
  for (int64_t d = r_; d >= 1; --d) {
    if (r_ % d == 0) divisors_.push_back(d);
  }
}

std::string Lengths::Text(int64_t ticks, int64_t default_length, bool* ticky) const {
  TextOut out;
  Append(out, ticks, default_length, ticky);
  return std::string(out.view());
}

void Lengths::Append(TextOut& out, int64_t ticks, int64_t default_length, bool* ticky) const {
  if (ticks == default_length) return;
  if (r_ % ticks == 0) {
    if (!IsNoteValue(r_ / ticks)) *ticky = true;
    out.Number(r_ / ticks);
    return;
  }
  const int64_t base = ticks * 2 / 3;
  if (ticks % 3 == 0 && base % 2 == 0 && r_ % base == 0 && IsNoteValue(r_ / base)) {
    out.Number(r_ / base);
    out.Add('.');
    return;
  }
  int64_t left = ticks;
  while (left > 0) {
    const int64_t d = *std::lower_bound(divisors_.begin(), divisors_.end(), left,
                                        [](int64_t a, int64_t b) { return a > b; });
    if (!IsNoteValue(r_ / d)) *ticky = true;
    if (left != ticks) out.Add('^');
    out.Number(r_ / d);
    left -= d;
  }
}
