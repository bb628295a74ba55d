// Phase marks, their order across tracks and the alignment of track times.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "compile_helpers.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "support/text.h"

namespace {

using TrackMarks = std::vector<std::pair<std::string, int>>;

// The compilation these tests drive the phase stage of.
CompileContext& Phases() {
  static CompileContext cc;
  return cc;
}

// Resets the phase table and the report, then records the marks of each
// track (name, time) in order, closing every track and the song. Returns
// the name index of every mark, track by track, space-separated.
std::string RecordMarks(const std::vector<TrackMarks>& tracks) {
  ResetPhaseTable(Phases());
  ClearCompilerReport(Phases());
  std::string indexes;
  for (const TrackMarks& track : tracks) {
    for (const auto& [name, time] : track)
      indexes += std::to_string(AddPhaseMark(Phases(), name.c_str(), time)) + " ";
    EndTrackPhases(Phases());
    indexes += "| ";
  }
  EndSongPhases(Phases());
  return indexes;
}

// Loads records (kind, time) into the working list, aligns them and prints
// "TIME KIND" per record.
std::string Align(const std::vector<std::pair<int, int>>& records) {
  EventTable& events = Phases().events;
  events.ClearWorking();
  for (const auto& [kind, time] : records) {
    int value = 0;
    int k = kind;
    if (kind < 0) {  // a phase mark with name index -kind - 1
      value = -kind - 1;
      k = kEventPhaseMark;
    }
    events.Append(
        EventRecord{time, static_cast<uint8_t>(k), 0, static_cast<uint16_t>(value), -1, -1});
  }
  AlignTrackPhases(Phases());
  std::string out;
  for (int i = 0; i < events.Count(); ++i) {
    out += std::to_string(events.At(i).time) + " " + std::to_string(events.At(i).kind) + "\n";
  }
  return out;
}

std::string Times(const std::vector<std::string>& names) {
  std::string out;
  for (int i = 0; i < static_cast<int>(names.size()); ++i)
    out += names[i] + "=" + std::to_string(PhaseTime(Phases(), i)) + " ";
  return out;
}

TEST(PhasesTest, OrderIsTakenFromTheTracksNotFromFirstUse) {
  // x is met last but stands first wherever it meets another phase; z stands
  // first in the last track and later in the others, so that track waits.
  EXPECT_EQ("0 1 | 2 0 | 2 1 | 1 | ", RecordMarks({{{"y", 300}, {"z", 400}},
                                                   {{"x", 100}, {"y", 200}},
                                                   {{"x", 50}, {"z", 60}},
                                                   {{"z", 0}}}));
  EXPECT_TRUE(OrderPhases(Phases()));
  EXPECT_EQ("", WithoutPositions(ReportBufferUtf8(Phases())));
  EXPECT_EQ("y=300 z=400 x=100 ", Times({"y", "z", "x"}));
  EXPECT_EQ("0 143\n400 145\n400 60\n448 142\n", Align({{143, 0}, {-2, 0}, {60, 0}, {142, 48}}));
}

TEST(PhasesTest, CircularOrderIsReported) {
  // Each pair meets in one track only, and the three orders form a circle.
  RecordMarks({{{"y", 100}, {"x", 200}}, {{"z", 0}, {"y", 50}}, {{"x", 300}, {"z", 310}}});
  EXPECT_FALSE(OrderPhases(Phases()));
  EXPECT_EQ("Error 小節の順序に不整合があります\n", WithoutPositions(ReportBufferUtf8(Phases())));
  EXPECT_EQ("0 143\n0 145\n50 145\n60 142\n", Align({{143, 0}, {-3, 0}, {-1, 50}, {142, 60}}));
}

TEST(PhasesTest, SecondUseInOneTrackIsRefused) {
  EXPECT_EQ("0 -1 | 0 | ", RecordMarks({{{"x", 0}, {"x", 10}}, {{"x", 5}}}));
  EXPECT_EQ("Error すでに使われている小節名です\n", WithoutPositions(ReportBufferUtf8(Phases())));
  EXPECT_TRUE(OrderPhases(Phases()));
  EXPECT_EQ(5, PhaseTime(Phases(), 0));
}

TEST(PhasesTest, DisagreeingTracksAreReportedAndMoveNothing) {
  RecordMarks({{{"x", 0}, {"y", 100}}, {{"x", 50}, {"y", 60}}, {{"y", 0}, {"x", 10}}});
  EXPECT_FALSE(OrderPhases(Phases()));
  EXPECT_EQ("Error 小節の順序に不整合があります\n", WithoutPositions(ReportBufferUtf8(Phases())));
  EXPECT_EQ("0 143\n0 145\n100 145\n120 142\n", Align({{143, 0}, {-1, 0}, {-2, 100}, {142, 120}}));
}

TEST(PhasesTest, PhasesThatNeverMeetCannotBeOrdered) {
  RecordMarks({{{"x", 0}, {"y", 10}}, {{"x", 0}, {"y", 20}}, {{"z", 0}}, {{"z", 5}}});
  EXPECT_FALSE(OrderPhases(Phases()));
  EXPECT_EQ("Error 小節の順序に不整合があります\n", WithoutPositions(ReportBufferUtf8(Phases())));
}

TEST(PhasesTest, MarkListHoldsAHundredTwentyEightEntries) {
  // Three entries per track: tracks 0..41 fill 126 entries, track 42 stores
  // its two marks and its end is the 129th entry; later entries are dropped.
  std::vector<TrackMarks> tracks;
  for (int i = 0; i < 50; ++i) tracks.push_back({{"a", i}, {"b", 100 + i}});
  RecordMarks(tracks);
  EXPECT_EQ("Error 小節名が多すぎます\n", WithoutPositions(ReportBufferUtf8(Phases())));
  EXPECT_TRUE(OrderPhases(Phases()));
  EXPECT_EQ("a=42 b=142 ", Times({"a", "b"}));
  // After an overflow the marks turn void and nothing moves.
  EXPECT_EQ("0 143\n10 145\n20 142\n", Align({{143, 0}, {-1, 10}, {142, 20}}));
}

TEST(PhasesTest, ScoreWithTwoPhases) {
  // A reaches x at 768 and y at 1152, B at 960 and 1248.
  EXPECT_EQ("", Compile("A c1 c1 c1 c1 \"x\" c1 c1 \"y\" c\n"
                        "B r1 r1 r1 r1 r1 \"x\" r1 r2 \"y\" c\n"));
  EXPECT_EQ(
      "0 143 0 0\n0 60 255 192\n192 60 255 192\n384 60 255 192\n576 60 255 192\n"
      "960 145 0 0\n960 60 255 192\n1152 60 255 192\n1344 145 0 1\n1344 60 255 48\n1392 142 0 0\n",
      Events(0));
  // A void record takes the time of the record behind it.
  EXPECT_EQ("0 143 0 0\n1344 145 0 0\n1344 145 0 1\n1344 60 255 48\n1392 142 0 0\n", Events(1));
}

TEST(PhasesTest, ScoreWithDelaysCascadingOverFourTracks) {
  EXPECT_EQ("", Compile("A \"p\" c1 \"q\" c1 \"r\" c\n"
                        "B r2 \"p\" c2 \"q\" c1 \"r\" c\n"
                        "C r1 \"p\" c2 \"q\" c4 \"r\" c\n"
                        "D \"q\" c \"r\" c \"solo\"\n"));
  EXPECT_EQ(
      "0 143 0 0\n192 145 0 0\n192 60 255 192\n384 145 0 1\n384 60 255 192\n"
      "576 145 0 2\n576 60 255 48\n624 142 0 0\n",
      Events(0));
  EXPECT_EQ(
      "0 143 0 0\n192 145 0 0\n192 60 255 96\n384 145 0 1\n384 60 255 192\n"
      "576 145 0 2\n576 60 255 48\n624 142 0 0\n",
      Events(1));
  EXPECT_EQ(
      "0 143 0 0\n192 145 0 0\n192 60 255 96\n384 145 0 1\n384 60 255 48\n"
      "576 145 0 2\n576 60 255 48\n624 142 0 0\n",
      Events(2));
  // D waits 384 ticks at q and 144 more at r; its own name moves nothing.
  EXPECT_EQ(
      "0 143 0 0\n384 145 0 1\n384 60 255 48\n576 145 0 2\n576 60 255 48\n624 145 0 3\n"
      "624 142 0 0\n",
      Events(3));
}

TEST(PhasesTest, ScoreWithManyTracksOverflowsTheMarkList) {
  // With n tracks, 127 - n marks fit: one track holds 126 marks.
  std::string names;
  for (int i = 0; i < 126; ++i) names += " \"n" + std::to_string(i) + "\"";
  EXPECT_EQ("", Compile("A" + names + "\n"));
  EXPECT_EQ(1, Occurrences(Compile("A" + names + " \"last\"\n"), "小節名が多すぎます"));
  // Forty tracks with two marks each; odd tracks reach them later.
  std::string score;
  for (int i = 0; i < 50; ++i) {
    score += "T" + std::to_string(10 + i) + (i % 2 ? " r1" : "") + " \"a\" c \"b\" c\n";
  }
  std::string messages = Compile(score);
  EXPECT_EQ(1, Occurrences(messages, "小節名が多すぎます"));
  EXPECT_EQ(0, Occurrences(messages, "小節の順序に不整合があります"));
  EXPECT_EQ("0 143 0 0\n0 145 0 0\n0 60 255 48\n48 145 0 1\n48 60 255 48\n96 142 0 0\n", Events(0));
  EXPECT_EQ("0 143 0 0\n192 145 0 0\n192 60 255 48\n240 145 0 1\n240 60 255 48\n288 142 0 0\n",
            Events(1));
}

TEST(PhasesTest, ScoreWithTenThousandNames) {
  std::string score;
  for (int line = 0; line < 100; ++line) {
    score += "A";
    for (int i = 0; i < 100; ++i) score += " \"" + std::to_string(line * 100 + i) + "\"";
    score += "\nB \"" + std::to_string(line) + "\"\n";
  }
  EXPECT_EQ(1, Occurrences(Compile(score), "小節名が多すぎます"));
}

}  // namespace
