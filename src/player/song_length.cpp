#include "player/song_length.h"

#include <chrono>

#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"

SongLength MeasureSongLength(int64_t max_ticks, const std::function<bool()>& budget_spent) {
  SongLength length;
  SetTempo(120);
  while (!SongFinished()) {
    if (length.ticks >= max_ticks) {
      length.end = SongLength::End::kTickLimit;
      break;
    }
    if (budget_spent()) {
      length.end = SongLength::End::kOutOfBudget;
      break;
    }
    SequencerTick();
    ++length.ticks;
    length.ms += TickLengthMs();
  }
  return length;
}

std::function<bool()> TimeBudget(double ms) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double, std::milli>(ms));
  return [deadline] { return std::chrono::steady_clock::now() >= deadline; };
}
