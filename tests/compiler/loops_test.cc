// Loops as the score commands leave them, before the loop check: loop
// events with their times, loop records and messages.
#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/commands/commands.h"
#include "compiler/driver/report.h"

namespace {

TEST(LoopsTest, Scores) {
  CheckParseFirst({
      // Empty body and restored default length.
      {"A []3 [l8 c]2 c",
       "0 143 0 0\n0 129 0 1\n0 131 0 1\n0 132 0 0\n0 129 0 2\n0 60 255 24\n24 131 0 2\n"
       "48 132 0 0\n48 60 255 48\n96 142 0 0\n"
       "  0 :   3 : Warning ﾙｰﾌﾟ内に音符または休符がありません（ﾙｰﾌﾟ削除）\n"},
      // Times beyond the range of the table stop at its end. A track longer than
      // that is an error: the notes behind it would otherwise sound at one tick.
      {"A [[[[[c1]255]255]255]255]255 c",
       "0 143 0 0\n0 129 0 1\n0 129 0 2\n0 129 0 3\n0 129 0 4\n0 129 0 5\n0 60 255 192\n"
       "192 131 0 5\n48960 132 0 0\n48960 131 0 4\n12484800 132 0 0\n12484800 131 0 3\n"
       "2147483647 132 0 0\n2147483647 131 0 2\n2147483647 132 0 0\n2147483647 131 0 1\n"
       "2147483647 132 0 0\n2147483647 60 255 48\n2147483647 142 0 0\n"
       "  0 :  18 : Error トラックの演奏時間が長すぎます\n"},
      // Bar line after a loop that stopped at its break.
      // The single pass ends at the break, before the last bar start: the bar
      // line pads up to the next bar counted from that start, which is nothing.
      {"A [c4 / r4 |* r4]1 |4 c",
       "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 130 0 1\n144 131 0 1\n48 132 0 0\n"
       "48 60 255 48\n96 142 0 0\n"
       "  0 :   6 : Warning １回ループ内に \"/\" があります（展開）\n"},
  });
}

TEST(LoopsTest, PassesMoveThePositionAsIfWrittenOut) {
  // The last pass stops at the break.
  EXPECT_EQ(ParseFirst("A [c4 / d4]3"),
            "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 130 0 1\n48 62 255 48\n96 131 0 1\n"
            "240 132 0 0\n240 142 0 0\n");
  const LoopRecord* loop = TestContext().loops.At(1);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->start_column, 2);
  EXPECT_EQ(loop->start_line, 0);
  EXPECT_EQ(loop->break_column, 6);
  EXPECT_EQ(loop->start_event, 1);
  EXPECT_EQ(loop->break_event, 3);
  EXPECT_EQ(loop->end_event, 5);
  EXPECT_EQ(loop->count, 3);
  EXPECT_EQ(loop->saved_default_length, 48);
  EXPECT_EQ(loop->body_offset, -1);
  EXPECT_EQ(loop->break_offset, -1);
  EXPECT_EQ(TestContext().loops.At(0), nullptr);
  EXPECT_EQ(TestContext().loops.At(2), nullptr);
}

TEST(LoopsTest, SinglePassNoPassAndEndless) {
  EXPECT_EQ(ParseFirst("A [c4] [c4]0 [c4]* c"),
            "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 131 0 1\n48 132 0 0\n48 129 0 2\n"
            "48 60 255 48\n96 131 0 2\n96 132 0 0\n96 129 0 3\n96 60 255 48\n144 131 0 3\n"
            "144 132 0 0\n144 60 255 48\n192 142 0 0\n"
            "  0 :  11 : Warning ループ回数が 0 回です（ﾙｰﾌﾟ削除）\n");
  EXPECT_EQ(TestContext().loops.At(1)->count, 1);
  EXPECT_EQ(TestContext().loops.At(2)->count, 0);
  EXPECT_EQ(TestContext().loops.At(3)->count, -1);
}

TEST(LoopsTest, BreakMessagesStandAtTheBreak) {
  EXPECT_EQ(ParseFirst("A [c/d]*\n"
                       "A [e/f]\n"),
            "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 130 0 1\n48 62 255 48\n96 131 0 1\n"
            "96 132 0 0\n96 129 0 2\n96 64 255 48\n144 130 0 2\n144 65 255 48\n192 131 0 2\n"
            "144 132 0 0\n144 142 0 0\n"
            "  0 :   4 : Error 永久ループ内では \"/\" は使えません\n"
            "  1 :   4 : Warning １回ループ内に \"/\" があります（展開）\n");
  // A second break replaces the first.
  EXPECT_EQ(ParseFirst("A [c / d / e]2"),
            "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 130 0 1\n48 62 255 48\n96 130 0 1\n"
            "96 64 255 48\n144 131 0 1\n240 132 0 0\n240 142 0 0\n"
            "  0 :   9 : Error \"/\" が同一ループ内に複数あります\n");
  EXPECT_EQ(TestContext().loops.At(1)->break_event, 5);
  EXPECT_EQ(TestContext().loops.At(1)->break_column, 9);
}

