#include "player/sequencer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "compiler/song/bytecode.h"
#include "player/chase.h"
#include "player/messages.h"

namespace {

// The tempo every song starts at until it sets its own.
constexpr int kStartTempo = 120;

struct LoopFrame {
  int passes_left = 0;
  int length = 0;
  int octave = 0;
  int gate = 0;
  bool gate_absolute = false;
};

struct GradualSlot {
  int steps_left = 0;  // 0: free
  int channel = 0;
  int number = 0;
  int total_steps = 0;
  int remainder = 0;
  int quotient = 0;
  int direction = 1;
  int accumulator = 0;
  int current = 0;
  int last_sent = 0;
};

struct TrackPlayer {
  size_t begin = 0;  // the stream: image bytes [begin, end)
  size_t end = 0;
  size_t cursor = 0;
  bool active = false;
  int wait = 1;
  int channel = 1;
  int velocity = 80;
  LoopFrame frames[kLoopFrames];
  int top = -1;
  int octave = kInitialOctaveBase;
  int length = 48;
  int gate = 0;
  bool gate_absolute = false;
  bool release = true;
  GradualSlot velocity_change;
};

struct NoteOff {
  int ticks_left = 0;  // 0 or less: free
  int channel = 0;
  int note = 0;
  int track = -1;     // the track that struck it, for releasing a muted track's notes
  int64_t start = 0;  // the tick it was struck in: a swap keeps a note that is the same
};

// A list of the image located by its entries: each points at a length byte
// whose entry lies wholly inside the image.
struct ListIndex {
  const uint8_t* entries[kListIndexEntries];
  int count = 0;
};

struct SongTables {
  const uint8_t* image = nullptr;
  size_t size = 0;
  int resolution = 192;
  TrackPlayer tracks[kMaxTracks];
  int track_count = 0;
  NoteOff note_offs[kNoteOffEntries];
  // Entries from here on are free, so a tick looks at the sounding ones only.
  int note_off_end = 0;
  GradualSlot slots[kGradualSlots];
  ListIndex attribute_list;
  ListIndex direct_out_list;
  ListIndex gradual_list;
  // Read by other threads (recording outputs, progress displays).
  std::atomic<int64_t> tick_count{0};
  // Each track is cut at most once; an entry is written before the count
  // that publishes it to other threads.
  TrackCut cuts[kMaxTracks];
  std::atomic<int> cut_count{0};
};

// Live playback state: the note sink, mute and solo, and the start and stop
// ticks of a seek.
struct LiveState {
  std::atomic<NoteSink*> sink{nullptr};
  std::atomic<bool> muted[kMaxTracks] = {};
  std::atomic<bool> soloed[kMaxTracks] = {};
  std::atomic<int> switch_changes{0};  // bumped on every mute or solo change
  int switches_seen = -1;              // timer thread: the changes applied
  bool audible[kMaxTracks] = {};       // timer thread: each track's current say
  int running_track = -1;              // the track whose bytes run now
  int64_t start_tick = 1;
  int64_t stop_tick = 0;
  bool loop = false;
  bool halted = false;   // the stop tick was reached
  bool seeking = false;  // a seek runs silently up to its start
  ChaseState chase;
  bool chase_pending = false;
  std::atomic<SwapOffer*> offer{nullptr};  // a prepared song waiting to take over
  // The tracks and gradual changes at the start tick, for looping.
  TrackPlayer start_tracks[kMaxTracks];
  GradualSlot start_slots[kGradualSlots];
  int start_tempo = 120;
};

// Moves the cursor to `target`; a target outside the stream ends the track.
bool JumpTo(TrackPlayer& t, long long target) {
  if (target < static_cast<long long>(t.begin) || target > static_cast<long long>(t.end)) {
    return false;
  }
  t.cursor = static_cast<size_t>(target);
  return true;
}

void SaveFrame(const TrackPlayer& t, LoopFrame& f) {
  f.length = t.length;
  f.octave = t.octave;
  f.gate = t.gate;
  f.gate_absolute = t.gate_absolute;
}

void RestoreFrame(TrackPlayer& t, const LoopFrame& f) {
  t.length = f.length;
  t.octave = f.octave;
  t.gate = f.gate;
  t.gate_absolute = f.gate_absolute;
}

void AdvanceSlot(GradualSlot& s) {
  --s.steps_left;
  s.accumulator += s.remainder;
  if (s.accumulator >= s.total_steps) {
    s.accumulator -= s.total_steps;
    s.current += s.direction;
  }
  s.current += s.quotient;
}

void SetTrackVelocity(TrackPlayer& t, int value) {
  t.velocity = value & 255;
}

uint16_t WordAt(const uint8_t* image, size_t offset) {
  return static_cast<uint16_t>(image[offset] | (image[offset + 1] << 8));
}

// Indexes the list that starts at *pos: entries up to its zero byte, the
// first kListIndexEntries of them kept. Moves *pos behind the list; returns
// false when an entry runs past the image's end (the list ends there).
bool IndexList(const uint8_t* image, size_t size, size_t* pos, ListIndex* list) {
  while (*pos < size) {
    const size_t n = image[*pos];
    if (n == 0) {
      ++*pos;
      return true;
    }
    if (size - *pos < n + 1) {
      *pos = size;
      return false;
    }
    if (list->count < kListIndexEntries) list->entries[list->count++] = image + *pos;
    *pos += n + 1;
  }
  return true;
}

}  // namespace

