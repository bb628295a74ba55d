// Standard MIDI File writer: the messages of an offline run as one track
// (format 0) that any MIDI player plays as the player plays the song.
//
// In: recorded messages (tick from 1, bytes or tempo) and the song's
//   resolution (ticks per whole note, 1 to 65535).
// Out: the file's bytes. Song tick k lies at file time (k - 1) * s. The
//   file's division is ticks per quarter note, at most 32767: resolution / 4
//   when 4 divides it (s = 1); otherwise the resolution itself (s = 4) up to
//   32767, half of it (s = 2) for an even one above. An odd resolution above
//   32767 has no exact division: the division is the nearest whole quarter
//   (s = 1) and every tempo is scaled to it, so that times stay within a
//   microsecond per quarter. The file starts with tempo 120; tempo changes
//   become tempo events (a tempo below 1 is taken as 1). Long messages
//   framed by F0 ... F7 become System Exclusive events, the channel messages
//   of other long messages channel events, and any bytes left over an F7
//   escape. Data bytes are written as their low seven bits. A silence
//   longer than an event's delta holds (2^28 - 1 file ticks) is bridged by
//   empty text events.
#ifndef QUERN_PLAYER_MIDI_FILE_H_
#define QUERN_PLAYER_MIDI_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "player/midi_output.h"

// The header chunk and the track chunk's header: the file's first bytes.
inline constexpr size_t kMidiHeaderBytes = 22;
// A chunk counts its bytes in 32 bits.
inline constexpr uint64_t kMaxMidiTrackBytes = 0xffffffffull;

std::string BuildMidiFile(const std::vector<RecordedMessage>& messages, int resolution);

// The same file made as the messages come, for a song too long to hold in
// memory: Add each message in time order, take the bytes made so far with
// TakePending whenever convenient, then End and take the rest. The first
// bytes taken begin with kMidiHeaderBytes placeholder bytes: Header() gives
// the real ones, track length included, to be written over them at the end.
class MidiFileEncoder {
 public:
  explicit MidiFileEncoder(int resolution);

  void AddTempo(int64_t tick, int quarters_per_minute);
  void AddShort(int64_t tick, const uint8_t* bytes, int length);
  void AddLong(int64_t tick, const uint8_t* bytes, int length);
  void Add(const RecordedMessage& message);
  // The end-of-track event.
  void End();

  std::string TakePending();
  size_t PendingBytes() const { return pending_.size(); }
  // Bytes of the track chunk's body so far, taken or not.
  uint64_t TrackBytes() const;
  std::string Header() const;

 private:
  uint32_t DeltaTo(int64_t tick);

  int division_ = 0, scale_ = 1, resolution_ = 192;
  uint64_t last_ = 0;     // file time of the last event
  uint64_t written_ = 0;  // bytes taken, header included
  std::string pending_;
};

#endif  // QUERN_PLAYER_MIDI_FILE_H_
