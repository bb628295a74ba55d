#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "compile_helpers.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "support/text.h"

namespace {

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override { t_.Add(0, kEventStartOfTrack); }
  // Compiles the working list; checks the returned length.
  std::string Compile() {
    int length = CompileTrackStream(cc_, resolution_);
    EXPECT_EQ(static_cast<size_t>(length), TrackStream(cc_).Length());
    return Dump(TrackStream(cc_));
  }
  std::string Played() {
    std::string error;
    auto notes = DecodeStream(TrackStream(cc_).Begin(), TrackStream(cc_).Length(), 192, &error);
    EXPECT_EQ("", error);
    return ToString(notes);
  }
  // time:kind per record, void records as "v".
  std::string Times() {
    std::string text;
    for (int i = 0; i < cc_.events.Count(); ++i) {
      const EventRecord& r = cc_.events.At(i);
      text += std::to_string(r.time) + ":" +
              (r.kind == kEventVoid ? std::string("v") : std::to_string(r.kind)) + " ";
    }
    return text;
  }

  CompileContext cc_;
  TableBuilder t_{cc_};
  uint16_t resolution_ = 192;
};

// Tracks of notes alone: stream bytes and what a player makes of them.
TEST_F(StreamTest, NoteTracks) {
  struct Case {
    std::vector<std::array<int, 4>> notes;  // time, note, length, accent (0: none)
    int end;
    const char* stream;
    const char* played;  // nullptr: not played back
  } cases[] = {
      {{}, 0, "255, 0", ""},
      {{{0, 60, 48}, {48, 62, 48}, {96, 64, 48}},
       144,
       "30, 32, 34, 255, 0",
       "0:60/48 48:62/48 96:64/48 "},
      // The octave base follows the notes.
      {{{0, 127, 48}, {48, 0, 48}, {96, 60, 48}, {144, 89, 48}},
       192,
       "63, 96, 31, 63, 0, 0, 63, 24, 36, 63, 48, 41, 255, 0",
       "0:127/48 48:0/48 96:60/48 144:89/48 "},
      // Chord notes have step zero.
      {{{0, 60, 48}, {0, 64, 48}, {0, 67, 48}},
       48,
       "94, 0, 98, 0, 37, 255, 0",
       "0:60/48 0:64/48 0:67/48 "},
      // The length register needs three notes in a row.
      {{{0, 60, 96}, {96, 62, 96}, {192, 64, 48}}, 240, "158, 96, 160, 96, 34, 255, 0", nullptr},
      // Accent; own length with step = length (two-byte number); own step;
      // own length and step with a three-byte length.
      {{{0, 60, 48, 100}, {48, 60, 300}, {348, 60, 48}, {400, 60, 5000}},
       410,
       "30, 253, 100, 158, 241, 44, 94, 52, 222, 255, 136, 19, 10, 255, 0",
       "0:60/48!100 48:60/300 348:60/48 400:60/5000 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stream);
    TableBuilder t(cc_);
    t.Add(0, kEventStartOfTrack);
    for (auto [time, note, length, accent] : c.notes)
      t.Note(time, note, length, accent ? accent : 255);
    t.End(c.end);
    EXPECT_EQ(c.stream, Compile());
    if (c.played) EXPECT_EQ(c.played, Played());
  }
}

TEST_F(StreamTest, ControlEventsDoNotBreakTheLengthRegisterRun) {
  t_.Notes({{0, 60, 48}, {48, 62, 96}});
  t_.Add(144, kEventChannel, 3);
  t_.Notes({{144, 64, 96}, {240, 65, 96}});
  t_.End(336);
  EXPECT_EQ("30, 62, 96, 32, 188, 3, 34, 35, 255, 0", Compile());
}

TEST_F(StreamTest, RestsAfterControlEvents) {
  t_.Add(0, kEventChannel, 2);
  t_.Add(48, kEventAbsoluteGate, 0, 40);
  t_.Add(48, kEventRelativeGate, 0, 0xfffa);
  t_.Add(48, kEventNotesHeld);
  t_.Add(48, kEventNotesRelease);
  t_.Add(148, kEventProgram, 5, 65535);
  t_.Add(148, kEventAttribute, 129, 90);     // plain velocity
  t_.Add(148, kEventAttribute, 129, 10003);  // gradual velocity
  t_.Add(148, kEventAttribute, 7, 100);
  t_.Add(148, kEventDirectOut, 0, 2);
  t_.Add(148, kEventPhaseMark, 0, 0);
  t_.End(148);
  EXPECT_EQ(
      "188, 2, 61, 190, 40, 0, 191, 250, 255, 255, 1, 255, 2, 60, 100, 189, 5, 255, 255, "
      "252, 90, 127, 129, 19, 39, 127, 7, 100, 0, 255, 4, 2, 255, 0",
      Compile());
}

TEST_F(StreamTest, CountedLoops) {
  int loop = t_.Open(0);
  t_.Notes({{0, 60, 48}, {48, 62, 48}});
  t_.Close(loop, 96, 2, 192);
  t_.End(192);
  t_.CheckLoops();
  EXPECT_EQ("124, 2, 30, 32, 126, 3, 0, 255, 0", Compile());
  EXPECT_EQ(2, t_.Loop(loop).body_offset);
  EXPECT_EQ("0:60/48 48:62/48 96:60/48 144:62/48 ", Played());
}

TEST_F(StreamTest, LoopBreakWordLandsBehindTheLoopEnd) {
  int loop = t_.Open(0);
  t_.Note(0, 60, 48);
  t_.Break(loop, 48);
  t_.Note(48, 62, 48);
  t_.Close(loop, 96, 3, 240);
  t_.Note(240, 64, 48);
  t_.End(288);
  t_.CheckLoops();
  EXPECT_EQ("124, 3, 30, 125, 6, 0, 32, 126, 6, 0, 34, 255, 0", Compile());
  EXPECT_EQ("0:60/48 48:62/48 96:60/48 144:62/48 192:60/48 240:64/48 ", Played());
}

TEST_F(StreamTest, NestedLoopsAndEndlessLoop) {
  int outer = t_.Open(0);
  t_.Note(0, 60, 48);
  int inner = t_.Open(48);
  t_.Note(48, 62, 24);
  t_.Close(inner, 72, 2, 96);
  t_.Close(outer, 96, 2, 192);
  int endless = t_.Open(192);
  t_.Note(192, 64, 48);
  t_.Close(endless, 240, -1, 240);
  t_.End(240);
  t_.CheckLoops();
  EXPECT_EQ("124, 2, 30, 124, 2, 160, 24, 126, 3, 0, 126, 9, 0, 124, 255, 34, 255, 3, 3, 0, 255, 0",
            Compile());
  std::string error;
  auto notes = DecodeStream(TrackStream(cc_).Begin(), TrackStream(cc_).Length(), 192, &error, 2);
  EXPECT_EQ("", error);
  EXPECT_EQ("0:60/48 48:62/24 72:62/24 96:60/48 144:62/24 168:62/24 192:64/48 240:64/48 ",
            ToString(notes));
}

TEST_F(StreamTest, StateAtLoopEndIsTheStateAtLoopStart) {
  int loop = t_.Open(0);
  t_.Notes({{0, 100, 96}, {96, 100, 96}, {192, 100, 96}});
  t_.Close(loop, 288, 2, 576);
  t_.Note(576, 60, 48);
  t_.End(624);
  t_.CheckLoops();
  EXPECT_EQ("124, 2, 62, 96, 63, 60, 40, 40, 40, 126, 8, 0, 30, 255, 0", Compile());
  EXPECT_EQ("0:100/96 96:100/96 192:100/96 288:100/96 384:100/96 480:100/96 576:60/48 ", Played());
}

TEST_F(StreamTest, LoopWithCountZeroIsRemoved) {
  t_.Note(0, 59, 48);
  int loop = t_.Open(48);
  t_.Notes({{48, 60, 48}, {96, 62, 48}});
  t_.Close(loop, 144, 0, 144);
  t_.Note(144, 64, 48);
  t_.End(192);
  t_.CheckLoops();
  EXPECT_EQ("0:143 0:59 48:v 48:v 96:v 144:v 48:v 48:64 96:142 ", Times());
  SettleVoidTimes(cc_);
  EXPECT_EQ("0:143 0:59 48:v 48:v 48:v 48:v 48:v 48:64 96:142 ", Times());
  EXPECT_EQ("29, 34, 255, 0", Compile());
}

TEST_F(StreamTest, LoopRemovedInsideRepeatedLoopLeavesPlayedTimes) {
  // [c [d]0 / e [f]0 ]3 g: c e c e c g, the track ending at 288.
  int outer = t_.Open(0);
  t_.Note(0, 60, 48);
  int before = t_.Open(48);
  t_.Note(48, 62, 48);
  t_.Close(before, 96, 0, 96);
  t_.Break(outer, 96);
  t_.Note(96, 64, 48);
  int after = t_.Open(144);
  t_.Note(144, 65, 48);
  t_.Close(after, 192, 0, 192);
  t_.Close(outer, 192, 3, 480);
  t_.Note(480, 67, 48);
  t_.End(528);
  t_.CheckLoops();
  SettleVoidTimes(cc_);
  EXPECT_EQ(
      "0:143 0:129 0:60 48:v 48:v 48:v 48:v 48:130 48:64 96:v 96:v 96:v 96:v 96:131 "
      "240:132 240:67 288:142 ",
      Times());
  EXPECT_EQ("124, 3, 30, 125, 6, 0, 34, 126, 6, 0, 37, 255, 0", Compile());
  EXPECT_EQ("0:60/48 48:64/48 96:60/48 144:64/48 192:60/48 240:67/48 ", Played());
}

TEST_F(StreamTest, SinglePassWithBreakIsUnrolled) {
  int loop = t_.Open(0);
  t_.Notes({{0, 60, 48}, {48, 62, 48}});
  t_.Break(loop, 96);
  t_.Note(96, 64, 48);
  t_.Close(loop, 144, 1, 96);
  t_.Note(96, 65, 48);
  t_.End(144);
  t_.CheckLoops();
  SettleVoidTimes(cc_);
  EXPECT_EQ("0:143 0:v 0:60 48:62 96:v 96:v 96:v 96:v 96:65 144:142 ", Times());
  EXPECT_EQ("30, 32, 35, 255, 0", Compile());
}

TEST_F(StreamTest, EmptyLoopsAreRemovedWithoutMovingTime) {
  int empty = t_.Open(0);
  t_.Close(empty, 0, 5, 0);
  int only_break = t_.Open(0);
  t_.Break(only_break, 0);
  t_.Close(only_break, 0, 3, 0);
  int single = t_.Open(0);  // one pass without a break stays
  t_.Note(0, 60, 48);
  t_.Close(single, 48, 1, 48);
  t_.End(48);
  t_.CheckLoops();
  SettleVoidTimes(cc_);
  EXPECT_EQ("0:143 0:v 0:v 0:v 0:v 0:v 0:v 0:v 0:129 0:60 48:131 48:132 48:142 ", Times());
  EXPECT_EQ("124, 1, 30, 126, 2, 0, 255, 0", Compile());
}

TEST_F(StreamTest, LoopInsideRemovedLoopIsNotCheckedAgain) {
  int outer = t_.Open(0);
  int inner = t_.Open(0);
  t_.Note(0, 60, 48);
  t_.Close(inner, 48, 0, 48);
  t_.Close(outer, 48, 0, 48);
  t_.Note(48, 62, 48);
  t_.End(96);
  t_.CheckLoops();
  // The outer loop's length (48) is removed once.
  EXPECT_EQ("0:143 0:v 0:v 0:v 48:v 48:v 48:v 0:v 0:62 48:142 ", Times());
  SettleVoidTimes(cc_);
  EXPECT_EQ("32, 255, 0", Compile());
}

TEST_F(StreamTest, RepeatedLoopWithoutTimePlaysOnce) {
  for (int count : {-1, 2, 255}) {
    SCOPED_TRACE(count);
    TableBuilder t(cc_);
    t.Add(0, kEventStartOfTrack);
    int loop = t.Open(0);
    t.Add(0, kEventChannel, 4);
    t.Close(loop, 0, count, 0);
    t.Note(0, 60, 48);
    t.End(48);
    t.CheckLoops();
    SettleVoidTimes(cc_);
    EXPECT_EQ("188, 4, 30, 255, 0", Compile());
  }
}

TEST_F(StreamTest, RepeatedLoopLeftWithoutTimeByARemovedLoopPlaysOnce) {
  for (int count : {-1, 3}) {
    SCOPED_TRACE(count);
    TableBuilder t(cc_);
    t.Add(0, kEventStartOfTrack);
    // [[c]0 ch1]COUNT d: the outer exit was stamped with every pass of c.
    const int exit = count < 0 ? 48 : 48 * count;
    int outer = t.Open(0);
    int removed = t.Open(0);
    t.Note(0, 60, 48);
    t.Close(removed, 48, 0, 48);
    t.Add(48, kEventChannel, 1);
    t.Close(outer, 48, count, exit);
    t.Note(exit, 62, 48);
    t.End(exit + 48);
    t.CheckLoops();
    SettleVoidTimes(cc_);
    EXPECT_EQ("188, 1, 32, 255, 0", Compile());
  }
}

TEST_F(StreamTest, UnclosedLoopIsReportedAtItsStartAndLeftAlone) {
  t_.Open(0);  // loop 1, opened at line 1, column 7
  t_.Note(0, 60, 48);
  t_.End(48);
  t_.CheckLoops();
  EXPECT_EQ("0:143 0:129 0:60 48:142 ", Times());
  EXPECT_EQ("  1 :   7 : Error 対応するループの終わりがありません\n", ReportBufferUtf8(cc_));
}

TEST_F(StreamTest, DirectOutIndexBeyondAByteIsAnError) {
  t_.Add(0, kEventDirectOut, 0, 255);
  t_.End(0);
  Compile();
  EXPECT_EQ("", ReportBufferUtf8(cc_));
  TableBuilder t(cc_);
  t.Add(0, kEventStartOfTrack);
  t.Add(0, kEventDirectOut, 0, 256);
  t.Add(0, kEventDirectOut, 0, 300);
  t.End(0);
  Compile();
  EXPECT_EQ(" -1 :  -1 : Error ダイレクト出力が 256 個を超えています\n", ReportBufferUtf8(cc_));
}

TEST_F(StreamTest, StreamBeyondItsSizeWordIsAnError) {
  for (int i = 0; i < 21844; ++i) t_.Note(i * 48, i % 2 ? 127 : 0, 48);  // 3 bytes each
  t_.End(21844 * 48);
  Compile();
  EXPECT_EQ(65534u, TrackStream(cc_).Length());
  EXPECT_EQ(" -1 :  -1 : Error トラックのデータが 65533 バイトを超えています\n",
            ReportBufferUtf8(cc_));
}

TEST_F(StreamTest, LongStepsAndRestsAreSplitNotWrapped) {
  t_.Note(0, 60, 48);
  t_.Add(100000, kEventChannel, 1);
  t_.Note(300000, 62, 48);
  t_.Add(365536, kEventEndOfTrack);
  EXPECT_EQ(
      "94, 255, 255, 255, 60, 255, 161, 134, 188, 1, 60, 255, 255, 255, 60, 255, 255, 255, "
      "60, 255, 255, 255, 60, 253, 67, 96, 255, 255, 255, 60, 1, 255, 0",
      Compile());
  EXPECT_EQ("0:60/48 300000:62/48 ", Played());
}

TEST_F(StreamTest, EventBeforeTheNoteGivesStepZero) {
  t_.Note(100, 60, 48);
  t_.Add(50, kEventChannel, 1);
  t_.End(98);
  EXPECT_EQ("60, 100, 94, 0, 188, 1, 61, 255, 0", Compile());
}

TEST_F(StreamTest, ResolutionSetsTheStartingLengthRegister) {
  resolution_ = 480;
  t_.Note(0, 60, 120);
  t_.Add(120, kEventChannel, 0);
  t_.End(240);
  EXPECT_EQ("30, 188, 0, 61, 255, 0", Compile());
}

}  // namespace
