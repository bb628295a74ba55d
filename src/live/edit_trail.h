// Edit trail: where a stretch of a text lies after the edits made since.
//
// In: the edits made to a text since it was taken as the base, in order,
//   each as "at character `position`, `removed` characters were replaced by
//   `added` new ones" (what an editor document reports for every change).
// Out: for a stretch [start, stop) of the base text, the stretch that holds
//   its characters now, or nothing when every one of them was removed; for a
//   position in the text as it is now, the position in the base text it
//   comes from.
// A stretch keeps its surviving characters and the text typed between
// them; text typed at either end is not part of it. Positions count UTF-16
// units, as the editor does; the trail never looks at the text itself.
// Typing and deleting in one place make one entry, so the trail stays short.
// One thread; no errors (positions beyond the text are taken as they come).
#ifndef QUERN_LIVE_EDIT_TRAIL_H_
#define QUERN_LIVE_EDIT_TRAIL_H_

#include <cstddef>
#include <optional>
#include <vector>

struct TextRange {
  int start = 0;
  int stop = 0;  // one past the last character
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

class EditTrail {
 public:
  // The text as it is now becomes the base.
  void Clear() { edits_.clear(); }
  void Record(int position, int removed, int added);

  // Where the base text's [start, stop) lies now; nullopt when all of it was
  // removed (or the stretch is empty).
  std::optional<TextRange> Forward(TextRange base) const;
  // The base position that `now` comes from; nullopt for a character that
  // was added since (it has none).
  std::optional<int> Back(int now) const;

  size_t Size() const { return edits_.size(); }

 private:
  struct Edit {
    int position, removed, added;
  };
  std::vector<Edit> edits_;
};

#endif  // QUERN_LIVE_EDIT_TRAIL_H_
