// Loops: "[" opens, "/" marks where the last pass leaves, "]" closes with a
// pass count. The body is not copied: loop events and one loop record per
// loop tell the stream compiler what to repeat, and the track position moves
// on as if every pass had been written out, so later events keep their true
// times.
//
// Loop numbers 1..1023 count on across the tracks of one compilation; at most
// 31 loops are open at once. A "[" beyond either limit is reported and opens
// no loop: it becomes a closed-off level of its own, so its "]" (with its
// count) and any "/" inside it are swallowed without touching a record, and
// the body stays a single pass in time.
#include <cstdint>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/ticks.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

constexpr int kStackSize = 32;  // open loops: at most kStackSize - 1
constexpr int kEndless = -1;
constexpr int kMaxCount = 255;

struct LoopTable {
  LoopRecord records[kLoopRecordCount];
  int last_number = 0;  // records 1..last_number are filled
  int stack[kStackSize];
  int depth = 0;
  // "[" that opened no loop, all nested inside the innermost open loop: once
  // one fails, every "[" inside it fails too (the numbers or the depth stay
  // used up until it is closed).
  int64_t dead_depth = 0;
};

LoopTable& Loops() {
  return CompilationPartOf<LoopTable>(kPartLoops);
}

int32_t EventTime(int index) {
  return TrackEvents().At(index).time;
}

// count: n | '*' | nothing (1). Messages only when report is set.
int ReadLoopCount(bool report) {
  const int code = NextToken();
  if (code == kTokNum) {
    int count = TokenNumber();
    if (count > kMaxCount) {
      if (report) ReportMessage(kCountTooHigh);
      count = kMaxCount;
    }
    if (count == 0 && report) ReportMessage(kCountZero);
    return count;
  }
  if (code == kTokStar) {
    if (report && Loops().depth > 1) ReportMessage(kEndlessNested);
    return kEndless;
  }
  PushBackToken();
  return 1;
}

}  // namespace

LoopRecord* LoopAt(int number) {
  if (number < 1 || number > Loops().last_number) return nullptr;
  return &Loops().records[number];
}

void ResetLoopTable() {
  Loops().last_number = 0;
  ResetLoopNesting();
}

void ResetLoopNesting() {
  Loops().depth = 0;
  Loops().dead_depth = 0;
}

// loop start: '[' body ['/' tail] ']' [count | '*']
void LoopStartCommand() {
  const bool too_many = Loops().last_number + 1 >= kLoopRecordCount;
  if (too_many) ReportMessage(kTooManyLoops);
  const bool too_deep = Loops().depth + Loops().dead_depth + 1 >= kStackSize;
  if (too_deep) ReportMessage(kTooDeep);
  if (too_many || too_deep) {
    ++Loops().dead_depth;
    return;
  }
  const int number = ++Loops().last_number;
  Loops().stack[Loops().depth++] = number;
  LoopRecord& loop = Loops().records[number];
  loop = LoopRecord{};
  loop.start_column = TokenColumn();
  loop.start_line = TokenLine();
  loop.break_column = -1;
  loop.break_line = -1;
  loop.start_event = TrackEvents().Count();
  loop.break_event = -1;
  loop.end_event = -1;
  loop.count = 1;
  loop.saved_default_length = Track().default_length;
  loop.body_offset = -1;
  loop.break_offset = -1;
  loop.saved_length_register = -1;
  loop.saved_octave_base = -1;
  AppendEvent(kEventLoopStart, 0, number);
}

// loop break: '/' inside a loop
void LoopBreakCommand() {
  if (Loops().dead_depth > 0) return;  // inside a "[" that opened no loop
  if (Loops().depth == 0) {
    ReportMessage(kBreakOutside);
    return;
  }
  const int number = Loops().stack[Loops().depth - 1];
  LoopRecord& loop = Loops().records[number];
  if (loop.break_event >= 0) ReportMessage(kSecondBreak);
  loop.break_event = TrackEvents().Count();
  loop.break_column = TokenColumn();
  loop.break_line = TokenLine();
  AppendEvent(kEventLoopBreak, 0, number);
}

// loop end: ']' [count | '*']
void LoopEndCommand() {
  if (Loops().dead_depth > 0) {
    ReadLoopCount(false);  // the count belongs to the "]"; nothing to repeat
    --Loops().dead_depth;
    return;
  }
  if (Loops().depth == 0) {
    ReportMessage(kEndWithoutStart);
    return;
  }
  TrackState& track = Track();
  const int number = Loops().stack[Loops().depth - 1];
  LoopRecord& loop = Loops().records[number];
  track.default_length = loop.saved_default_length;
  const int32_t start_time = EventTime(loop.start_event);
  if (start_time == track.position) ReportMessage(kEmptyBody);
  const int count = ReadLoopCount(true);
  if (loop.break_event >= 0) {
    if (count == kEndless) ReportMessageAt(loop.break_column, loop.break_line, kBreakInEndless);
    if (count == 1) ReportMessageAt(loop.break_column, loop.break_line, kBreakInSinglePass);
  }
  loop.count = count;
  loop.end_event = TrackEvents().Count();
  AppendEvent(kEventLoopEnd, 0, number);
  if (count > 0) {
    // The last pass stops at the break.
    const int64_t body = int64_t{track.position} - start_time;
    const int64_t tail =
        loop.break_event >= 0 ? int64_t{track.position} - EventTime(loop.break_event) : 0;
    track.position = ClampTicks(track.position + (count - 1) * body - tail);
  }
  AppendEvent(kEventLoopExit, 0, 0);
  --Loops().depth;
}
