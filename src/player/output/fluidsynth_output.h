// The embedded synthesizer: FluidSynth with a General MIDI SoundFont, either
// playing on the system's audio device or rendering offline into samples.
//
// Short messages become FluidSynth calls; long messages go in as System
// Exclusive when they are framed by F0 and F7, otherwise as the channel
// messages they hold. Data bytes are taken as their low seven bits. A long
// message completes before SendLong returns.
//
// Every message waits in a queue until the rendering thread (the audio
// device's callback, or whoever calls Render) reaches the sample it is due
// at, and is applied just before the block of kBlockFrames samples that
// starts there: FluidSynth renders in blocks of that size and takes new
// messages only between them. A message given without a time is due at
// once. With an audio device the output takes timestamps (see
// midi_output.h): when the first stamped message after a start or a stop
// comes, that moment is tied to the sample the device renders next plus one
// device period (the most it renders ahead), and every time given counts on
// from there in samples, so messages land at the sample of their ideal time,
// rounded up to the next block boundary.
//
// What can go wrong: no SoundFont or no audio device (Open gives null and a
// reason); a message that comes after its sample was rendered sounds from the
// next block, late; with the queue full (nobody renders) messages are
// applied at once.
#ifndef QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_
#define QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_

#include <chrono>
#include <cstdint>
#include <functional>
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
  bool TakesTimestamps() const override;
  void SetSendTime(std::chrono::steady_clock::time_point due) override;
  void DropQueued() override;

  // Without an audio device: the next `frames` stereo frames as interleaved
  // 16-bit samples, applying the queued messages that fall due on the way.
  void Render(int frames, int16_t* interleaved);

  // Without an audio device, for an owner that calls Render in real time
  // (a paced thread in tests and benchmarks): take timestamps as a device
  // would that renders `ahead_frames` at a time.
  void TakeTimestamps(int ahead_frames);

  // Told of every message as it is applied, on the rendering thread: its
  // bytes, the sample it was due at (-1: at once) and the sample of the block
  // boundary it sounds from. It must return at once.
  using AppliedObserver =
      std::function<void(const uint8_t* bytes, int length, int64_t due, int64_t applied)>;
  void SetAppliedObserver(AppliedObserver observer);

  static constexpr int kSampleRate = 44100;
  static constexpr int kBlockFrames = 64;  // FluidSynth's rendering block

 private:
  FluidSynthOutput() = default;
  void Enqueue(const uint8_t* bytes, int length, bool long_message);
  int64_t DueSample();
  int64_t ApplyDue(int64_t boundary);
  template <typename RenderPiece>
  void RenderFrames(int frames, RenderPiece render);
  static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

  std::unique_ptr<FluidSynthParts> parts_;
};

#endif  // QUERN_PLAYER_OUTPUT_FLUIDSYNTH_OUTPUT_H_
