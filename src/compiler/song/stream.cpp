// Track stream compiler: settles the loops and void records of one track's
// event table and translates the table into the byte code of bytecode.h.
#include <algorithm>
#include <cstdint>

#include "compiler/catalogue/messages.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/bytecode.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "compiler/song/source_map.h"

namespace {

constexpr int64_t kMaxStreamNumber = 65535;

// Times may hold any value a score produced; shifting them wraps rather than
// overflowing.
int32_t AddTime(int32_t time, int32_t delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(time) + static_cast<uint32_t>(delta));
}

void MarkVoid(EventTable& table, int first, int last) {
  for (int i = first; i <= last; ++i) table.At(i).kind = kEventVoid;
}

// Moves records from..end by the time between records from and to.
void MoveUp(EventTable& table, int from, int to) {
  int32_t delta = static_cast<int32_t>(static_cast<uint32_t>(table.At(to).time) -
                                       static_cast<uint32_t>(table.At(from).time));
  for (int i = from; i < table.Count(); ++i) table.At(i).time = AddTime(table.At(i).time, delta);
}

// A repeated loop whose passes take no time would make the player run every
// pass inside one tick (an endless one would never leave it, nested counted
// ones send millions of messages at once): its body plays once, as the
// warning at its "]" says.
void UnrollTimelessLoop(EventTable& table, int s, const LoopRecord& loop) {
  const int e = loop.end_event, b = loop.break_event;
  const bool repeats = loop.count < 0 || loop.count >= 2;
  if (!repeats || table.At(e).time != table.At(s).time) return;
  MarkVoid(table, s, s);
  if (b > s && b < e) MarkVoid(table, b, b);
  MarkVoid(table, e, e + 1);
}

// A removed loop of `removed` ticks inside a repeated loop was counted once
// per pass of that loop when its exit was stamped: every enclosing loop's
// exit, and all that follows it, moves up by the further passes, so the
// record times stay the times that are played. An enclosing repeated loop
// left without time is unrolled. Ticks count modulo 2^32, as record times do.
void MoveUpEnclosingExits(EventTable& table, const LoopRecordTable& loops, int start, int end,
                          uint32_t removed) {
  for (int j = start - 1; j >= 0; --j) {
    if (table.At(j).kind != kEventLoopStart) continue;
    const LoopRecord* outer = loops.At(table.At(j).value);
    if (!outer || outer->start_event != j || outer->end_event <= end ||
        outer->end_event + 1 >= table.Count()) {
      continue;
    }
    int passes = outer->count;
    if (passes >= 1 && outer->break_event >= 0 && outer->break_event < start) --passes;
    if (passes > 1 && removed != 0) {
      const uint32_t extra = static_cast<uint32_t>(passes - 1) * removed;
      const int32_t delta = static_cast<int32_t>(0u - extra);
      for (int i = outer->end_event + 1; i < table.Count(); ++i) {
        table.At(i).time = AddTime(table.At(i).time, delta);
      }
      removed += extra;
    }
    UnrollTimelessLoop(table, j, *outer);
  }
}

// The register state that the byte code is written against.
struct StreamState {
  int length_register;
  int octave_base;
  bool direct_out_overflow;
};

class StreamWriter {
 public:
  explicit StreamWriter(ByteBuffer& out) : out_(out) {}

  int Offset() const { return static_cast<int>(out_.Length()); }
  void Byte(int b) { out_.Append(static_cast<uint8_t>(b)); }
  void Word(int w) { out_.AppendWord(static_cast<uint16_t>(w)); }
  void Number(int v) {
    uint8_t bytes[3];
    int n = EncodeStreamNumber(static_cast<uint16_t>(v), bytes);
    out_.AppendBytes(bytes, n);
  }
  void PatchWord(int offset, int w) {
    if (offset < 0 || offset + 2 > Offset()) return;
    out_.Begin()[offset] = static_cast<uint8_t>(w & 255);
    out_.Begin()[offset + 1] = static_cast<uint8_t>((w >> 8) & 255);
  }
  // A wait of d ticks; waits the byte code cannot hold in one number are
  // written as several rests, so the time stays exact.
  void Rest(int64_t d, const StreamState& state) {
    while (d > 0) {
      int chunk = static_cast<int>(std::min(d, kMaxStreamNumber));
      if (chunk == state.length_register) {
        Byte(kOpRestLength);
      } else {
        Byte(kOpRest);
        Number(chunk);
      }
      d -= chunk;
    }
  }