TEST(LoopsTest, LoopsOpenAtTheEndOfATrackStayOpen) {
  TrackRun run = ParseTracks("A [c4 [d4\nB ] c [e]2\n");
  ASSERT_EQ(run.tracks.size(), 2u);
  EXPECT_EQ(run.tracks[0],
            "0 143 0 0\n0 129 0 1\n0 60 255 48\n48 129 0 2\n48 62 255 48\n96 142 0 0\n");
  // The nesting starts afresh, the numbers count on.
  EXPECT_EQ(run.tracks[1],
            "0 143 0 0\n0 60 255 48\n48 129 0 3\n48 64 255 48\n96 131 0 3\n144 132 0 0\n"
            "144 142 0 0\n");
  EXPECT_EQ(run.report, "  1 :   2 : Error ループの始まりと対応していません\n");
  EXPECT_EQ(TestContext().loops.At(1)->end_event, -1);
  EXPECT_EQ(TestContext().loops.At(2)->end_event, -1);
  EXPECT_EQ(TestContext().loops.At(3)->end_event, 4);
}

TEST(LoopsTest, ThirtyOneLevelsDeep) {
  std::string expected = "0 143 0 0\n";
  for (int n = 1; n <= 31; ++n) expected += "0 129 0 " + std::to_string(n) + "\n";
  expected += "0 60 255 48\n48 62 255 48\n";
  for (int n = 31; n >= 1; --n) expected += "96 131 0 " + std::to_string(n) + "\n96 132 0 0\n";
  expected += "96 142 0 0\n";
  // The thirty-second "[" opens nothing; its "/" and its "]3" are swallowed
  // and its body is a single pass.
  EXPECT_EQ(ParseFirst("A " + Repeat("[", 31) + "[c/d]3" + Repeat("]", 31)),
            expected + "  0 :  33 : Error ループが深すぎます\n");
  EXPECT_NE(TestContext().loops.At(31), nullptr);
  EXPECT_EQ(TestContext().loops.At(32), nullptr);
}

TEST(LoopsTest, TheThousandTwentyFourthLoopOpensNothing) {
  std::string score;
  for (int line = 0; line < 11; ++line)
    score += "A " + Repeat("[c]2 ", line < 10 ? 100 : 23) + "\n";
  score += "A [c/d]3 e\nB [c]2 ]\n";
  TrackRun run = ParseTracks(score);
  ASSERT_EQ(run.tracks.size(), 2u);
  const std::string& a = run.tracks[0];
  const std::string tail = "98208 60 255 48\n98256 62 255 48\n98304 64 255 48\n98352 142 0 0\n";
  ASSERT_GT(a.size(), tail.size());
  EXPECT_EQ(a.substr(a.size() - tail.size()), tail);
  EXPECT_EQ(run.tracks[1], "0 143 0 0\n0 60 255 48\n48 142 0 0\n");
  EXPECT_EQ(run.report,
            " 11 :   2 : Error ループが多すぎます\n"
            " 12 :   2 : Error ループが多すぎます\n"
            " 12 :   7 : Error ループの始まりと対応していません\n");
  EXPECT_NE(TestContext().loops.At(1023), nullptr);
  EXPECT_EQ(TestContext().loops.At(1024), nullptr);
  EXPECT_EQ(TestContext().loops.At(-1), nullptr);
}

TEST(LoopsTest, HugeNumbersOfLoopsStayInBounds) {
  std::string score;
  for (int line = 0; line < 200; ++line) score += "A " + Repeat("[r]2", 500) + "\n";
  TrackRun run = ParseTracks(score);
  EXPECT_EQ(3, HighestSeverity(TestContext()));
  EXPECT_EQ(Occurrences(run.report, "ループが多すぎます"), kMaxReportedMessages);
  EXPECT_EQ(Occurrences(run.report, "Error"), kMaxReportedMessages + 1);  // and the cap line

  score = "A ";
  for (int line = 0; line < 5; ++line) score += Repeat("[", 2000) + "\n+ ";
  score += "c\n";
  for (int line = 0; line < 10; ++line) score += "+ " + Repeat("]2", 1000) + "\n";
  run = ParseTracks(score);
  EXPECT_EQ(Occurrences(run.report, "ループが深すぎます"), kMaxReportedMessages);
  EXPECT_EQ(Occurrences(run.report, "Error"), kMaxReportedMessages + 1);
  // 2^31 passes of the note: the track time stops at its largest value (the
  // error saying so comes after the report's cap).
  EXPECT_NE(run.tracks[0].find("2147483647 132 0 0\n2147483647 142 0 0\n"), std::string::npos);
}

}  // namespace
