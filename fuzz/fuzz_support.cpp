#include "fuzz_support.h"

#include <string>

#include "player/midi_output.h"
#include "player/sequencer.h"

namespace {

constexpr size_t kKeptText = 1 << 16;

// Formats every message as a trace line and keeps only the latest ones.
class BoundedRecorder : public MessageSink {
 public:
  void SetClock(const Sequencer* clock) { clock_ = clock; }

  void SendShort(const uint8_t* bytes, int length) override { Record(bytes, length, -1); }
  bool SendLong(const uint8_t* bytes, int length) override {
    Record(bytes, length, -1);
    return true;
  }
  void SetTempo(int quarters_per_minute) override { Record(nullptr, 0, quarters_per_minute); }

 private:
  void Record(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = clock_->TickCount();
    if (bytes != nullptr) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    if (text_.size() > kKeptText) text_.clear();
    text_ += FormatMessageLine(m);
    text_ += '\n';
  }

  const Sequencer* clock_ = nullptr;
  std::string text_;
};

struct FuzzPlayer {
  FuzzPlayer() : song(&recorder) { recorder.SetClock(&song); }
  BoundedRecorder recorder;
  Sequencer song;
};

FuzzPlayer& Player() {
  static FuzzPlayer player;
  return player;
}

}  // namespace

Sequencer& FuzzSequencer() {
  return Player().song;
}

void RunLoadedSong(int ticks) {
  Sequencer& song = FuzzSequencer();
  song.Messages().SetTempo(120);
  for (int tick = 0; tick < ticks && !song.Finished(); ++tick) {
    song.Tick();
    song.Messages().TickLengthMs();
  }
  song.SilenceNotes();
}
