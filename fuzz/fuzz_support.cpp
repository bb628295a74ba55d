#include "fuzz_support.h"

#include <memory>
#include <string>

#include "player/messages.h"
#include "player/midi_output.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

constexpr size_t kKeptText = 1 << 16;

// Formats every message as a trace line and keeps only the latest ones.
class BoundedRecorder : public MidiOutput {
 public:
  void SendShort(const uint8_t* bytes, int length) override { Record(bytes, length, -1); }
  bool SendLong(const uint8_t* bytes, int length) override {
    Record(bytes, length, -1);
    LongDone();
    return true;
  }
  void SetTempo(int quarters_per_minute) override { Record(nullptr, 0, quarters_per_minute); }

 private:
  void Record(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = SequencerTickCount();
    if (bytes != nullptr) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    if (text_.size() > kKeptText) text_.clear();
    text_ += FormatMessageLine(m);
    text_ += '\n';
  }

  std::string text_;
};

}  // namespace

void RunLoadedSong(int ticks) {
  OpenMidiDevices(std::make_unique<BoundedRecorder>());
  SetTempo(120);
  for (int tick = 0; tick < ticks && !SongFinished(); ++tick) {
    SequencerTick();
    TickLengthMs();
  }
  SilenceNotes();
  CloseMidiDevices();
}
