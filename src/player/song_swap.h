// Song swap: a newly compiled song takes over from the playing one at the
// tick the playing one has reached, without a gap.
//
// In: the playing song's image and the new song's image (both must stay
//   alive until the swap is taken or given up), the new song's mute, solo and
//   loop range, and the playing sequencer.
// Out: a SwapOffer (sequencer.h) that the playing sequencer takes over at the
//   start of tick `at`: the new song stands silently at at - 1, with the
//   notes that sound there; the offer holds the new song's tempo and the
//   channel messages that differ between the two songs at `at` (both songs
//   run silently on sequencers of their own to learn their state).
// What can go wrong: an image that is not a song (Prepared() is false, with
//   the reason); a playing song that has moved past the tick while the offer
//   was made ready (SwapInto prepares again a little further on, running the
//   few ticks silently, so that no tick plays twice or is skipped); a
//   sequencer that does not run (SwapInto gives up when `wait` says so).
// Threads: the control thread, or any thread but the one that runs the
//   playing sequencer. Nothing here waits on that thread or makes it wait.
#ifndef QUERN_PLAYER_SONG_SWAP_H_
#define QUERN_PLAYER_SONG_SWAP_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "player/sequencer.h"

class SongSwap {
 public:
  SongSwap(const uint8_t* old_image, size_t old_size, const uint8_t* new_image, size_t new_size);
  SongSwap(const SongSwap&) = delete;
  SongSwap& operator=(const SongSwap&) = delete;

  bool Prepared() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  // The new song's tracks to mute or solo (by its own track index).
  void SetTrackMuted(int track, bool muted);
  void SetTrackSoloed(int track, bool soloed);
  // A selection playing in a loop: the new song loops [start, stop). Set
  // before the first PrepareAt.
  void SetLoop(int64_t start, int64_t stop);
  // A range that ends at tick `stop` without a loop: the new song ends
  // there too, as the playing one would have. Set before the first
  // PrepareAt, instead of SetLoop.
  void SetStopTick(int64_t stop);

  // Makes the offer ready for tick `at`: both songs run on silently to
  // at - 1 from where an earlier call left them (`at` never goes back).
  SwapOffer& PrepareAt(int64_t at);
  SwapOffer& Offer() { return offer_; }
  Sequencer& NewSong() { return next_; }

 private:
  Sequencer old_;
  Sequencer next_;
  SwapOffer offer_;
  std::string error_;
  bool loop_marked_ = false;
};

// Offers the swap to `playing` a few ticks ahead of where it stands, and
// waits for the outcome, calling `wait` between looks (it sleeps a little, or
// steps an offline song); when `wait` returns false the offer is withdrawn.
// A tick passed before the offer was taken makes it prepare again further
// on. Returns the tick at which the new song took over, or 0.
int64_t SwapInto(Sequencer& playing, SongSwap& swap, const std::function<bool()>& wait,
                 int64_t lead = 2);

// For offline drivers (trace, tests): runs `song` from where it stands up to
// tick at - 1, swaps the prepared song in at tick `at`, then runs on until
// it finishes or reaches max_ticks, and silences what still sounds. False,
// with nothing swapped, when the song already stands at or past `at`, or
// stops before it.
bool RunSwapOffline(Sequencer& song, SongSwap& swap, int64_t at, int64_t max_ticks);

#endif  // QUERN_PLAYER_SONG_SWAP_H_