struct Sequencer::State {
  explicit State(MessageSink* sink) : messages(sink) {}

  SongTables seq;
  LiveState live;
  MessageBuilder messages;
  // Whether the loaded song has finished, kept after every tick so that
  // another thread can ask while this one plays.
  std::atomic<bool> finished{true};

  bool ComputeFinished() {
    if (live.halted) return true;
    if (live.chase_pending) return false;
    for (int i = 0; i < seq.track_count; ++i) {
      if (seq.tracks[i].active) return false;
    }
    for (int i = 0; i < seq.note_off_end; ++i) {
      if (seq.note_offs[i].ticks_left > 0) return false;
    }
    for (const GradualSlot& s : seq.slots) {
      if (s.steps_left > 0) return false;
    }
    return true;
  }

  // What Finished() says: a song that has done everything still has more
  // to play while a loop's stop tick lies ahead, since it goes back to the
  // loop's start there.
  void UpdateFinished() {
    const bool loop_ahead =
        !live.halted && live.loop && live.stop_tick > 0 && live.start_tick < live.stop_tick;
    finished.store(ComputeFinished() && !loop_ahead);
  }

  // ---- Reading a track stream; every read stays inside [cursor, end).

  bool ReadByte(TrackPlayer& t, int* value) {
    if (t.cursor >= t.end) return false;
    *value = seq.image[t.cursor++];
    return true;
  }

  bool ReadWord(TrackPlayer& t, int* value) {
    if (t.end - t.cursor < 2) return false;
    *value = seq.image[t.cursor] | (seq.image[t.cursor + 1] << 8);
    t.cursor += 2;
    return true;
  }

  bool ReadNumber(TrackPlayer& t, int* value) {
    uint16_t v = 0;
    const int used = DecodeStreamNumber(seq.image + t.cursor, seq.image + t.end, &v);
    if (used == 0) return false;
    t.cursor += used;
    *value = v;
    return true;
  }

  // ---- Notes and gradual changes.

  // The entry a new note takes: the one that held this channel and note (a
  // note struck again is released first), else the first free one; with every
  // entry sounding, the one that would end soonest is released now.
  NoteOff& NoteOffEntryFor(int channel, int note) {
    int same = -1, first_free = -1;
    for (int i = 0; i < seq.note_off_end && (same < 0 || first_free < 0); ++i) {
      const NoteOff& e = seq.note_offs[i];
      if (e.ticks_left <= 0) {
        if (first_free < 0) first_free = i;
      } else if (same < 0 && e.channel == channel && e.note == note) {
        same = i;
      }
    }
    if (same >= 0) {
      // The old entry is emptied: its note-off goes out now, never again.
      messages.SendNoteOff(channel, note);
      seq.note_offs[same].ticks_left = 0;
      if (first_free < 0 || same < first_free) first_free = same;
    }
    if (first_free >= 0) return seq.note_offs[first_free];
    if (seq.note_off_end < kNoteOffEntries) return seq.note_offs[seq.note_off_end++];
    NoteOff* soonest = &seq.note_offs[0];
    for (NoteOff& e : seq.note_offs) {
      if (e.ticks_left < soonest->ticks_left) soonest = &e;
    }
    messages.SendNoteOff(soonest->channel, soonest->note);
    return *soonest;
  }

  void ScheduleNote(int channel, int note, int velocity, int gate) {
    NoteOff& e = NoteOffEntryFor(channel, note);
    e.ticks_left = gate;
    e.channel = channel;
    e.note = note;
    e.track = live.running_track;
    e.start = seq.tick_count.load(std::memory_order_relaxed);
    messages.SendNoteOn(channel, note, velocity);
  }

