// Length expressions, waits, velocities, and the l, w and q commands.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "compile_helpers.h"

namespace {

// "VALUE" of the first note of track A holding «c» + expression, followed by
// the severities and texts of the messages, without positions.
std::string NoteLength(std::string_view header, std::string_view expression) {
  std::string score(header);
  score += "A c";
  score += expression;
  score += "\n";
  TrackRun run = CompileTracks(score);
  if (run.tracks.empty()) return "no track";
  std::istringstream records(run.tracks[0]);
  std::string line, out = "none";
  std::getline(records, line);  // start of track
  if (std::getline(records, line)) {
    int time, kind, param, value;
    std::istringstream(line) >> time >> kind >> param >> value;
    if (kind < 128) out = std::to_string(value);
  }
  std::istringstream report(run.report);
  while (std::getline(report, line)) out += "; " + line.substr(line.find(" : ", 6) + 3);
  return out;
}

// The length of «c» + expression after header: "VALUE; MESSAGE; ...".
TEST(LengthsTest, NoteLengths) {
  struct Case {
    const char* header;
    std::string expression;
    const char* expected;
  } cases[] = {
      {"", "", "48"},
      {"", "4", "48"},
      {"", "4.", "72"},
      {"", "4..", "84"},
      {"", "16..", "21"},
      {"", "32..", "10; Warning 付点演算においてケタ落ちが発生しました"},
      {"", "32...",
       "10; Warning 付点演算においてケタ落ちが発生しました"
       "; Warning 付点演算においてケタ落ちが発生しました"},
      {"", "3", "64"},
      {"", "5", "38; Warning 割り切れません"},
      {"", "0", "192; Error 音長に 0 は指定できません"},
      {"", "1000", "1; Warning 割り切れません; Error 音長が 0 になりました"},
      {"", "4^8", "72"},
      {"", "2^-8", "72"},
      {"", "8^-4", "24; Error 音長が負になりました"},
      {"", "4^", "96"},
      {"", "^-16.", "30"},
      {"", "1^-16", "180"},
      // Seventy-nine whole notes stand; the eightieth would reach 15360.
      {"", Repeat("1", 80, "^"), "15168; Error 音長が長すぎます"},
      {"", Repeat("1", 80, "^") + "^-2", "15072; Error 音長が長すぎます"},
      {"#clock 15359\n", "1", "15359"},
      {"#clock 15359\n", "1^", "15359; Error 音長が長すぎます"},
      {"#clock 15360\n", "2^2^-4", "3840; Error 音長が長すぎます"},
      // Even the first term is too long: the length is 0, so the note gets 1.
      {"#clock 15360\n", "1", "1; Error 音長が長すぎます; Error 音長が 0 以下です"},
      // From a resolution of 61440 on even the default quarter is too long: every
      // length comes out as 0, which a note turns into 1 (and a rest into 0).
      {"#clock 61436\n", "", "15359"},
      {"#clock 480\n", "", "120"},
      {"#clock 480\n", "3", "160"},
      {"#clock 480\n", "7", "68; Warning 割り切れません"},
      {"#clock 480\n", "16..", "52; Warning 付点演算においてケタ落ちが発生しました"},
      {"#clock 97\n", "", "24"},
      {"#clock 97\n", "4", "24; Warning 割り切れません"},
      {"#clock 97\n", "1.", "145; Warning 付点演算においてケタ落ちが発生しました"},
      {"#clock 97\n", "2^2", "96; Warning 割り切れません; Warning 割り切れません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.header) + "A c" + c.expression);
    EXPECT_EQ(c.expected, NoteLength(c.header, c.expression));
  }
}

TEST(LengthsTest, Scores) {
  CheckCompileFirst({
      // Tiny resolutions never divide by zero.
      // Default length and bar length are 0 here.
      {"#clock 3\nA c | c1 | | c4 r1",
       "0 143 0 0\n0 60 255 1\n1 60 255 3\n4 60 255 1\n8 142 0 0\n"
       "  1 :   4 : Error 音長が 0 になりました\n"
       "  1 :  14 : Warning 割り切れません\n"
       "  1 :  16 : Error 音長が 0 になりました\n"},
      // Default length and wait.
      {"A l8 c l c w8 c: c:0 c w c: c:4.",
       "0 143 0 0\n0 60 255 24\n24 60 255 24\n48 60 255 24\n72 60 255 24\n72 60 255 24\n"
       "96 60 255 24\n120 60 255 24\n192 142 0 0\n"
       "  0 :   9 : Error 音長指定が省略されています\n"},
      // Velocities.
      {"A c'0 c'127 c'200 c'$7F",
       "0 143 0 0\n0 60 0 48\n48 60 127 48\n96 60 127 48\n144 60 127 48\n192 142 0 0\n"
       "  0 :  14 : Error ﾍﾞﾛｼﾃｨ値が範囲外です(0 ～ 127)\n"},
      // Gate times.
      {"A q q+0 q-8 q0 q4 q+8 q-1^-2",
       "0 143 0 0\n0 135 0 48\n0 136 0 0\n0 136 0 65512\n0 135 0 0\n0 135 0 48\n0 136 0 24\n"
       "0 136 0 65440\n0 142 0 0\n"
       "  0 :   4 : Error 音長指定が省略されています\n"
       "  0 :  13 : Warning ｹﾞｰﾄ･ﾀｲﾑが 0 です\n"},
  });
}

TEST(LengthsTest, LengthsNearTheLimit) {
  EXPECT_EQ(CompileFirst("#clock 65535\nA c c1 l1 c l4 c"),
            "0 143 0 0\n0 60 255 1\n0 60 255 1\n0 60 255 1\n1 60 255 1\n2 142 0 0\n"
            "  1 :   4 : Error 音長が長すぎます\n"
            "  1 :   4 : Error 音長が 0 以下です\n"
            "  1 :   7 : Error 音長が長すぎます\n"
            "  1 :   7 : Error 音長が 0 以下です\n"
            "  1 :  10 : Error 音長が長すぎます\n"
            "  1 :  12 : Error 音長が 0 になりました\n"
            "  1 :  13 : Warning 割り切れません\n"
            "  1 :  15 : Error 音長が長すぎます\n"
            "  1 :  16 : Error 音長が 0 になりました\n");
}

TEST(LengthsTest, OtherResolutions) {
  // Bar lines pad to multiples of the bar at any resolution.
  EXPECT_EQ(CompileFirst("#clock 97\nA c8 | c16 |2 c"),
            "0 143 0 0\n0 60 255 12\n24 60 255 6\n72 60 255 24\n96 142 0 0\n"
            "  1 :   3 : Warning 割り切れません\n"
            "  1 :   8 : Warning 割り切れません\n"
            "  1 :  12 : Warning 割り切れません\n");
}

}  // namespace
