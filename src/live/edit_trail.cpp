#include "live/edit_trail.h"

#include <algorithm>

void EditTrail::Record(int position, int removed, int added) {
  position = std::max(position, 0);
  removed = std::max(removed, 0);
  added = std::max(added, 0);
  if (removed == 0 && added == 0) return;
  if (!edits_.empty()) {
    Edit& last = edits_.back();
    // An edit wholly inside the text the last one put in (typing on, or
    // taking back what was just typed) changes only that text.
    if (position >= last.position && position + removed <= last.position + last.added) {
      last.added += added - removed;
      if (last.removed == 0 && last.added == 0) edits_.pop_back();
      return;
    }
    // Deleting backwards from a deletion: one longer deletion.
    if (last.added == 0 && added == 0 && position + removed == last.position) {
      last.position = position;
      last.removed += removed;
      return;
    }
  }
  edits_.push_back(Edit{position, removed, added});
}

// Through one edit: a stretch begins at its first character that is left and
// ends after its last one; text put in at either end stays outside it.
std::optional<TextRange> EditTrail::Forward(TextRange range) const {
  if (range.stop <= range.start) return std::nullopt;
  for (const Edit& e : edits_) {
    const int cut_end = e.position + e.removed;
    if (range.start >= e.position && range.stop <= cut_end) return std::nullopt;
    const int shift = e.added - e.removed;
    if (range.start >= cut_end) {
      range.start += shift;
    } else if (range.start >= e.position) {
      range.start = e.position + e.added;  // its first characters were cut
    }
    if (range.stop - 1 >= cut_end) {
      range.stop += shift;
    } else if (range.stop > e.position) {
      range.stop = e.position;  // its last characters were cut
    }
  }
  return range;
}

std::optional<int> EditTrail::Back(int now) const {
  for (auto e = edits_.rbegin(); e != edits_.rend(); ++e) {
    if (now < e->position) continue;
    if (now < e->position + e->added) return std::nullopt;
    now += e->removed - e->added;
  }
  return now;
}
