// Message builder: the sequencer's requests turned into MIDI bytes on the
// sink it was given, and the song-time values the sequencer sets (tempo and
// resolution).
//
// In: note, program, attribute and template requests from one sequencer.
// Out: short messages (2 or 3 bytes), long messages (templates) and tempo
//   changes on its MessageSink; none while no sink is set. While a chase
//   state captures (chase.h), short messages and tempo changes go to it
//   instead, and long messages are dropped.
// What can go wrong: nothing is reported. Channels are taken modulo 16 and
//   data values go out as their low byte, unchanged; an attribute without a
//   template sends nothing; a template yields at most 255 bytes.
//
// Templates are a length byte n and n bytes with 253-escapes:
//   253 0 the byte 253; 253 1 reset the checksum; 253 2 insert the checksum
//   ((-sum) mod 128); 253 3 the value's low byte; 253 other: nothing.
//   Any other byte 128..239 gets the channel in its low four bits.
// Every appended byte, checksums included, adds to the running checksum.
//
// Threads: a builder belongs to the thread that runs its sequencer. The tempo
// and the resolution are atomics, so that another thread may read them.
#ifndef QUERN_PLAYER_MESSAGES_H_
#define QUERN_PLAYER_MESSAGES_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "player/chase.h"

// Where a sequencer's messages go: a player (player.h), an output directly
// (midi_output.h), or anything that records them.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A channel message of `length` bytes (2 or 3), sent as given.
  virtual void SendShort(const uint8_t* bytes, int length) = 0;
  // A long message, valid only during the call. False: the sink refused it.
  virtual bool SendLong(const uint8_t* bytes, int length) = 0;
  // The song's tempo was set (quarter notes per minute).
  virtual void SetTempo(int quarters_per_minute) {}
};

class MessageBuilder final : public ChaseTarget {
 public:
  explicit MessageBuilder(MessageSink* sink = nullptr) : sink_(sink) {}

  // nullptr: messages go nowhere. Change it only while nothing runs.
  void SetSink(MessageSink* sink) { sink_ = sink; }
  MessageSink* Sink() const { return sink_; }

  // The attribute definition list: entry k is the template of attribute
  // 131+k. Entries point at the length byte of each template, each checked
  // to lie wholly inside the song image.
  void SetAttributeTemplates(const uint8_t* const* entries, int count);

  // While set, short messages and tempo changes go to the capture and long
  // messages are dropped. nullptr restores normal sending.
  void SetCapture(ChaseState* capture) { capture_ = capture; }
  ChaseState* Capture() const { return capture_; }

  void SendNoteOn(int channel, int note, int velocity);
  void SendNoteOff(int channel, int note);
  // Bank select when bank <= 16383, then the program change when program < 128.
  void SendProgram(int channel, int program, int bank);
  // 0..127 control change; 128 tempo; 129 nothing; 130 pitch bend (value as
  // the most significant byte); 131..255 the attribute's template.
  void SendAttribute(int channel, int number, int value) override;
  // Builds the template (length byte first) into a long message and sends it.
  void SendTemplate(int channel, const uint8_t* tmpl, int value);
  // A short message as given (a chase replaying its state).
  void SendShort(const uint8_t* bytes, int length) override;

  // Song time. The resolution is ticks per whole note (1..65535; 192 before
  // any song); the tempo quarter notes per minute (120 at every start, taken
  // as at least 1). Tick length = 240000 / (tempo * resolution) milliseconds.
  void SetResolution(int ticks_per_whole_note) { resolution_.store(ticks_per_whole_note); }
  int Resolution() const { return resolution_.load(); }
  void SetTempo(int quarters_per_minute) { tempo_.store(quarters_per_minute); }
  int Tempo() const { return tempo_.load(); }
  double TickLengthMs() const;

 private:
  MessageSink* sink_ = nullptr;
  ChaseState* capture_ = nullptr;
  const uint8_t* const* templates_ = nullptr;
  int template_count_ = 0;
  std::atomic<int> resolution_{192};
  std::atomic<int> tempo_{120};
  // One buffer serves every long message: a template yields at most 255 bytes.
  uint8_t long_buffer_[256] = {};
};

// Builds the long message of a template into out (room for 255 bytes);
// returns its length.
int BuildTemplateMessage(const uint8_t* tmpl, int channel, int value, uint8_t* out);

// ---- The default player's message builder (player.h defines these).

void SendNoteOn(int channel, int note, int velocity);
void SendNoteOff(int channel, int note);
void SendProgram(int channel, int program, int bank);
void SendAttribute(int channel, int number, int value);
// The player's ready flag is false until the output reports the message done
// (OutputReady, player.h).
void SendTemplate(int channel, const uint8_t* tmpl, int value);
int SongResolution();
void SetTempo(int quarters_per_minute);
int CurrentTempo();
double TickLengthMs();

#endif  // QUERN_PLAYER_MESSAGES_H_