  // Starts gradual change k of the list for attribute `number` of track t.
  void StartGradualChange(TrackPlayer& t, int number, int k) {
    if (k >= seq.gradual_list.count) return;
    const uint8_t* entry = seq.gradual_list.entries[k];
    if (entry[0] < 6) return;  // too short to hold start, end and duration
    const int start = entry[1] | (entry[2] << 8);
    const int end = entry[3] | (entry[4] << 8);
    const int duration = entry[5] | (entry[6] << 8);

    if (duration == 0) {  // no steps to take: the end value holds at once
      if (number == kAttributeVelocity) {
        t.velocity_change.steps_left = 0;
        SetTrackVelocity(t, end);
      } else {
        messages.SendAttribute(t.channel, number, end);
      }
      return;
    }

    GradualSlot* slot = nullptr;
    if (number == kAttributeVelocity) {
      slot = &t.velocity_change;
    } else {
      for (GradualSlot& s : seq.slots) {
        if (s.steps_left == 0) {
          slot = &s;
          break;
        }
      }
      if (!slot) return;  // all 64 shared slots are running: dropped
    }
    slot->steps_left = duration;
    slot->total_steps = duration;
    slot->channel = t.channel;
    slot->number = number;
    slot->current = start;
    slot->last_sent = start;
    slot->direction = end > start ? 1 : -1;
    slot->quotient = (end - start) / duration;
    slot->remainder = std::abs(end - start) % duration;
    slot->accumulator = slot->remainder / 2;
  }

  // ---- Live playback.

  void ReportStruck(const TrackPlayer& t, size_t note_at, int gate, int note) {
    NoteSink* sink = live.sink.load(std::memory_order_acquire);
    if (!sink || live.seeking) return;
    StruckNote struck;
    struck.track = live.running_track;
    struck.offset = static_cast<int>(note_at - t.begin);
    struck.tick = seq.tick_count.load(std::memory_order_relaxed);
    struck.gate = gate;
    struck.channel = t.channel;
    struck.note = note;
    sink->NoteStruck(struck);
  }

  // Takes up mute and solo changes: a track that falls silent has its
  // sounding notes released now.
  void ApplyTrackSwitches() {
    const int changes = live.switch_changes.load(std::memory_order_acquire);
    if (changes == live.switches_seen) return;
    live.switches_seen = changes;
    bool any_solo = false;
    for (int i = 0; i < kMaxTracks; ++i) any_solo = any_solo || live.soloed[i].load();
    for (int i = 0; i < kMaxTracks; ++i) {
      const bool audible = !live.muted[i].load() && (!any_solo || live.soloed[i].load());
      if (live.audible[i] && !audible) {
        for (NoteOff& e : seq.note_offs) {
          if (e.ticks_left > 0 && e.track == i) {
            e.ticks_left = 0;
            messages.SendNoteOff(e.channel, e.note);
          }
        }
      }
      live.audible[i] = audible;
    }
  }

  void SaveStartState() {
    std::copy(std::begin(seq.tracks), std::end(seq.tracks), std::begin(live.start_tracks));
    std::copy(std::begin(seq.slots), std::end(seq.slots), std::begin(live.start_slots));
    live.start_tempo = messages.Tempo();
  }

  void RestoreStartState() {
    std::copy(std::begin(live.start_tracks), std::end(live.start_tracks), std::begin(seq.tracks));
    std::copy(std::begin(live.start_slots), std::end(live.start_slots), std::begin(seq.slots));
    if (messages.Tempo() != live.start_tempo) messages.SendAttribute(0, 128, live.start_tempo);
  }

  // At the stop tick: releases what sounds, then either goes back to the start
  // tick (a loop; returns true and the tick runs as the start tick) or ends.
  bool ReachStopTick() {
    SilenceNotes();
    if (live.loop && live.start_tick < live.stop_tick) {
      RestoreStartState();
      seq.tick_count.store(live.start_tick, std::memory_order_relaxed);
      return true;
    }
    live.halted = true;
    finished.store(true);
    return false;
  }

  void ResetLiveState() {
    // An offer still waiting belonged to the song being replaced.
    if (SwapOffer* offer = live.offer.exchange(nullptr)) offer->outcome.store(kSwapMissed);
    live.start_tick = 1;
    live.stop_tick = 0;
    live.loop = false;
    live.halted = false;
    live.chase_pending = false;
    live.chase.Clear();
    for (auto& m : live.muted) m.store(false);
    for (auto& s : live.soloed) s.store(false);
    for (bool& a : live.audible) a = true;
    live.switches_seen = live.switch_changes.load();
    SaveStartState();
  }

  // ---- One track.