 private:
  ByteBuffer& out_;
};

// True when the next two notes behind note i exist and both have length.
bool NextTwoNotesShare(const EventTable& table, int i, int length) {
  int found = 0;
  for (int j = i + 1; j < table.Count() && found < 2; ++j) {
    const EventRecord& r = table.At(j);
    if (r.kind >= 128) continue;
    if (r.value != length) return false;
    ++found;
  }
  return found == 2;
}

void EmitNote(CompileContext& cc, int i, int64_t gap, StreamState& state, StreamWriter& out) {
  const EventTable& table = cc.events;
  const EventRecord& note = table.At(i);
  const int length = note.value;
  if (length != state.length_register && NextTwoNotesShare(table, i, length)) {
    state.length_register = length;
    out.Byte(kOpSetLength);
    out.Number(length);
  }
  int rel = note.kind - state.octave_base;
  if (rel < 0 || rel >= kNoteRelCount) {
    state.octave_base = std::max(0, (note.kind - kInitialOctaveBase) / 12 * 12);
    out.Byte(kOpOctaveBase);
    out.Byte(state.octave_base);
    rel = note.kind - state.octave_base;
  }
  // A later event cannot lie before the note; a step beyond one number is
  // carried on by rests.
  const int64_t step = std::max<int64_t>(gap, 0);
  const int inline_step = static_cast<int>(std::min(step, kMaxStreamNumber));
  const bool own_length = length != state.length_register;
  const bool own_step = inline_step != length;
  MapStreamNote(cc, note, out.Offset());
  out.Byte(rel | (own_length ? kNoteLengthFlag : 0) | (own_step ? kNoteStepFlag : 0));
  if (own_length) out.Number(length);
  if (own_step) out.Number(inline_step);
  if (note.param < 128) {
    out.Byte(kOpAccent);
    out.Byte(note.param);
  }
  out.Rest(step - inline_step, state);
}

void EmitLoopStart(LoopRecordTable& loops, const EventRecord& r, StreamState& state,
                   StreamWriter& out) {
  LoopRecord* loop = loops.At(r.value);
  if (!loop) return;
  out.Byte(kOpLoopStart);
  out.Byte(loop->count & 255);
  loop->body_offset = out.Offset();
  loop->saved_length_register = state.length_register;
  loop->saved_octave_base = state.octave_base;
}

void EmitLoopBreak(LoopRecordTable& loops, const EventRecord& r, StreamWriter& out) {
  LoopRecord* loop = loops.At(r.value);
  if (!loop || loop->body_offset < 0) return;
  out.Byte(kOpLoopBreak);
  loop->break_offset = out.Offset();
  out.Word(0);
}

void EmitLoopEnd(LoopRecordTable& loops, const EventRecord& r, StreamState& state,
                 StreamWriter& out) {
  LoopRecord* loop = loops.At(r.value);
  if (!loop || loop->body_offset < 0) return;
  if (loop->count < 0) {
    out.Byte(kOpEscape);
    out.Byte(kEscEndlessLoopEnd);
  } else {
    out.Byte(kOpLoopEnd);
  }
  out.Word(out.Offset() - loop->body_offset);
  if (loop->break_offset >= 0) out.PatchWord(loop->break_offset, out.Offset() - loop->break_offset);
  state.length_register = loop->saved_length_register;
  state.octave_base = loop->saved_octave_base;
}

