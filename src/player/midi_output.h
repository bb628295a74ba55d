// MIDI output interface: where the player's messages go.
//
// An output is a message sink (messages.h): a player hands its sequencer's
// messages on to it, and an offline run may give an output to a sequencer
// directly.
//
// In: short channel messages (status and one or two data bytes) and long
//   messages (System Exclusive or any byte string built from a template),
//   plus tempo changes for outputs that keep song time (files, traces).
// Out: whatever the backend does with them; a long message reports its
//   completion through the callback set with SetLongDone, from any thread.
// What can go wrong: a backend may refuse a long message (SendLong returns
//   false); nothing else is reported.
// Threads: the sequencer's thread sends; the completion callback may come
//   from any thread.
// Backends here: a recording output that captures (tick, bytes) for tests and
// traces, and a null output. The embedded synthesizer and the ALSA port live
// in player/output.
#ifndef QUERN_PLAYER_MIDI_OUTPUT_H_
#define QUERN_PLAYER_MIDI_OUTPUT_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "player/messages.h"

class Sequencer;

class MidiOutput : public MessageSink {
 public:
  virtual ~MidiOutput() = default;

  // A channel message of `length` bytes (2 or 3), sent as given.
  virtual void SendShort(const uint8_t* bytes, int length) = 0;
  // A long message. The output calls LongDone() once it is finished with the
  // bytes, possibly before returning. Returns false when the output refuses
  // the message; LongDone() is then never called.
  virtual bool SendLong(const uint8_t* bytes, int length) = 0;
  // The song's tempo was set (quarter notes per minute). Devices ignore it.
  virtual void SetTempo(int quarters_per_minute) {}

  // Set once when the player takes the output; called by LongDone().
  void SetLongDone(std::function<void()> done) { long_done_ = std::move(done); }

 protected:
  void LongDone() {
    if (long_done_) long_done_();
  }

 private:
  std::function<void()> long_done_;
};

// Sends nothing; long messages complete at once.
class NullOutput : public MidiOutput {
 public:
  void SendShort(const uint8_t*, int) override {}
  bool SendLong(const uint8_t*, int) override {
    LongDone();
    return true;
  }
};

// One captured message: the sequencer tick it was sent in and its bytes, or
// a tempo change (tempo >= 0, bytes empty).
struct RecordedMessage {
  int64_t tick = 0;
  std::vector<uint8_t> bytes;
  int tempo = -1;
  bool long_message = false;
};

// "TICK HEX..." with two-digit lowercase hex bytes, or "TICK tempo N"; no
// line end.
std::string FormatMessageLine(const RecordedMessage& message);

// Captures every message with the tick it was sent in: the clock's tick
// count, or without a clock the default player's (SequencerTickCount()).
// Thread-safe: the timer thread records while another thread may read. Long
// messages complete at once.
class RecordingOutput : public MidiOutput {
 public:
  explicit RecordingOutput(const Sequencer* clock = nullptr) : clock_(clock) {}

  void SendShort(const uint8_t* bytes, int length) override;
  bool SendLong(const uint8_t* bytes, int length) override;
  void SetTempo(int quarters_per_minute) override;

  std::vector<RecordedMessage> Messages() const;
  // Every message as FormatMessageLine gives it, each line ended by '\n'.
  std::string Text() const;
  void Clear();

 private:
  void Record(RecordedMessage message);

  const Sequencer* clock_;
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
};

#endif  // QUERN_PLAYER_MIDI_OUTPUT_H_
