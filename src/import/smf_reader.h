// Standard MIDI File reader: the bytes of a format 0 or 1 file become one
// list of timed events in file order, with the header's timing.
//
// In: the whole file as bytes (any bytes; the caller bounds the size).
// Out: `SmfSong` with the format, ticks per quarter note, the events of every
//   track in time order (a stable merge of the tracks: at one tick, earlier
//   tracks first, and within a track the file's order) and counts of what was
//   skipped. Running status is resolved, so every channel event carries its
//   status byte. Note-on with velocity 0 stays a note-on; the note pairing
//   belongs to the caller.
// Errors: a missing header, a truncated track, a length that runs past the
//   end, running status with no status byte before it, an unknown status
//   byte and format 2 give false with a message that names the byte offset
//   where the fault lies; so does a file of more than kMostSmfEvents events,
//   more than a score can hold (which keeps the memory a file takes within
//   bounds). Nothing is read outside the given bytes.
// An SMPTE division (frames per second and ticks per frame) becomes ticks
//   per quarter at a fixed tempo so that every event keeps its time in
//   seconds: `smpte` is set and `smpte_tempo` holds that tempo; tempo events
//   of such a file have no meaning for its timing and are dropped.
// Thread: any; no state outside the call.
#ifndef QUERN_IMPORT_SMF_READER_H_
#define QUERN_IMPORT_SMF_READER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class SmfKind : uint8_t {
  kChannel,
  kSysEx,
  kEscape,
  kTempo,
  kTimeSignature,
  kKeySignature,
  kTrackName,
  kText,
  kMarker
};

struct SmfEvent {
  uint64_t tick = 0;
  union {
    // Tempo: microseconds per quarter; time and key signatures: the first
    // data byte << 8 | the second.
    uint32_t value = 0;
    // SysEx: F0 and the bytes after it; escapes, texts: the bytes; in
    // SmfSong::payload (see SmfSong::Bytes), from here for `length` bytes.
    uint32_t offset;
  };
  uint32_t length = 0;
  uint16_t track = 0;
  SmfKind kind = SmfKind::kChannel;
  uint8_t status = 0;  // channel events: the status byte
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

inline constexpr size_t kMostSmfEvents = size_t{1} << 24;

struct SmfSong {
  int format = 0;
  int tracks = 0;
  int division = 0;  // ticks per quarter note
  bool smpte = false;
  int smpte_tempo = 0;         // quarters per minute that an SMPTE division stands for
  bool smpte_inexact = false;  // 29.97 frames per second, taken as 30
  std::vector<SmfEvent> events;
  int skipped_meta = 0;    // meta events other than those of SmfKind
  int dropped_tempos = 0;  // tempo events in a file with an SMPTE division
  int bytes_outside = 0;   // trailing bytes or unknown chunks passed over
  std::string payload;     // the bytes of SysEx, escape and text events
  std::string_view Bytes(const SmfEvent& e) const {
    return std::string_view(payload).substr(e.offset, e.length);
  }
};

bool ReadSmf(std::string_view file, SmfSong* song, std::string* error);

#endif  // QUERN_IMPORT_SMF_READER_H_
