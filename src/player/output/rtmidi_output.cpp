#include "player/output/rtmidi_output.h"

#include <rtmidi/RtMidi.h>

#include <cstdlib>
#include <iostream>

#include "player/output/quiet_alsa.h"

namespace {

// RtMidi prints warnings unless a callback takes them; errors still throw.
void IgnoreWarning(RtMidiError::Type, const std::string&, void*) {}

std::unique_ptr<RtMidiOut> NewClient(std::string* error) {
  QuietAlsa();
  // RtMidi prints a failure of its constructor before it throws.
  std::streambuf* saved = std::cerr.rdbuf(nullptr);
  std::unique_ptr<RtMidiOut> out;
  try {
    out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Quern MIDI");
    out->setErrorCallback(IgnoreWarning, nullptr);
  } catch (...) {
    if (error) *error = "the ALSA sequencer is not available";
  }
  std::cerr.rdbuf(saved);
  std::cerr.clear();
  return out;
}

bool IsNumber(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> RtMidiOutput::ListPorts() {
  std::vector<std::string> ports;
  std::unique_ptr<RtMidiOut> out = NewClient(nullptr);
  if (!out) return ports;
  try {
    const unsigned count = out->getPortCount();
    for (unsigned i = 0; i < count; ++i) ports.push_back(out->getPortName(i));
  } catch (...) {
  }
  return ports;
}

std::unique_ptr<RtMidiOutput> RtMidiOutput::Open(const std::string& port, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  std::unique_ptr<RtMidiOut> out = NewClient(error);
  if (!out) return nullptr;
  try {
    const unsigned count = out->getPortCount();
    unsigned chosen = count;
    if (IsNumber(port) && port.size() < 6) {
      chosen = static_cast<unsigned>(std::atoi(port.c_str()));
    } else {
      for (unsigned i = 0; i < count && chosen == count; ++i) {
        if (!port.empty() && out->getPortName(i).find(port) != std::string::npos) chosen = i;
      }
    }
    if (chosen >= count) {
      return fail("no MIDI port '" + port + "' (" + std::to_string(count) +
                  " ports; `quern ports` lists them)");
    }
    out->openPort(chosen, "Quern MIDI out");
    if (!out->isPortOpen()) return fail("the MIDI port '" + port + "' cannot be opened");
  } catch (const RtMidiError& e) {
    return fail("the MIDI port '" + port + "' cannot be opened: " + e.getMessage());
  }
  std::unique_ptr<RtMidiOutput> output(new RtMidiOutput);
  output->out_ = std::move(out);
  output->message_.reserve(256);
  return output;
}

RtMidiOutput::~RtMidiOutput() = default;

void RtMidiOutput::SendShort(const uint8_t* bytes, int length) {
  message_.assign(bytes, bytes + length);
  for (size_t i = 1; i < message_.size(); ++i) message_[i] &= 127;
  try {
    out_->sendMessage(&message_);
  } catch (...) {
  }
}

bool RtMidiOutput::SendLong(const uint8_t* bytes, int length) {
  message_.assign(bytes, bytes + length);
  try {
    out_->sendMessage(&message_);
  } catch (...) {
    return false;
  }
  LongDone();
  return true;
}
