#include "player/song_length.h"

#include <chrono>

#include "player/sequencer.h"

SongLength MeasureSongLength(Sequencer& song, int64_t max_ticks,
                             const std::function<bool()>& budget_spent, int64_t count_from) {
  SongLength length;
  MessageBuilder& messages = song.Messages();
  MessageSink* const sink = song.Sink();
  song.SetSink(nullptr);
  messages.SetTempo(120);
  while (!song.Finished()) {
    if (length.ticks >= max_ticks) {
      length.end = SongLength::End::kTickLimit;
      break;
    }
    if (budget_spent()) {
      length.end = SongLength::End::kOutOfBudget;
      break;
    }
    song.Tick();
    if (song.TickCount() < count_from) continue;
    ++length.ticks;
    length.ms += messages.TickLengthMs();
  }
  song.SetSink(sink);
  return length;
}

std::function<bool()> TimeBudget(double ms) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double, std::milli>(ms));
  return [deadline] { return std::chrono::steady_clock::now() >= deadline; };
}
