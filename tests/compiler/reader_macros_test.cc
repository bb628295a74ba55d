// The macro layer: which lines make up a track or a macro, calls,
// arguments, references, nesting, recursion and common-line letter sets.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/reader/reader.h"
#include "compiler/reader/reader_internal.h"
#include "compile_helpers.h"

namespace {

TEST(TrackText, LinesOfTheSameNameFormOneTrack) {
  EXPECT_EQ("A: c e\nB: d", TrackTokens("A c\nB d\nA e\n"));
}

TEST(TrackText, ContinuationLinesFollowTheirLine) {
  // A common line that does not select a track keeps its chain of
  // continuation lines; a track line of another name ends it.
  EXPECT_EQ("A: c d e\nB: f e", TrackTokens("A c\nB f\n*A d\n+e\n"));
  EXPECT_EQ("A: c\nB: f g", TrackTokens("A c\nB f\n+g\n"));
  // A macro line ends the chain of a track too.
  EXPECT_EQ("A: c", TrackTokens("A c\n%M x\n+ g\n"));
}

TEST(TrackText, ContinuationAtTheTopBelongsToEveryTrack) {
  EXPECT_EQ("A: c d\nB: c e", TrackTokens("+ c\nA d\nB e\n"));
}

TEST(CommonLines, LetterSets) {
  EXPECT_EQ("A: a c\nB: b\nC: c", TrackTokens("A a\nB b\nC\n*A-C~B c\n"));
  EXPECT_EQ("A: d e\nB: d e", TrackTokens("A\nB\n*~A d\n* e\n"));
  EXPECT_EQ("A: c\nB: b", TrackTokens("A\nB b\n*AD c\n"));
  // A range written backwards selects nothing.
  EXPECT_EQ("A:\nC:", TrackTokens("A\nC\n*C-A c\n"));
  EXPECT_EQ("", ReportUtf8());
}

TEST(CommonLines, AFaultyLetterSetIsReportedForEveryTrack) {
  // The letter set stops at ",", which begins the body of the line.
  EXPECT_EQ("A: N:B c\nB:", TrackTokens("A\nB\n*A,B c\n"));
  EXPECT_EQ(
      "  2 :   2 : Error 共通行の指定が違います\n"
      "  2 :   2 : Error 共通行の指定が違います\n",
      ReportUtf8());
}

TEST(CommonLines, LetterSetParser) {
  struct Case {
    const char* after_star;
    const char* letters;
    int error;
  } cases[] = {
      {" c", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", -1},
      {"~A c", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", -1},
      {"A-C~B c", "AC", -1},
      {"A-D~B-C c", "AD", -1},
      {"A,B c", "A", 1},
      {"A- c", "", 1},  // the "-" has no second letter
      {"A-~B c", "", 1},
      {"AB", "A", -1},  // a letter at the very end is not applied
      {"A", "", -1},
      {"AZ\tc", "AZ", 2},
  };
  for (const Case& c : cases) {
    int error = 0;
    uint32_t set = CommonLetterSet(c.after_star, &error);
    std::string letters;
    for (int i = 0; i < 26; ++i) {
      if (set & (1u << i)) letters += static_cast<char>('A' + i);
    }
    EXPECT_EQ(c.letters, letters) << c.after_star;
    EXPECT_EQ(c.error, error) << c.after_star;
  }
}

TEST(Macros, BodyIsReadInPlaceOfTheCall) {
  EXPECT_EQ("A: c d", TrackTokens("%M c\nA %M d\n"));
  // Expansion works on tokens: the "4" follows the body. "%M4" is another name.
  EXPECT_EQ("A: c 4 e", TrackTokens("%M c\n%M4 e\nA %M 4 %M4\n"));
  // Macros may be defined anywhere; "%" and "@" lines make up one macro,
  // with their continuation lines.
  EXPECT_EQ("A: c d g e", TrackTokens("A %M\n@M c\n+ d\n%N a\n+ b\n%M g\n+ e\n"));
}

TEST(Macros, BodyEndsAtCommaOrParenthesis) {
  EXPECT_EQ("A: c e f", TrackTokens("%M c, d\n%N e) d\nA %M %N f\n"));
}

TEST(Macros, CommaAndCloseParenthesisAreDroppedAtTrackLevel) {
  EXPECT_EQ("A: ( c", TrackTokens("A , ) ( c\n"));
  EXPECT_EQ("", ReportUtf8());
}

TEST(Macros, Arguments) {
  EXPECT_EQ("A: b", TrackTokens("%M %2\nA %M(a,b,c)\n"));
  EXPECT_EQ("A: d c e", TrackTokens("%M %1 %2\n%N %2 %1\nA %M(%N(c,d),e)\n"));
  // Commas inside nested parentheses belong to the argument when it is
  // collected, but reading it still ends at the first comma.
  EXPECT_EQ("A: ( a b", TrackTokens("%M %1 %2\nA %M((a,e),b)\n"));
  // Arguments beyond the ninth are read over.
  EXPECT_EQ("A: 9 g", TrackTokens("%M %9 g\nA %M(1,2,3,4,5,6,7,8,9,10)\n"));
}

TEST(Macros, MissingArgumentsExpandToNothing) {
  EXPECT_EQ("A: c", TrackTokens("%M %5 c\nA %1 %M(a,b)\n"));
  EXPECT_EQ("A: c", TrackTokens("%M %1 c\nA %M()\n"));
  EXPECT_EQ("", ReportUtf8());
}

TEST(Macros, ArgumentReadsOnInTheContextWhereItWasWritten) {
  // The argument runs over the line end into the track's next line.
  EXPECT_EQ("A: c d g e", TrackTokens("%M %1 g\nA %M(c\n+ d) e\n"));
  // "%1" inside an argument refers to the arguments of the macro whose body
  // holds that argument.
  EXPECT_EQ("A: [ c ]", TrackTokens("%M %N(%1)\n%N [%1]\nA %M(c)\n"));
}

TEST(Macros, PercentWithoutNameOrNumberIsIgnored) {
  EXPECT_EQ("A: - ERR", TrackTokens("A %- %?\n"));
  EXPECT_EQ("", ReportUtf8());
}

TEST(Macros, EmptyNameIsCalledByZeroOrTenAndMore) {
  EXPECT_EQ("A: g g", TrackTokens("% g\nA %0 %10\n"));
  EXPECT_EQ("A: c", TrackTokens("A %0 c\n"));
  EXPECT_EQ("  0 :   5 : Error 未定義マクロです\n", ReportUtf8());
}

TEST(Macros, UndefinedMacroAndUnderscoreNames) {
  // A call's name holds letters and digits only: "%M_x" calls "M".
  EXPECT_EQ("A: _ ERR", TrackTokens("%M_x c\nA %M_x\n"));
  EXPECT_EQ("  1 :   4 : Error 未定義マクロです\n", ReportUtf8());
}

TEST(Macros, RecursionIsReportedAndExpandsOnce) {
  EXPECT_EQ("A: c d", TrackTokens("%M c %M\nA %M d\n"));
  EXPECT_EQ("  0 :   7 : Error マクロの再帰です\n", ReportUtf8());
}

TEST(Macros, MutualRecursion) {
  EXPECT_EQ("A: a b c", TrackTokens("%M a %N\n%N b %M c\nA %M\n"));
  EXPECT_EQ("  1 :   8 : Error マクロの再帰です\n", ReportUtf8());
}

TEST(Macros, NamesAreSignificantToThirtyTwoBytes) {
  std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef";
  EXPECT_EQ("A: c", TrackTokens("%" + name32 + "X c\nA %" + name32 + "Y\n"));
  EXPECT_EQ("A: c", TrackTokens("%" + name32 + "X c %" + name32 + "\nA %" + name32 + "\n"));
  EXPECT_NE(std::string::npos, ReportUtf8().find("マクロの再帰です"));
}

TEST(Macros, EightNestedCallsDropTheEighthSilently) {
  std::string score;
  for (int i = 1; i <= 8; ++i) {
    score +=
        "%M" + std::to_string(i) + " " + std::to_string(i) + " %M" + std::to_string(i + 1) + "\n";
  }
  score += "%M9 9\nA %M1 g\n";
  EXPECT_EQ("A: 1 2 3 4 5 6 7 g", TrackTokens(score));
  EXPECT_EQ("", ReportUtf8());
}

TEST(Macros, ExponentialExpansionIsCutOff) {
  // Seven levels of ten calls each would yield ten million tokens.
  std::string score;
  for (int i = 1; i <= 6; ++i) {
    score += "%M" + std::to_string(i);
    for (int k = 0; k < 10; ++k) score += " %M" + std::to_string(i + 1);
    score += "\n";
  }
  score += "%M7 c c c c c c c c c c\nA %M1 d\nB e\n";
  long tokens = 0;
  std::string tracks;
  ListScoreTokens(
      score.c_str(), [&tracks](const char* name) { tracks += name; }, [&tokens](int) { ++tokens; });
  EXPECT_EQ("AB", tracks);
  EXPECT_LT(tokens, 2'100'000);
  EXPECT_GT(tokens, 1'000'000);
  std::string report = ReportUtf8();
  EXPECT_EQ(report.find("マクロの展開が多すぎます"), report.rfind("マクロの展開が多すぎます"));
  EXPECT_NE(std::string::npos, report.find("Error マクロの展開が多すぎます"));
}

// The indexed line search against a plain scan of the lines.
int ScanForNextLine(const SourceTable& table, const ReadingContext& context, int after) {
  bool chain_broken = false;
  for (int line = after + 1; line < table.LineCount(); ++line) {
    uint8_t kind = table.lines[line].kind;
    if (kind == kLineContinuation) {
      if (!chain_broken) return line;
      continue;
    }
    if (LineBelongs(context, line)) return line;
    if (kind == kLineTrack || kind == kLineMacro) chain_broken = true;
  }
  return -1;
}

TEST(LineSearch, AgreesWithAPlainScan) {
  std::mt19937 random(2024);
  const char* kinds[] = {"A", "B", "AB", "%M", "%N", "+", "*A", "*B-C", "*~A", "*", "*A,"};
  for (int round = 0; round < 200; ++round) {
    std::string score;
    int lines = 1 + random() % 30;
    for (int i = 0; i < lines; ++i) score += std::string(kinds[random() % 11]) + " x\n";
    SourceTable table;
    ScanSourceLines(table, score.c_str());
    ClassifySourceLines(table);
    SetSourceTable(&table);
    for (int line = 0; line < table.LineCount(); ++line) {
      for (uint8_t kind : {kLineTrack, kLineMacro}) {
        ReadingContext context;
        context.kind = kind;
        context.name = table.lines[line].name_index;
        for (int after = -1; after < table.LineCount(); ++after) {
          ASSERT_EQ(ScanForNextLine(table, context, after), NextContextLine(context, after))
              << score << "context " << table.Name(line) << " after " << after;
        }
      }
    }
    SetSourceTable(nullptr);
  }
}

}  // namespace