  // Reads a note byte's operands and plays it; returns false when the stream
  // ends inside them.
  bool PlayNote(TrackPlayer& t, int code, bool* waits) {
    const size_t note_at = t.cursor - 1;
    int length = t.length;
    if ((code & kNoteLengthFlag) && !ReadNumber(t, &length)) return false;
    int step = length;
    if ((code & kNoteStepFlag) && !ReadNumber(t, &step)) return false;
    const int gate = t.gate_absolute ? t.gate : length + t.gate;
    const int note = (t.octave + (code & kNoteRelMask)) & 255;
    int velocity = t.velocity;
    if (t.cursor < t.end && seq.image[t.cursor] == kOpAccent) {
      ++t.cursor;
      if (!ReadByte(t, &velocity)) return false;
    }
    if (gate > 0 && live.audible[live.running_track]) {
      if (t.release) {
        ScheduleNote(t.channel, note, velocity, gate);
      } else {
        messages.SendNoteOn(t.channel, note, velocity);
      }
      // A note-on of velocity 0 is a note-off: nothing sounds, so nothing
      // is reported.
      if (velocity != 0) ReportStruck(t, note_at, t.release ? gate : 0, note);
    }
    if (step > 0) {
      t.wait = step;
      *waits = true;
    }
    return true;
  }

  // Executes the byte `code`; returns false when the track ends (by its end
  // escape or by a stream that is cut off or jumps outside itself). Sets
  // *waits when the byte makes the track wait.
  bool Execute(TrackPlayer& t, int code, bool* waits) {
    if (IsNoteByte(static_cast<uint8_t>(code))) return PlayNote(t, code, waits);
    int a = 0, b = 0;
    switch (code) {
      case kOpRest:
        if (!ReadNumber(t, &t.wait)) return false;
        *waits = true;
        return true;
      case kOpRestLength:
        t.wait = t.length;
        *waits = true;
        return true;
      case kOpSetLength:
        return ReadNumber(t, &t.length);
      case kOpOctaveBase:
        return ReadByte(t, &t.octave);
      case kOpLoopStart:
        if (!ReadByte(t, &a)) return false;
        if (t.top + 1 < kLoopFrames) {
          LoopFrame& f = t.frames[++t.top];
          f.passes_left = a;
          SaveFrame(t, f);
        }
        return true;
      case kOpLoopBreak: {
        const size_t word_at = t.cursor;
        if (!ReadWord(t, &a)) return false;
        if (t.top >= 0 && t.frames[t.top].passes_left == 1) {
          RestoreFrame(t, t.frames[t.top--]);
          return JumpTo(t, static_cast<long long>(word_at) + a);
        }
        return true;
      }
      case kOpLoopEnd: {
        const size_t word_at = t.cursor;
        if (!ReadWord(t, &a)) return false;
        if (t.top < 0) return true;
        LoopFrame& f = t.frames[t.top];
        if (--f.passes_left > 0) {
          RestoreFrame(t, f);
          return JumpTo(t, static_cast<long long>(word_at) - a);
        }
        // Leaving the loop: the bytes behind it are encoded against the length
        // register and octave base of the loop start, so those come back; the
        // gate stays as the body left it.
        t.length = f.length;
        t.octave = f.octave;
        --t.top;
        return true;
      }
      case kOpAttribute:
        if (!ReadByte(t, &a) || !ReadWord(t, &b)) return false;
        if (b >= kGradualValueBase) {
          StartGradualChange(t, a, b - kGradualValueBase);
        } else if (a == kAttributeVelocity) {
          SetTrackVelocity(t, b);
        } else {
          messages.SendAttribute(t.channel, a, b);
        }
        return true;
      case kOpChannel:
        if (!ReadByte(t, &a)) return false;
        t.channel = a & 15;  // a byte beyond 15 would change the message's status
        return true;
      case kOpProgram:
        if (!ReadByte(t, &a) || !ReadWord(t, &b)) return false;
        messages.SendProgram(t.channel, a, b);
        return true;
      case kOpAbsoluteGate:
        if (!ReadWord(t, &t.gate)) return false;
        t.gate_absolute = true;
        return true;
      case kOpRelativeGate:
        if (!ReadWord(t, &a)) return false;
        t.gate = static_cast<int16_t>(a);
        t.gate_absolute = false;
        return true;
      case kOpVelocity:
        return ReadByte(t, &t.velocity);
      case kOpEscape:
        if (!ReadByte(t, &a)) return false;
        switch (a) {
          case kEscEndOfTrack:
            return false;
          case kEscNotesHeld:
            t.release = false;
            return true;
          case kEscNotesRelease:
            t.release = true;
            return true;
          case kEscEndlessLoopEnd: {
            const size_t word_at = t.cursor;
            if (!ReadWord(t, &b)) return false;
            if (t.top >= 0) RestoreFrame(t, t.frames[t.top]);
            return JumpTo(t, static_cast<long long>(word_at) - b);
          }
          case kEscDirectOut:
            if (!ReadByte(t, &b)) return false;
            if (b < seq.direct_out_list.count) {
              messages.SendTemplate(t.channel, seq.direct_out_list.entries[b], 0);
            }
            return true;
          default:
            return true;
        }
      default:
        return true;  // 253 out of place, 254: ignored
    }
  }

