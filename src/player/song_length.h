// Song length: a loaded song run once offline, silently, to tell how long
// it plays before it is played.
//
// In: a sequencer with a song loaded, a tick limit and a work budget: a test
//   the run makes between ticks, true once the budget is spent (TimeBudget
//   gives one on the steady clock). Playback of that sequencer must be
//   stopped.
// Out: the song's length in milliseconds and ticks as far as the run went
//   (with count_from, of the ticks from that tick on: the ticks before it run,
//   and cost budget, but neither count nor meet the limit), and how the run
//   ended: the song finished, it was still going at the
//   tick limit (taken as endless), or the budget ran out first (unknown).
// The run sends nothing: the sequencer's sink is taken away for it and given
// back after. It leaves the song at its end, so load it again to play it.
// A tick is never cut short: the budget is checked between ticks.
// Threads: the caller's; nothing else may run the sequencer meanwhile.
#ifndef QUERN_PLAYER_SONG_LENGTH_H_
#define QUERN_PLAYER_SONG_LENGTH_H_

#include <cstdint>
#include <functional>

class Sequencer;

struct SongLength {
  enum class End { kFinished, kTickLimit, kOutOfBudget };
  End end = End::kFinished;
  double ms = 0;
  int64_t ticks = 0;
};

SongLength MeasureSongLength(Sequencer& song, int64_t max_ticks,
                             const std::function<bool()>& budget_spent, int64_t count_from = 1);

// A budget of `ms` milliseconds of the steady clock, counted from now.
std::function<bool()> TimeBudget(double ms);

#endif  // QUERN_PLAYER_SONG_LENGTH_H_