void EmitControl(LoopRecordTable& loops, const EventRecord& r, StreamState& state,
                 StreamWriter& out) {
  switch (r.kind) {
    case kEventAttribute:
      if (r.param == kAttributeVelocity && r.value < kGradualValueBase) {
        out.Byte(kOpVelocity);
        out.Byte(r.value & 255);
      } else {
        out.Byte(kOpAttribute);
        out.Byte(r.param);
        out.Word(r.value);
      }
      break;
    case kEventLoopStart:
      EmitLoopStart(loops, r, state, out);
      break;
    case kEventLoopBreak:
      EmitLoopBreak(loops, r, out);
      break;
    case kEventLoopEnd:
      EmitLoopEnd(loops, r, state, out);
      break;
    case kEventAbsoluteGate:
      out.Byte(kOpAbsoluteGate);
      out.Word(r.value);
      break;
    case kEventRelativeGate:
      out.Byte(kOpRelativeGate);
      out.Word(r.value);
      break;
    case kEventNotesRelease:
      out.Byte(kOpEscape);
      out.Byte(kEscNotesRelease);
      break;
    case kEventNotesHeld:
      out.Byte(kOpEscape);
      out.Byte(kEscNotesHeld);
      break;
    case kEventChannel:
      out.Byte(kOpChannel);
      out.Byte(r.param);
      break;
    case kEventProgram:
      out.Byte(kOpProgram);
      out.Byte(r.param);
      out.Word(r.value);
      break;
    case kEventEndOfTrack:
      out.Byte(kOpEscape);
      out.Byte(kEscEndOfTrack);
      break;
    case kEventDirectOut:
      out.Byte(kOpEscape);
      out.Byte(kEscDirectOut);
      out.Byte(r.value & 255);
      if (r.value > 255) state.direct_out_overflow = true;
      break;
    default:  // loop exit, phase mark, start of track, void: time only
      break;
  }
}

// Loop records carry the stream offsets of this compilation only.
void ClearLoopOffsets(const EventTable& table, LoopRecordTable& loops) {
  for (int i = 0; i < table.Count(); ++i) {
    const EventRecord& r = table.At(i);
    if (r.kind != kEventLoopStart && r.kind != kEventLoopBreak && r.kind != kEventLoopEnd) continue;
    if (LoopRecord* loop = loops.At(r.value)) loop->body_offset = loop->break_offset = -1;
  }
}

}  // namespace

const ByteBuffer& TrackStream(const CompileContext& cc) {
  return cc.song.stream;
}

// A loop that cannot stay a loop is removed or unrolled here, before the
// track's times are final.
void CheckLoop(CompileContext& cc, int loop_number) {
  LoopRecord* loop = cc.loops.At(loop_number);
  if (!loop) return;
  EventTable& table = cc.events;
  const int s = loop->start_event, e = loop->end_event, x = e + 1;
  const int b = loop->break_event >= 0 ? loop->break_event : -1;
  if (e < 0) {
    ReportMessageAt(cc, loop->start_column, loop->start_line, kUnclosedLoop);
    return;
  }
  // A record that does not describe a loop of this table is left alone.
  if (s < 0 || s >= e || x >= table.Count() || (b >= 0 && (b <= s || b >= e))) return;
  if (loop->count == 0) {
    const uint32_t removed =
        static_cast<uint32_t>(table.At(x).time) - static_cast<uint32_t>(table.At(s).time);
    MarkVoid(table, s, x);
    MoveUp(table, x, s);
    MoveUpEnclosingExits(table, cc.loops, s, e, removed);
  } else if (loop->count == 1) {
    if (b < 0) return;
    MarkVoid(table, s, s);
    MarkVoid(table, b, x);
    MoveUp(table, x, b);
  } else if (e == s + 1 || (b == s + 1 && e == b + 1)) {
    MarkVoid(table, s, x);
  } else {
    UnrollTimelessLoop(table, s, *loop);
  }
}

void SettleVoidTimes(CompileContext& cc) {
  EventTable& table = cc.events;
  for (int i = table.Count() - 2; i >= 0; --i) {
    if (table.At(i).kind == kEventVoid) table.At(i).time = table.At(i + 1).time;
  }
}

int CompileTrackStream(CompileContext& cc, uint16_t resolution) {
  const EventTable& table = cc.events;
  ByteBuffer& buffer = cc.song.stream;
  buffer.Clear();
  StreamWriter out(buffer);
  StreamState state{resolution / 4, kInitialOctaveBase, false};
  ClearLoopOffsets(table, cc.loops);
  const int n = table.Count();
  for (int i = 0; i < n; ++i) {
    const EventRecord& r = table.At(i);
    const int64_t gap = i + 1 < n ? int64_t{table.At(i + 1).time} - r.time : 0;
    if (r.kind < 128) {
      EmitNote(cc, i, gap, state, out);
      continue;
    }
    EmitControl(cc.loops, r, state, out);
    if (r.kind != kEventLoopEnd && r.kind != kEventEndOfTrack) out.Rest(gap, state);
  }
  if (state.direct_out_overflow) ReportMessageAt(cc, -1, -1, kTooManyDirectOuts);
  if (out.Offset() > kMaxTrackStreamLength) ReportMessageAt(cc, -1, -1, kStreamTooLong);
  return out.Offset();
}
