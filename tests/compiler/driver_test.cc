// The compile driver: track order, the report, results, limits and inputs
// that must neither crash nor hang.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "compile_helpers.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/driver.h"
#include "compiler/driver/report.h"
#include "compiler/song/events.h"

namespace {

// The report with the byte counts of the statistics lines left out: they
// belong to the track stream compiler.
std::string ReportWithoutBytes() {
  static const std::regex kBytes(" +[0-9]+ bytes\\.");
  return std::regex_replace(ReportUtf8(), kBytes, " N bytes.");
}

std::string TrackNames() {
  std::string names;
  for (int i = 0; i < CompiledTrackCount(); ++i) names += std::string(CompiledTrackName(i)) + ",";
  return names;
}

class DriverTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SetUpCompiler()); }
};

TEST_F(DriverTest, TracksInAscendingByteOrderOfTheirNames) {
  EXPECT_EQ(0, CompileScore("B\nA1\nA\nA\n"));
  EXPECT_EQ("A,A1,B,", TrackNames());
  EXPECT_EQ(
      "Track 'A'       0 ticks       2 events N bytes.\n"
      "Track 'A1'       0 ticks       2 events N bytes.\n"
      "Track 'B'       0 ticks       2 events N bytes.\n",
      ReportWithoutBytes());
  CompileScore("Ab\nA_\nAB\nA1\nZ\nA\n");
  EXPECT_EQ("A,A1,AB,A_,Ab,Z,", TrackNames());
}

TEST_F(DriverTest, NamesSharingTheirFirst32Bytes) {
  std::string prefix(32, 'N');
  CompileScore((prefix + "b\n" + prefix + "a\n" + prefix + "a\n").c_str());
  EXPECT_EQ(prefix + "," + prefix + ",", TrackNames());
  // The whole names tell the two tracks apart.
  EXPECT_EQ(prefix + "a", CompiledTrackFullName(0));
  EXPECT_EQ(prefix + "b", CompiledTrackFullName(1));
  EXPECT_EQ("", CompiledTrackFullName(2));
  CompileScore("B\nA\n");
  EXPECT_EQ("A", CompiledTrackFullName(0));
  EXPECT_EQ("B", CompiledTrackFullName(1));
}

TEST_F(DriverTest, EmptyTrackHoldsStartAndEnd) {
  CompileScore("A\n");
  int count = 0;
  const EventRecord* records = CompiledTrackEvents(0, &count);
  ASSERT_EQ(2, count);
  EXPECT_EQ(kEventStartOfTrack, records[0].kind);
  EXPECT_EQ(0, records[0].time);
  EXPECT_EQ(kEventEndOfTrack, records[1].kind);
  EXPECT_EQ(0, records[1].time);
  EXPECT_EQ(-1, records[1].link1);
  EXPECT_EQ(nullptr, CompiledTrackEvents(1, &count));
  EXPECT_EQ(0, count);
}

TEST_F(DriverTest, HeaderOnlyScore) {
  EXPECT_EQ(0, CompileScore("#title \"x\"\n#clock 96\n\n"));
  EXPECT_EQ(0, CompiledTrackCount());
  EXPECT_STREQ("", ReportText());
  EXPECT_GT(SongImageLength(), 0u);
  EXPECT_NE(nullptr, SongImageBegin());
}

TEST_F(DriverTest, ReaderErrorsDoNotStopLaterTracks) {
  EXPECT_EQ(3, CompileScore("A %X\nB\nC\n"));
  EXPECT_EQ(
      "  0 :   4 : Error 未定義マクロです\n"
      "Track 'A'       0 ticks       2 events N bytes.\n"
      "Track 'B'       0 ticks       2 events N bytes.\n"
      "Track 'C'       0 ticks       2 events N bytes.\n",
      ReportWithoutBytes());
}

