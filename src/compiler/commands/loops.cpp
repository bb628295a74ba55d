// Loops: "[" opens, "/" marks where the last pass leaves, "]" closes with a
// pass count. The body is not copied: loop events and one loop record per
// loop (in the song stage's loop record table, which these commands fill)
// tell the stream compiler what to repeat, and the track position moves on
// as if every pass had been written out, so later events keep their true
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

static_assert(kStackSize == LoopNesting::kStackSize);

LoopNesting& Nesting(CompileContext& cc) {
  return cc.commands.loops;
}

int32_t EventTime(const CompileContext& cc, int index) {
  return cc.events.At(index).time;
}

// count: n | '*' | nothing (1). Messages only when report is set.
int ReadLoopCount(CompileContext& cc, bool report) {
  const int code = NextToken(cc);
  if (code == kTokNum) {
    int count = TokenNumber(cc);
    if (count > kMaxCount) {
      if (report) ReportMessage(cc, kCountTooHigh);
      count = kMaxCount;
    }
    if (count == 0 && report) ReportMessage(cc, kCountZero);
    return count;
  }
  if (code == kTokStar) {
    if (report && Nesting(cc).depth > 1) ReportMessage(cc, kEndlessNested);
    return kEndless;
  }
  PushBackToken(cc);
  return 1;
}

}  // namespace

void ResetLoopTable(CompileContext& cc) {
  cc.loops.Clear();
  ResetLoopNesting(cc);
}

void ResetLoopNesting(CompileContext& cc) {
  Nesting(cc).depth = 0;
  Nesting(cc).dead_depth = 0;
}

// loop start: '[' body ['/' tail] ']' [count | '*']
void LoopStartCommand(CompileContext& cc) {
  LoopNesting& nesting = Nesting(cc);
  const bool too_many = cc.loops.Full();
  if (too_many) ReportMessage(cc, kTooManyLoops);
  const bool too_deep = nesting.depth + nesting.dead_depth + 1 >= kStackSize;
  if (too_deep) ReportMessage(cc, kTooDeep);
  if (too_many || too_deep) {
    ++nesting.dead_depth;
    return;
  }
  const int number = cc.loops.Add();
  nesting.stack[nesting.depth++] = number;
  LoopRecord& loop = *cc.loops.At(number);
  loop.start_column = TokenColumn(cc);
  loop.start_line = TokenLine(cc);
  loop.start_event = cc.events.Count();
  loop.saved_default_length = Track(cc).default_length;
  AppendEvent(cc, kEventLoopStart, 0, number);
}

// loop break: '/' inside a loop
void LoopBreakCommand(CompileContext& cc) {
  LoopNesting& nesting = Nesting(cc);
  if (nesting.dead_depth > 0) return;  // inside a "[" that opened no loop
  if (nesting.depth == 0) {
    ReportMessage(cc, kBreakOutside);
    return;
  }
  const int number = nesting.stack[nesting.depth - 1];
  LoopRecord& loop = *cc.loops.At(number);
  if (loop.break_event >= 0) ReportMessage(cc, kSecondBreak);
  loop.break_event = cc.events.Count();
  loop.break_column = TokenColumn(cc);
  loop.break_line = TokenLine(cc);
  AppendEvent(cc, kEventLoopBreak, 0, number);
}

// loop end: ']' [count | '*']
void LoopEndCommand(CompileContext& cc) {
  LoopNesting& nesting = Nesting(cc);
  if (nesting.dead_depth > 0) {
    ReadLoopCount(cc, false);  // the count belongs to the "]"; nothing to repeat
    --nesting.dead_depth;
    return;
  }
  if (nesting.depth == 0) {
    ReportMessage(cc, kEndWithoutStart);
    return;
  }
  TrackState& track = Track(cc);
  const int number = nesting.stack[nesting.depth - 1];
  LoopRecord& loop = *cc.loops.At(number);
  track.default_length = loop.saved_default_length;
  const int32_t start_time = EventTime(cc, loop.start_event);
  if (start_time == track.position) ReportMessage(cc, kEmptyBody);
  const int count = ReadLoopCount(cc, true);
  if (loop.break_event >= 0) {
    if (count == kEndless) ReportMessageAt(cc, loop.break_column, loop.break_line, kBreakInEndless);
    if (count == 1) ReportMessageAt(cc, loop.break_column, loop.break_line, kBreakInSinglePass);
  }
  loop.count = count;
  loop.end_event = cc.events.Count();
  AppendEvent(cc, kEventLoopEnd, 0, number);
  if (count > 0) {
    // The last pass stops at the break.
    const int64_t body = int64_t{track.position} - start_time;
    const int64_t tail =
        loop.break_event >= 0 ? int64_t{track.position} - EventTime(cc, loop.break_event) : 0;
    track.position = ClampTicks(cc, track.position + (count - 1) * body - tail);
  }
  AppendEvent(cc, kEventLoopExit, 0, 0);
  --nesting.depth;
}
