// The embedded synthesizer: FluidSynth with a General MIDI SoundFont, either
// playing on the system's audio device or rendering offline into samples.
//
// Short messages become FluidSynth calls; long messages go in as System
// Exclusive when they are framed by F0 and F7, otherwise as the channel
// messages they hold. Both are handled at once, so a long message completes
// before SendLong returns. Data bytes are taken as their low seven bits.
#ifndef QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_
#define QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_

#include <memory>
#include <string>

#include "player/midi_output.h"

struct FluidSynthParts;

class FluidSynthOutput : public MidiOutput {
 public:
  // With audio, on the first audio device that opens; without, for Render.
  // Null with a one-line reason on failure.
  static std::unique_ptr<FluidSynthOutput> Open(const std::string& soundfont, bool audio,
                                                std::string* error);
  ~FluidSynthOutput() override;

  void SendShort(const uint8_t* bytes, int length) override;
  bool SendLong(const uint8_t* bytes, int length) override;

  // Offline only: the next `frames` stereo frames as interleaved 16-bit
  // samples.
  void Render(int frames, int16_t* interleaved);
  static constexpr int kSampleRate = 44100;

 private:
  FluidSynthOutput() = default;
  std::unique_ptr<FluidSynthParts> parts_;
};

#endif  // QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_