TEST_F(DriverTest, WarningsOnlyGiveTwo) {
  EXPECT_EQ(2, ListScoreTokens(
                   "A \"open\n", [](const char*) {}, [](const ListedToken&) {}));
  EXPECT_EQ(3, ListScoreTokens(
                   "A \"open\nB %X\n", [](const char*) {}, [](const ListedToken&) {}));
  EXPECT_EQ(0, CompileScore("A\n"));
}

TEST_F(DriverTest, CompilingTwiceGivesTheSameResults) {
  const char* score = "#clock 96\nB %Y\nA %X(c)\n*A-B /* x\n";
  CompileScore(score);
  std::string report = ReportText();
  std::string image(reinterpret_cast<const char*>(SongImageBegin()), SongImageLength());
  CompileScore("C\n");
  CompileScore(score);
  EXPECT_EQ(report, ReportText());
  EXPECT_EQ(image, std::string(reinterpret_cast<const char*>(SongImageBegin()), SongImageLength()));
}

TEST_F(DriverTest, MoreThan128TracksIsAnError) {
  std::string score;
  for (int i = 0; i < 130; ++i) score += "T" + std::to_string(1000 + i) + "\n";
  EXPECT_EQ(3, CompileScore(score.c_str()));
  EXPECT_EQ(128, CompiledTrackCount());
  EXPECT_STREQ("T1127", CompiledTrackName(127));
  std::string report = ReportWithoutBytes();
  EXPECT_EQ(0u, report.find("128 :   0 : Error トラックが多すぎます\n"));
  EXPECT_EQ(std::string::npos, report.find("T1128"));
  // The listing of tokens stops at the same place.
  std::string tracks;
  ListScoreTokens(
      score.c_str(), [&tracks](const char*) { tracks += "."; }, [](const ListedToken&) {});
  EXPECT_EQ(128u, tracks.size());
}

TEST_F(DriverTest, ResolutionOutOfSixteenBitsIsClamped) {
  CompileScore("#clock 100000\nA\n");
  EXPECT_EQ(65535, Resolution(TestContext()));
  CompileScore("#clock 480\nA\n");
  EXPECT_EQ(480, Resolution(TestContext()));
}

TEST_F(DriverTest, ReleaseAndSetUpAgain) {
  CompileScore("A\n");
  ReleaseCompiler();
  ASSERT_TRUE(SetUpCompiler());
  EXPECT_EQ(0, CompileScore("B\n"));
  EXPECT_STREQ("B", CompiledTrackName(0));
}

// Random byte strings: no crash, hang or read out of bounds (the sanitizer
// build checks), and each text compiled again after another one gives the
// same image and report, so nothing leaks from one compilation to the next.
TEST_F(DriverTest, RandomBytes) {
  std::mt19937 random(7);
  auto result = [] {
    std::string all =
        std::string(ReportText()) + '|' +
        std::string(reinterpret_cast<const char*>(SongImageBegin()), SongImageLength());
    for (int track = 0; track < CompiledTrackCount(); ++track) {
      int count = 0;
      const EventRecord* records = CompiledTrackEvents(track, &count);
      for (int i = 0; i < count; ++i) {
        all += std::to_string(records[i].time) + ' ' + std::to_string(records[i].kind) + ' ' +
               std::to_string(records[i].param) + ' ' + std::to_string(records[i].value) + ',';
      }
    }
    return all;
  };
  std::string previous_text;
  CompileScore("");
  std::string previous_result = result();
  for (int round = 0; round < 300; ++round) {
    // Lines of random bytes, most of them starting as score lines, with the
    // characters that matter most to the reader and the commands mixed in.
    static const char* const kStarts[] = {"A", "B", "C", "%M", "@N", "+", "*A-B", "#clock 96"};
    std::string text;
    for (int line = random() % 40; line > 0; --line) {
      text += random() % 8 == 0 ? std::string(1, 'A' + random() % 26) : kStarts[random() % 8];
      for (int n = random() % 100; n > 0; --n) {
        text += random() % 3 == 0 ? static_cast<char>(1 + random() % 255)
                                  : "%M(),\"/[]{}c4&:V=|"[random() % 18];
      }
      text += '\n';
    }
    CompileScore(text.c_str());
    EXPECT_LE(CompiledTrackCount(), 128);
    std::string this_result = result();
    CompileScore(previous_text.c_str());
    ASSERT_EQ(previous_result, result()) << "round " << round;
    previous_text = text;
    previous_result = this_result;
  }
}

