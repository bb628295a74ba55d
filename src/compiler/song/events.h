// Event records and the track event table.
//
// The score commands append one 12-byte record per note or control action,
// stamped with the track's current time. The loop check, the phase alignment
// and the track stream compiler read them back in table order; records are
// never sorted. After parsing a record may only turn void (kind 145, param
// and value kept) or have its time shifted.
#ifndef QUERN_COMPILER_SONG_EVENTS_H_
#define QUERN_COMPILER_SONG_EVENTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

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
  kEventDirectOut = 144,     // value index in the direct-out list
  kEventVoid = 145,
};

// The working list (32768 records, grows by 8192) and 128 track slots.
class EventTable {
 public:
  static constexpr int kSlotCount = 128;

  EventTable();

  int Count() const { return count_; }
  EventRecord& At(int i) { return records_[i]; }
  const EventRecord& At(int i) const { return records_[i]; }
  EventRecord* Records() { return records_.data(); }
  size_t Capacity() const { return records_.size(); }

  void Append(const EventRecord& record);
  void ClearWorking() { count_ = 0; }
  // Saves the working list as the next slot; -1 when 128 slots are in use.
  int SaveSlot();
  void LoadSlot(int slot);
  // Stores the working list back into slot; -1 for a slot not in use.
  int StoreSlot(int slot);
  int LastUsedSlot() const { return last_used_; }
  const std::vector<EventRecord>& Slot(int slot) const { return slots_[slot]; }
  // Frees every slot and empties the working list.
  void Reset();

 private:
  std::vector<EventRecord> records_;  // size() is the capacity
  int count_ = 0;
  std::vector<EventRecord> slots_[kSlotCount];
  int last_used_ = -1;
};

// The compiler's one track event table.
EventTable& TrackEvents();

#endif  // QUERN_COMPILER_SONG_EVENTS_H_
