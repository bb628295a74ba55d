// The bars of a song after its time signatures, counted without listing
// them (a song may be hundreds of millions of ticks long): runs of bars of
// one length, a run ending where the next signature starts a new bar.
// Thread: any.
#ifndef QUERN_IMPORT_BAR_GRID_H_
#define QUERN_IMPORT_BAR_GRID_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "import/import_plan.h"

class BarGrid {
 public:
  // The bars that start before `end`; the last one ends at `end`.
  BarGrid(const std::vector<BarSignature>& signatures, int64_t end);

  size_t Count() const { return count_; }
  int64_t Start(size_t bar) const;
  int64_t End(size_t bar) const;
  // The bar that holds tick t (0 <= t < end).
  size_t BarAt(int64_t t) const;
  // The first bar after `bar` of another length: the bars from `bar` up to
  // it have one length.
  size_t SameLengthUntil(size_t bar) const;

 private:
  struct Run {
    int64_t start;
    int64_t length;
    int64_t stop;  // where its last bar ends
    size_t first;  // the number of its first bar
    size_t count;
  };
  const Run& RunOf(size_t bar) const;

  std::vector<Run> runs_;
  size_t count_ = 0;
};

#endif  // QUERN_IMPORT_BAR_GRID_H_