  static size_t BytesPerTickLimit(const TrackPlayer& t) {
    return std::min<size_t>(t.end - t.begin + 1, kMaxBytesPerTick);
  }

  // Runs one tick of track t; returns false when the byte limit cut it.
  bool RunTrack(TrackPlayer& t) {
    if (!t.active) return true;
    if (t.velocity_change.steps_left > 0) {
      AdvanceSlot(t.velocity_change);
      SetTrackVelocity(t, t.velocity_change.current);
    }
    if (--t.wait > 0) return true;
    // Every loop pass of a compiled track takes time, so one tick never runs
    // more than the stream's own bytes; more means a malformed image spins.
    const size_t limit = BytesPerTickLimit(t);
    for (size_t executed = 0; executed < limit; ++executed) {
      int code = 0;
      bool waits = false;
      if (!ReadByte(t, &code) || !Execute(t, code, &waits)) {
        t.active = false;
        return true;
      }
      if (waits) return true;
    }
    t.active = false;
    return false;
  }

  void LogCut(int index, size_t limit) {
    const int n = seq.cut_count.load(std::memory_order_relaxed);
    if (n >= kMaxTracks) return;
    seq.cuts[n] = TrackCut{index + 1, seq.tick_count.load(std::memory_order_relaxed),
                           static_cast<int64_t>(limit)};
    seq.cut_count.store(n + 1, std::memory_order_release);
  }

  // ---- Loading.

  // ---- Loading and running.

  bool Load(const uint8_t* image, size_t size, std::string* error) {
    auto fail = [error](const std::string& why) {
      if (error) *error = why;
      return false;
    };
    if (!image || size < static_cast<size_t>(kImageHeaderSize)) {
      return fail("not a song image: shorter than its 14-byte header");
    }
    if (WordAt(image, 0) != kImageMagic) return fail("not a song image: wrong first word");
    const int resolution = WordAt(image, kImageResolutionOffset);
    if (resolution == 0) {
      return fail("resolution 0 cannot be played: ticks per whole note must be 1 to 65535");
    }

    // Locate the tracks before anything changes, so that a bad image leaves
    // the previous song in place.
    size_t starts[kMaxTracks];
    size_t ends[kMaxTracks];
    int count = 0;
    size_t pos = kImageHeaderSize;
    for (int entry = 1;; ++entry) {
      if (size - pos < 2) return fail("not a song image: the track list is cut off");
      const size_t entry_size = WordAt(image, pos);
      if (entry_size == 0) break;
      if (entry_size < 2)
        return fail("not a song image: track " + std::to_string(entry) + " has a size of " +
                    std::to_string(entry_size));
      if (size - pos < entry_size) {
        return fail("not a song image: track " + std::to_string(entry) + " runs past the end");
      }
      if (count < kMaxTracks) {
        starts[count] = pos + 2;
        ends[count] = pos + entry_size;
        ++count;
      }
      pos += entry_size;
    }
    pos += 2;

    seq.image = image;
    seq.size = size;
    seq.resolution = resolution;
    seq.track_count = count;
    seq.tick_count.store(0);
    messages.SetResolution(resolution);
    messages.SetTempo(kStartTempo);
    // Lists missing or cut off at the end of the image are taken as far as
    // they go.
    seq.attribute_list.count = 0;
    seq.direct_out_list.count = 0;
    seq.gradual_list.count = 0;
    if (IndexList(image, size, &pos, &seq.attribute_list) &&
        IndexList(image, size, &pos, &seq.direct_out_list)) {
      IndexList(image, size, &pos, &seq.gradual_list);
    }
    messages.SetAttributeTemplates(seq.attribute_list.entries, seq.attribute_list.count);

    for (int i = 0; i < kMaxTracks; ++i) {
      seq.tracks[i] = TrackPlayer();
      if (i >= count) continue;
      seq.tracks[i].begin = starts[i];
      seq.tracks[i].end = ends[i];
    }
    RewindSong();
    ResetLiveState();
    UpdateFinished();
    return true;
  }