TEST_F(DriverTest, AFloodOfMessagesIsCappedAndTheCompilationRunsToItsEnd) {
  // Seven levels of twenty calls with an undefined command at the leaf: over
  // a million messages from a few hundred bytes.
  std::string score;
  for (int i = 1; i <= 6; ++i) {
    score += "%M" + std::to_string(i) + Repeat(" %M" + std::to_string(i + 1), 20) + "\n";
  }
  score += "%M7 x\nA %M1\nB c\n";
  EXPECT_EQ(3, CompileScore(Cp932FromUtf8(score).c_str()));
  const std::string report = ReportWithoutBytes();
  EXPECT_EQ(kMaxReportedMessages, Occurrences(report, "Error 未定義コマンドです\n"));
  const std::string tail = report.substr(report.find(" -1 :  -1 :"));
  EXPECT_EQ(
      " -1 :  -1 : Error メッセージが多すぎます（以降は省略）\n"
      "Track 'A'       0 ticks       2 events N bytes.\n"
      "Track 'B'      48 ticks       3 events N bytes.\n",
      tail);
}

// A stored line holds 4000 bytes: what stands behind them is lost, and the
// report says so where the line is cut, once per cut line.
TEST_F(DriverTest, LinesCutAtTheLimitAreWarnedWhereTheyAreCut) {
  const std::string score =
      "#title x\n"
      "A" +
      Repeat(" c", 3000) + "\n" +                 // 6001 bytes
      "%M" + std::string(3998, 'd') + "\n" +      // exactly 4000
      "B " + std::string(3998, 'c') + "\r\r\n" +  // 4000 once CRs go
      "// " + std::string(5000, 'x') + "\n" +     // a comment
      "+ " + std::string(4000, 'e') + "\n" +      // 4002
      "C c\n";
  EXPECT_EQ(2, CompileScore(score.c_str()));
  const std::string report = ReportWithoutBytes();
  EXPECT_EQ(
      "  1 : 4000 : Warning 行が 4000 バイトを超えています（以降は無視）\n"
      "  5 : 4000 : Warning 行が 4000 バイトを超えています（以降は無視）\n",
      report.substr(0, report.find("Track")));
  EXPECT_EQ(3, CompiledTrackCount());
  // An error in the kept part still raises the severity past the warning.
  EXPECT_EQ(3, CompileScore(("A x" + std::string(5000, 'c')).c_str()));
  const std::string errors = ReportWithoutBytes();
  EXPECT_EQ(
      "  0 : 4000 : Warning 行が 4000 バイトを超えています（以降は無視）\n"
      "  0 :   2 : Error 未定義コマンドです\n",
      errors.substr(0, errors.find("Track")));
}

TEST_F(DriverTest, LongLinesManyTracksDeepMacros) {
  std::string long_lines = "A" + std::string(100000, 'c') + "\n%M" + std::string(100000, '(') +
                           "\nB %M" + std::string(100000, '(') + "\n";
  CompileScore(long_lines.c_str());
  EXPECT_EQ(2, CompiledTrackCount());

  std::string tracks;
  for (int i = 0; i < 10000; ++i) tracks += "T" + std::to_string(i) + " %M\n";
  tracks += "%M c\n";
  CompileScore(tracks.c_str());
  EXPECT_EQ(128, CompiledTrackCount());

  std::string nested;
  for (int i = 0; i < 1000; ++i) {
    nested += "%M" + std::to_string(i) + " %M" + std::to_string(i + 1) + "(%1,%M" +
              std::to_string(i) + ")\n";
  }
  nested += "A %M0(c) %M999\n";
  CompileScore(nested.c_str());
  EXPECT_EQ(1, CompiledTrackCount());
}

}  // namespace
