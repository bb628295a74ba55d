#include "player/midi_output.h"

#include <cstdio>

#include "player/sequencer.h"

std::string FormatMessageLine(const RecordedMessage& message) {
  std::string line = std::to_string(message.tick);
  if (message.tempo >= 0) return line + " tempo " + std::to_string(message.tempo);
  char hex[4];
  for (uint8_t b : message.bytes) {
    std::snprintf(hex, sizeof hex, " %02x", b);
    line += hex;
  }
  return line;
}

void RecordingOutput::SendShort(const uint8_t* bytes, int length) {
  RecordedMessage m;
  m.bytes.assign(bytes, bytes + length);
  Record(std::move(m));
}

bool RecordingOutput::SendLong(const uint8_t* bytes, int length) {
  RecordedMessage m;
  m.bytes.assign(bytes, bytes + length);
  m.long_message = true;
  Record(std::move(m));
  LongDone();
  return true;
}

void RecordingOutput::SetTempo(int quarters_per_minute) {
  RecordedMessage m;
  m.tempo = quarters_per_minute;
  Record(std::move(m));
}

void RecordingOutput::Record(RecordedMessage message) {
  message.tick = clock_ ? clock_->TickCount() : SequencerTickCount();
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(std::move(message));
}

std::vector<RecordedMessage> RecordingOutput::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::string RecordingOutput::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (const RecordedMessage& m : messages_) text += FormatMessageLine(m) + "\n";
  return text;
}

void RecordingOutput::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}