  // Puts the loaded song back at its beginning: every track at its first
  // byte with fresh registers, no note sounding, no gradual change, no cut.
  void RewindSong() {
    for (int i = 0; i < kMaxTracks; ++i) {
      TrackPlayer& t = seq.tracks[i];
      const size_t begin = t.begin, end = t.end;
      t = TrackPlayer();
      t.active = i < seq.track_count;
      if (!t.active) continue;
      t.begin = t.cursor = begin;
      t.end = end;
      t.length = seq.resolution / 4;
    }
    for (NoteOff& e : seq.note_offs) e = NoteOff();
    seq.note_off_end = 0;
    for (GradualSlot& s : seq.slots) s = GradualSlot();
    seq.tick_count.store(0);
    seq.cut_count.store(0);
  }

  void Tick() {
    if (live.halted && !SwapDue()) return;
    const int64_t tick = seq.tick_count.fetch_add(1, std::memory_order_relaxed) + 1;
    TakeOfferedSwap(tick);
    if (live.halted) return;
    if (live.stop_tick > 0 && tick >= live.stop_tick && !live.seeking && !ReachStopTick()) return;
    if (live.chase_pending) {
      live.chase_pending = false;
      live.chase.Replay(messages);
    }
    ApplyTrackSwitches();
    for (int i = 0; i < seq.note_off_end; ++i) {
      NoteOff& e = seq.note_offs[i];
      if (e.ticks_left > 0 && --e.ticks_left == 0) messages.SendNoteOff(e.channel, e.note);
    }
    while (seq.note_off_end > 0 && seq.note_offs[seq.note_off_end - 1].ticks_left <= 0) {
      --seq.note_off_end;
    }
    for (GradualSlot& s : seq.slots) {
      if (s.steps_left <= 0) continue;
      AdvanceSlot(s);
      if (s.current != s.last_sent) {
        messages.SendAttribute(s.channel, s.number, s.current);
        s.last_sent = s.current;
      }
    }
    for (int i = 0; i < seq.track_count; ++i) {
      live.running_track = i;
      if (!RunTrack(seq.tracks[i])) LogCut(i, BytesPerTickLimit(seq.tracks[i]));
    }
    UpdateFinished();
  }

  void SilenceNotes() {
    for (int i = 0; i < seq.note_off_end; ++i) {
      NoteOff& e = seq.note_offs[i];
      if (e.ticks_left > 0) {
        e.ticks_left = 0;
        messages.SendNoteOff(e.channel, e.note);
      }
    }
    seq.note_off_end = 0;
    UpdateFinished();
  }

  int64_t TicksToNextWork() const {
    // Anything that acts on every tick, or a pending switch, chase or stop,
    // makes the next tick one with work.
    int64_t next = kMaxQuietTicks;
    if (const SwapOffer* offer = live.offer.load(std::memory_order_acquire)) {
      if (offer->at <= TickCount() + 1) return 1;
      next = offer->at - TickCount();
    }
    if (live.halted) return next;
    if (live.chase_pending) return 1;
    if (live.switch_changes.load(std::memory_order_acquire) != live.switches_seen) return 1;
    // A stop tick already passed ends the song on the next tick.
    const int64_t to_stop = live.stop_tick - TickCount();
    if (live.stop_tick > 0) next = std::min<int64_t>(next, std::max<int64_t>(1, to_stop));
    for (const GradualSlot& s : seq.slots) {
      if (s.steps_left > 0) return 1;
    }
    for (int i = 0; i < seq.note_off_end; ++i) {
      const int left = seq.note_offs[i].ticks_left;
      if (left > 0) next = std::min<int64_t>(next, left);
    }
    for (int i = 0; i < seq.track_count; ++i) {
      const TrackPlayer& t = seq.tracks[i];
      if (!t.active) continue;
      if (t.velocity_change.steps_left > 0) return 1;
      next = std::min<int64_t>(next, std::max(1, t.wait));
    }
    return next;
  }

  int64_t TickCount() const { return seq.tick_count.load(std::memory_order_relaxed); }

  // Moves every count-down on by k ticks that TicksToNextWork promised
  // quiet (k below it): nothing is due in them, so nothing else changes.
  void SkipQuietTicks(int64_t k) {
    for (int i = 0; i < seq.note_off_end; ++i) {
      if (seq.note_offs[i].ticks_left > 0) seq.note_offs[i].ticks_left -= static_cast<int>(k);
    }
    for (int i = 0; i < seq.track_count; ++i) {
      if (seq.tracks[i].active) seq.tracks[i].wait -= static_cast<int>(k);
    }
    seq.tick_count.fetch_add(k, std::memory_order_relaxed);
  }

  // Runs the song silently from its beginning up to tick start - 1, jumping
  // over the quiet stretches, so that the cost follows the events before the
  // start and not the number of ticks.
  void RunSilentlyTo(int64_t start) {
    while (TickCount() < start - 1 && !ComputeFinished()) {
      const int64_t quiet = std::min(TicksToNextWork() - 1, start - 1 - TickCount());
      if (quiet > 0) {
        SkipQuietTicks(quiet);
      } else {
        Tick();
      }
    }
  }

