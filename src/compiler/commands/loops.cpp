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

#include "compiler/commands/commands.h"
#include "compiler/commands/ticks.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

// "EEループが多すぎます"
constexpr char kTooManyLoops[] =
    "EE\x83\x8b\x81[\x83v\x82\xaa\x91\xbd\x82\xb7\x82\xac\x82\xdc\x82\xb7";
// "EEループが深すぎます"
constexpr char kTooDeep[] = "EE\x83\x8b\x81[\x83v\x82\xaa\x90[\x82\xb7\x82\xac\x82\xdc\x82\xb7";
// "EE"/" はループの外では使えません"
constexpr char kBreakOutside[] =
    "EE\x22/\x22 \x82\xcd\x83\x8b\x81[\x83v\x82\xcc\x8aO\x82\xc5\x82\xcd\x8eg\x82\xa6\x82\xdc\x82"
    "\xb9\x82\xf1";
// "EE"/" が同一ループ内に複数あります"
constexpr char kSecondBreak[] =
    "EE\x22/\x22 \x82\xaa\x93\xaf\x88\xea\x83\x8b\x81[\x83v\x93\xe0\x82\xc9\x95\xa1\x90\x94\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb7";
// "EEループの始まりと対応していません"
constexpr char kEndWithoutStart[] =
    "EE\x83\x8b\x81[\x83v\x82\xcc\x8en\x82\xdc\x82\xe8\x82\xc6\x91\xce\x89\x9e\x82\xb5\x82\xc4\x82"
    "\xa2\x82\xdc\x82\xb9\x82\xf1";
// "WWﾙｰﾌﾟ内に音符または休符がありません（ﾙｰﾌﾟ削除）"
constexpr char kEmptyBody[] =
    "WW\xd9\xb0\xcc\xdf\x93\xe0\x82\xc9\x89\xb9\x95\x84\x82\xdc\x82\xbd\x82\xcd\x8bx\x95\x84\x82"
    "\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81i\xd9\xb0\xcc\xdf\x8d\xed\x8f\x9c\x81j";
// "EEループ回数が 255 を超えています"
constexpr char kCountTooHigh[] =
    "EE\x83\x8b\x81[\x83v\x89\xf1\x90\x94\x82\xaa 255 \x82\xf0\x92\xb4\x82\xa6\x82\xc4\x82\xa2\x82"
    "\xdc\x82\xb7";
// "WWループ回数が 0 回です（ﾙｰﾌﾟ削除）"
constexpr char kCountZero[] =
    "WW\x83\x8b\x81[\x83v\x89\xf1\x90\x94\x82\xaa 0 \x89\xf1\x82\xc5\x82\xb7\x81i\xd9\xb0\xcc\xdf"
    "\x8d\xed\x8f\x9c\x81j";
// "EE永久ループはこのﾈｽﾄﾚﾍﾞﾙでは使えません"
constexpr char kEndlessNested[] =
    "EE\x89i\x8bv\x83\x8b\x81[\x83v\x82\xcd\x82\xb1\x82\xcc\xc8\xbd\xc4\xda\xcd\xde\xd9\x82\xc5\x82"
    "\xcd\x8eg\x82\xa6\x82\xdc\x82\xb9\x82\xf1";
// "EE永久ループ内では "/" は使えません"
constexpr char kBreakInEndless[] =
    "EE\x89i\x8bv\x83\x8b\x81[\x83v\x93\xe0\x82\xc5\x82\xcd \x22/\x22 \x82\xcd\x8eg\x82\xa6\x82\xdc"
    "\x82\xb9\x82\xf1";
// "WW１回ループ内に "/" があります（展開）"
constexpr char kBreakInSinglePass[] =
    "WW\x82P\x89\xf1\x83\x8b\x81[\x83v\x93\xe0\x82\xc9 \x22/\x22 \x82\xaa\x82\xa0\x82\xe8\x82\xdc"
    "\x82\xb7\x81i\x93W\x8aJ\x81j";

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
