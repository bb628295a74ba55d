// ALSA sequencer ports through RtMidi. Messages go out as given, with data
// bytes taken as their low seven bits; RtMidi sends them at once, so a long
// message completes before SendLong returns. RtMidi offers no timestamps
// (it sends to the port directly, not through a timed queue), so this output
// takes none: each message goes out as the tick that makes it runs.
#ifndef QUERN_PLAYER_OUTPUT_RTMIDI_OUTPUT_H_
#define QUERN_PLAYER_OUTPUT_RTMIDI_OUTPUT_H_

#include <memory>
#include <string>
#include <vector>

#include "player/midi_output.h"

class RtMidiOut;

class RtMidiOutput : public MidiOutput {
 public:
  // port: a number of ListPorts() or a part of a port's name. Null with a
  // one-line reason when there is no such port or it cannot be opened.
  static std::unique_ptr<RtMidiOutput> Open(const std::string& port, std::string* error);
  // The output ports, or empty when the ALSA sequencer is not there.
  static std::vector<std::string> ListPorts();
  ~RtMidiOutput() override;

  void SendShort(const uint8_t* bytes, int length) override;
  bool SendLong(const uint8_t* bytes, int length) override;

 private:
  RtMidiOutput() = default;
  std::unique_ptr<RtMidiOut> out_;
  std::vector<unsigned char> message_;  // reused for every message
};

#endif  // QUERN_PLAYER_OUTPUT_RTMIDI_OUTPUT_H_