  // ---- Swapping in a prepared song (timer thread; allocates nothing).

  // Whether an offer waits for the tick about to run (or one passed).
  bool SwapDue() const {
    const SwapOffer* offer = live.offer.load(std::memory_order_acquire);
    return offer && offer->at <= TickCount() + 1;
  }

  // At the start of `tick`, after the tick count moved on to it.
  void TakeOfferedSwap(int64_t tick) {
    SwapOffer* offer = live.offer.load(std::memory_order_acquire);
    if (!offer || offer->at > tick) return;
    // Claimed here, or withdrawn by the control thread first.
    if (!live.offer.compare_exchange_strong(offer, nullptr, std::memory_order_acq_rel)) return;
    if (offer->at < tick) {
      offer->outcome.store(kSwapMissed, std::memory_order_release);
      return;
    }
    TakeOver(*offer);
    offer->outcome.store(kSwapTaken, std::memory_order_release);
  }

  // Releases what sounds in this song unless the prepared song has the same
  // note (channel, key, start and end) sounding; marks those in keep.
  void ReleaseNotesNotKept(const State& next, bool* keep) {
    for (int i = 0; i < seq.note_off_end; ++i) {
      const NoteOff& e = seq.note_offs[i];
      if (e.ticks_left <= 0) continue;
      bool same = false;
      for (int j = 0; j < next.seq.note_off_end && !same; ++j) {
        const NoteOff& n = next.seq.note_offs[j];
        same = !keep[j] && n.ticks_left > 0 && n.channel == e.channel && n.note == e.note &&
               n.start == e.start && n.ticks_left == e.ticks_left;
        if (same) keep[j] = true;
      }
      if (!same) messages.SendNoteOff(e.channel, e.note);
    }
  }

  void CopySongTables(const SongTables& from, const bool* keep) {
    seq.image = from.image;
    seq.size = from.size;
    seq.resolution = from.resolution;
    std::copy(std::begin(from.tracks), std::end(from.tracks), std::begin(seq.tracks));
    seq.track_count = from.track_count;
    seq.note_off_end = from.note_off_end;
    for (int j = 0; j < kNoteOffEntries; ++j) {
      seq.note_offs[j] = j < from.note_off_end && keep[j] ? from.note_offs[j] : NoteOff();
    }
    std::copy(std::begin(from.slots), std::end(from.slots), std::begin(seq.slots));
    seq.attribute_list = from.attribute_list;
    seq.direct_out_list = from.direct_out_list;
    seq.gradual_list = from.gradual_list;
    const int cuts = from.cut_count.load(std::memory_order_acquire);
    std::copy(from.cuts, from.cuts + cuts, seq.cuts);
    seq.cut_count.store(cuts, std::memory_order_release);
  }

  void TakeOver(const SwapOffer& offer) {
    const State& next = *offer.prepared->state_;
    bool keep[kNoteOffEntries] = {};
    ReleaseNotesNotKept(next, keep);
    CopySongTables(next.seq, keep);
    messages.SetResolution(seq.resolution);
    messages.SetAttributeTemplates(seq.attribute_list.entries, seq.attribute_list.count);
    if (offer.tempo != messages.Tempo()) messages.SendAttribute(0, 128, offer.tempo);
    for (const SwapOffer::Message& m : offer.messages) messages.SendShort(m.bytes, m.length);
    std::copy(std::begin(next.live.start_tracks), std::end(next.live.start_tracks),
              std::begin(live.start_tracks));
    std::copy(std::begin(next.live.start_slots), std::end(next.live.start_slots),
              std::begin(live.start_slots));
    live.start_tempo = next.live.start_tempo;
    live.start_tick = offer.loop_start > 0 ? offer.loop_start : next.live.start_tick;
    live.stop_tick = offer.stop;
    live.loop = offer.loop;
    live.halted = false;
    live.chase_pending = false;
    for (int i = 0; i < kMaxTracks; ++i) {
      live.muted[i].store(offer.muted[i]);
      live.soloed[i].store(offer.soloed[i]);
    }
    live.switch_changes.fetch_add(1, std::memory_order_release);
    UpdateFinished();
  }

  // Runs on silently from where the song stands up to tick until - 1,
  // keeping the notes struck on the way in the note table, as they would
  // sound, and the channel state in the chase.
  void RunSilently(int64_t until) {
    messages.SetCapture(&live.chase);
    live.seeking = true;
    RunSilentlyTo(until);
    live.seeking = false;
    messages.SetCapture(nullptr);
  }

