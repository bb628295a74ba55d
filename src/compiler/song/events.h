// Event records and loop records: the record types that the song stage owns
// and consumes, and their tables.
//
// The score commands append one 12-byte record per note or control action,
// stamped with the track's current time. The loop check, the phase alignment
// and the track stream compiler read them back in table order; records are
// never sorted. After parsing a record may only turn void (kind 145, param
// and value kept) or have its time shifted.
//
// The score commands also fill one loop record per loop; the loop check and
// the track stream compiler read them and write their stream offsets into
// them. Both tables are parts of the compilation (compilation.h), which hands
// them to the commands that fill them and to the song stage that reads them.
#ifndef QUERN_COMPILER_SONG_EVENTS_H_
#define QUERN_COMPILER_SONG_EVENTS_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "compiler/driver/work_areas.h"

struct EventRecord {
  int32_t time;
  uint8_t kind;    // 0..127 a note with this number, else an EventKind
  uint8_t param;   // per kind; for a note its accent velocity, 128+ = none
  uint16_t value;  // per kind; for a note its sounding length in ticks
  int16_t link1;   // -1 when appended, otherwise unused
  int16_t link2;
};
static_assert(sizeof(EventRecord) == 12, "an event record is 12 bytes");

enum EventKind : uint8_t {
  kEventAttribute = 128,     // param attribute number, value or 10000+gradual index
  kEventLoopStart = 129,     // value loop number
  kEventLoopBreak = 130,     // value loop number
  kEventLoopEnd = 131,       // value loop number
  kEventLoopExit = 132,      // time after all passes
  kEventAbsoluteGate = 135,  // value gate length in ticks
  kEventRelativeGate = 136,  // value signed 16-bit offset
  kEventNotesRelease = 137,  // "tone"
  kEventNotesHeld = 138,     // "hit"
  kEventChannel = 139,       // param channel 0..15
  kEventProgram = 140,       // param program or 255, value bank or 65535
  kEventPhaseMark = 141,     // value phase name index
  kEventEndOfTrack = 142,
  kEventStartOfTrack = 143,
  kEventDirectOut = 144,  // value index in the direct-out list
  kEventVoid = 145,
};

// The records of every track in one arena, and the working list.
//
// The arena holds the tracks' records one after another; slot i is the range
// of track i, so saving, loading and storing a slot copies nothing. The
// working list is a range of the arena too:
// - after ClearWorking it is empty and lies at the arena's end, where Append
//   writes (the arena's documented size starts at 32768 records and grows by
//   8192; ReserveFor sizes the memory beneath it from the score, so a large
//   score is not moved while it grows);
// - SaveSlot makes it the next slot, and it stays that slot's records;
// - LoadSlot makes it slot i's records themselves: changes through At()
//   reach the slot at once, and StoreSlot(i) keeps them;
// - an Append to a list that is a slot, or a SaveSlot or StoreSlot into
//   another slot, copies the list to the arena's end first, so one slot's
//   records never change another's.
// Growth moves the arena: reach records by index, not by keeping pointers.
class EventTable {
 public:
  static constexpr int kSlotCount = 128;

  EventTable();

  int Count() const { return count_; }
  EventRecord& At(int i) { return records_[begin_ + i]; }
  const EventRecord& At(int i) const { return records_[begin_ + i]; }
  EventRecord* Records() { return records_.data() + begin_; }
  size_t Capacity() const { return records_.size(); }
  // Makes room beneath the arena for about one record per score byte (and
  // at most 16M records), without touching it.
  void ReserveFor(size_t score_bytes);

  void Append(const EventRecord& record) {
    if (owner_ >= 0) Detach();
    records_[begin_ + count_++] = record;
    if (begin_ + count_ >= records_.size()) Grow();
  }
  // Empties the working list, which moves to the arena's end.
  void ClearWorking();
  // Saves the working list as the next slot; -1 when 128 slots are in use.
  int SaveSlot();
  // The working list becomes slot's records; empty for a slot not in use.
  void LoadSlot(int slot);
  // Stores the working list as slot's records; -1 for a slot not in use.
  int StoreSlot(int slot);
  int LastUsedSlot() const { return last_used_; }
  // Slot's records (valid until the arena grows or is reset).
  std::span<const EventRecord> Slot(int slot) const {
    return {records_.data() + slots_[slot].begin, slots_[slot].count};
  }
  // Frees every slot and empties the working list; the arena keeps its
  // memory for the next compilation.
  void Reset();
  // Reset, and a grown arena gives its memory back.
  void Release();

 private:
  struct Range {
    size_t begin = 0;
    size_t count = 0;
  };
  void Grow();
  // Copies the working list to the arena's end; it then belongs to no slot.
  void Detach();
  // Makes the working list (at the arena's end) slot's records.
  void Claim(int slot);

  WorkVector<EventRecord> records_;  // size() is the documented capacity
  size_t begin_ = 0;                 // the working list: begin_ .. begin_ + count_
  int count_ = 0;
  int owner_ = -1;      // the slot the working list is, or -1
  size_t used_end_ = 0; // end of the records that slots own
  Range slots_[kSlotCount];
  int last_used_ = -1;
};

// Where a loop begins, breaks and ends in the track event table, and its
// pass count; the track stream compiler adds the stream offsets and the
// registers saved at its start.
struct LoopRecord {
  int32_t start_column = 0, start_line = 0;
  int32_t break_column = -1, break_line = -1;
  int32_t start_event = 0;   // index in the track event table
  int32_t break_event = -1;  // -1 when there is none
  int32_t end_event = -1;    // -1 while open
  int32_t count = 1;         // -1 endless, else 0..255
  int32_t saved_default_length = 0;
  // Written by the track stream compiler.
  int32_t body_offset = -1, break_offset = -1;
  int32_t saved_length_register = -1, saved_octave_base = -1;
};
static constexpr int kLoopRecordCount = 1024;

// Loop records numbered 1..1023; the numbers count on across the tracks of a
// compilation. The records are made as the numbers are first used, so a
// score with few loops never touches room for 1023.
class LoopRecordTable {
 public:
  LoopRecordTable() : records_(1) {}  // number 0 is no record
  // Record of loop number n, or nullptr when n is not a filled record.
  LoopRecord* At(int number) {
    return number >= 1 && number <= last_number_ ? &records_[number] : nullptr;
  }
  const LoopRecord* At(int number) const {
    return number >= 1 && number <= last_number_ ? &records_[number] : nullptr;
  }
  int LastNumber() const { return last_number_; }
  // True when no number is left for another loop.
  bool Full() const { return last_number_ + 1 >= kLoopRecordCount; }
  // Starts a fresh record under the next number and returns the number; 0
  // (no record) when the table is full.
  int Add() {
    if (Full()) return 0;
    if (++last_number_ == static_cast<int>(records_.size())) {
      records_.emplace_back();
    } else {
      records_[last_number_] = LoopRecord{};
    }
    return last_number_;
  }
  // Forgets every record: numbering starts at 1 again.
  void Clear() { last_number_ = 0; }

 private:
  std::vector<LoopRecord> records_;
  int last_number_ = 0;  // records 1..last_number_ are filled
};

#endif  // QUERN_COMPILER_SONG_EVENTS_H_