  void Seek(int64_t start) {
    // What sounds now is released; then the song starts again from its
    // beginning, so that every seek leaves what a seek after a fresh load
    // leaves. Mute, solo and the stop tick stay as they were set.
    SilenceNotes();
    RewindSong();
    live.halted = false;
    live.chase_pending = false;
    live.chase.Clear();
    // A song that sets no tempo before the start plays at the start tempo.
    if (messages.Tempo() != kStartTempo) live.chase.TakeTempo(kStartTempo);
    messages.SetCapture(&live.chase);
    live.seeking = true;
    RunSilentlyTo(start);
    live.seeking = false;
    messages.SetCapture(nullptr);
    // The song's tempo at the start is the chased one, also for a loop
    // that comes back here and for a song that has finished.
    if (live.chase.Tempo() > 0) messages.SetTempo(live.chase.Tempo());
    // The chase goes out only when the song still has something to do at
    // the start: a seek past the end leaves a finished song.
    const bool more = !ComputeFinished();
    // Notes struck before the start do not sound, so they get no note-off.
    for (NoteOff& e : seq.note_offs) e = NoteOff();
    seq.note_off_end = 0;
    live.start_tick = TickCount() + 1;
    live.chase_pending = more;
    SaveStartState();
    UpdateFinished();
  }
};

Sequencer::Sequencer(MessageSink* sink) : state_(std::make_unique<State>(sink)) {}

Sequencer::~Sequencer() = default;

void Sequencer::SetSink(MessageSink* sink) {
  state_->messages.SetSink(sink);
}

MessageSink* Sequencer::Sink() const {
  return state_->messages.Sink();
}

MessageBuilder& Sequencer::Messages() {
  return state_->messages;
}

const MessageBuilder& Sequencer::Messages() const {
  return state_->messages;
}

bool Sequencer::Load(const uint8_t* image, size_t size, std::string* error) {
  return state_->Load(image, size, error);
}

void Sequencer::Tick() {
  state_->Tick();
}

void Sequencer::SilenceNotes() {
  state_->SilenceNotes();
}

int64_t Sequencer::TicksToNextWork() const {
  return state_->TicksToNextWork();
}

int64_t Sequencer::TickCount() const {
  return state_->TickCount();
}

int Sequencer::TrackCount() const {
  return state_->seq.track_count;
}

std::vector<TrackCut> Sequencer::Cuts() const {
  const int n = state_->seq.cut_count.load(std::memory_order_acquire);
  return std::vector<TrackCut>(state_->seq.cuts, state_->seq.cuts + n);
}

bool Sequencer::Finished() const {
  return state_->finished.load();
}

void Sequencer::SetNoteSink(NoteSink* sink) {
  state_->live.sink.store(sink, std::memory_order_release);
}

void Sequencer::SetMessageCapture(ChaseState* capture) {
  state_->messages.SetCapture(capture);
}

ChaseState* Sequencer::MessageCapture() const {
  return state_->messages.Capture();
}

void Sequencer::Seek(int64_t start) {
  state_->Seek(start);
}

void Sequencer::SetStopTick(int64_t stop, bool loop) {
  state_->live.stop_tick = stop;
  state_->live.loop = loop;
  state_->UpdateFinished();
}

void Sequencer::SetTrackMuted(int track, bool muted) {
  if (track < 0 || track >= kMaxTracks) return;
  state_->live.muted[track].store(muted);
  state_->live.switch_changes.fetch_add(1, std::memory_order_release);
}

void Sequencer::SetTrackSoloed(int track, bool soloed) {
  if (track < 0 || track >= kMaxTracks) return;
  state_->live.soloed[track].store(soloed);
  state_->live.switch_changes.fetch_add(1, std::memory_order_release);
}

void Sequencer::RunSilently(int64_t until) {
  state_->RunSilently(until);
}

void Sequencer::MarkLoopStart() {
  state_->live.start_tick = state_->TickCount() + 1;
  state_->SaveStartState();
}

const ChaseState& Sequencer::SilentState() const {
  return state_->live.chase;
}

void Sequencer::OfferSwap(SwapOffer* offer) {
  offer->outcome.store(kSwapWaiting, std::memory_order_relaxed);
  state_->live.offer.store(offer, std::memory_order_release);
}

bool Sequencer::WithdrawSwap(SwapOffer* offer) {
  SwapOffer* expected = offer;
  if (state_->live.offer.compare_exchange_strong(expected, nullptr)) return true;
  // Claimed by the running thread, which sets the outcome without waiting.
  while (offer->outcome.load(std::memory_order_acquire) == kSwapWaiting) {
  }
  return false;
}
