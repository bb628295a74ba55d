// The macro layer: which lines make up a track or a macro, calls,
// arguments, references, nesting, recursion and common-line letter sets.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compile_helpers.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/reader/reader.h"
#include "compiler/reader/reader_internal.h"

namespace {

TEST(TrackText, Scores) {
  CheckTokens({
      // Lines of the same name form one track.
      {"A c\nB d\nA e\n", "A: c e\nB: d", nullptr},
      // Continuation lines follow their line.
      // A common line that does not select a track keeps its chain of
      // continuation lines; a track line of another name ends it.
      {"A c\nB f\n*A d\n+e\n", "A: c d e\nB: f e", nullptr},
      {"A c\nB f\n+g\n", "A: c\nB: f g", nullptr},
      // A macro line ends the chain of a track too.
      {"A c\n%M x\n+ g\n", "A: c", nullptr},
      // Continuation at the top belongs to every track.
      {"+ c\nA d\nB e\n", "A: c d\nB: c e", nullptr},
  });
}

TEST(CommonLines, Scores) {
  CheckTokens({
      // Letter sets.
      {"A a\nB b\nC\n*A-C~B c\n", "A: a c\nB: b\nC: c", nullptr},
      {"A\nB\n*~A d\n* e\n", "A: d e\nB: d e", nullptr},
      {"A\nB b\n*AD c\n", "A: c\nB: b", nullptr},
      // A range written backwards selects nothing.
      {"A\nC\n*C-A c\n", "A:\nC:", ""},
      // A faulty letter set is reported for every track.
      // The letter set stops at ",", which begins the body of the line.
      {"A\nB\n*A,B c\n", "A: N:B c\nB:",
       "  2 :   2 : Error 共通行の指定が違います\n"
       "  2 :   2 : Error 共通行の指定が違います\n"},
  });
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

TEST(Macros, Scores) {
  CheckTokens({
      // Body is read in place of the call.
      {"%M c\nA %M d\n", "A: c d", nullptr},
      // Expansion works on tokens: the "4" follows the body. "%M4" is another name.
      {"%M c\n%M4 e\nA %M 4 %M4\n", "A: c 4 e", nullptr},
      // Macros may be defined anywhere; "%" and "@" lines make up one macro,
      // with their continuation lines.
      {"A %M\n@M c\n+ d\n%N a\n+ b\n%M g\n+ e\n", "A: c d g e", nullptr},
      // Body ends at comma or parenthesis.
      {"%M c, d\n%N e) d\nA %M %N f\n", "A: c e f", nullptr},
      // Comma and close parenthesis are dropped at track level.
      {"A , ) ( c\n", "A: ( c", ""},
      // Arguments.
      {"%M %2\nA %M(a,b,c)\n", "A: b", nullptr},
      {"%M %1 %2\n%N %2 %1\nA %M(%N(c,d),e)\n", "A: d c e", nullptr},
      // Commas inside nested parentheses belong to the argument when it is
      // collected, but reading it still ends at the first comma.
      {"%M %1 %2\nA %M((a,e),b)\n", "A: ( a b", nullptr},
      // Arguments beyond the ninth are read over.
      {"%M %9 g\nA %M(1,2,3,4,5,6,7,8,9,10)\n", "A: 9 g", nullptr},
      // Missing arguments expand to nothing.
      {"%M %5 c\nA %1 %M(a,b)\n", "A: c", nullptr},
      {"%M %1 c\nA %M()\n", "A: c", ""},
      // Argument reads on in the context where it was written.
      // The argument runs over the line end into the track's next line.
      {"%M %1 g\nA %M(c\n+ d) e\n", "A: c d g e", nullptr},
      // "%1" inside an argument refers to the arguments of the macro whose body
      // holds that argument.
      {"%M %N(%1)\n%N [%1]\nA %M(c)\n", "A: [ c ]", nullptr},
      // Percent without name or number is ignored.
      {"A %- %?\n", "A: - ERR", ""},
      // Empty name is called by zero or ten and more.
      {"% g\nA %0 %10\n", "A: g g", nullptr},
      {"A %0 c\n", "A: c", "  0 :   5 : Error 未定義マクロです\n"},
      // Undefined macro and underscore names.
      // A call's name holds letters and digits only: "%M_x" calls "M".
      {"%M_x c\nA %M_x\n", "A: _ ERR", "  1 :   4 : Error 未定義マクロです\n"},
      // Recursion is reported and expands once.
      {"%M c %M\nA %M d\n", "A: c d", "  0 :   7 : Error マクロの再帰です\n"},
      // Mutual recursion.
      {"%M a %N\n%N b %M c\nA %M\n", "A: a b c", "  1 :   8 : Error マクロの再帰です\n"},
  });
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
      score.c_str(), [&tracks](const char* name) { tracks += name; },
      [&tokens](const ListedToken&) { ++tokens; });
  EXPECT_EQ("AB", tracks);
  EXPECT_LT(tokens, 2'100'000);
  EXPECT_GT(tokens, 1'000'000);
  std::string report = ReportUtf8();
  EXPECT_EQ(report.find("マクロの展開が多すぎます"), report.rfind("マクロの展開が多すぎます"));
  EXPECT_NE(std::string::npos, report.find("Error マクロの展開が多すぎます"));
}

// Argument lists are taken from the bytes when they close on their line with
// no quoted text or comment; these read as the token path reads them: a comma
// in a quoted text or a comment, a list over a continuation line, ten
// arguments, nested parentheses, empty arguments, blanks and tabs, and calls
// whose next token lies behind a comment or on a later line.
TEST(Macros, ArgumentListsAndReturnPlaces) {
  EXPECT_EQ(
      "Track A\n1:5 c\n1:6 \" x,y\n1:12 d\n1:18 c\n1:25 d\n1:27 e\n1:32 c\n2:2 d\n2:8 a\n"
      "2:10 b\n2:24 b\n2:12 c\n2:32 (\n2:33 c\n2:38 e\n2:45 e\n2:58 c\n2:62 d\n2:66 r\n"
      "4:2 d\n5:2 e\n5:3 #END\n",
      TokenListing("%M %1 %2 %9 %3\n"
                   "A %M(c\"x,y\",d) %M(c/*,*/,d)e %M(c,\n"
                   "+ d) %M(a,b,c,d,e,f,g,a,b,c) %M((c,d),e) %M(,e) %M() %M\t (c ,\td ) r\n"
                   "A %M// x\nA d %M\nA e\n"));
  // Arguments handed on through nested calls up to the deepest frame, where
  // the last call (with its arguments) is dropped.
  EXPECT_EQ(
      "Track A\n0:4 #NUM 1\n8:6 g\n0:13 #NUM 2\n0:13 #NUM 2\n8:9 a\n0:4 #NUM 1\n0:13 #NUM 2\n"
      "0:13 #NUM 2\n8:15 b\n8:16 #END\n",
      TokenListing("%A1 1 %A2(%1,2)\n%A2 %1 %2 %A3(%2,%1)\n%A3 %2 %1 %A4(%1)\n"
                   "%A4 %1 %A5(%1,%1)\n%A5 %1 %A6(%1)\n%A6 %1 %A7(%1 c)\n%A7 %1 %A8(%1 d)\n"
                   "%A8 %1 e\nA %A1(g) a %A1 b\n"));
}

// The indexed line search against a plain scan of the lines.
int ScanForNextLine(const CompileContext& cc, const SourceTable& table,
                    const ReadingContext& context, int after) {
  bool chain_broken = false;
  for (int line = after + 1; line < table.LineCount(); ++line) {
    uint8_t kind = table.lines[line].kind;
    if (kind == kLineContinuation) {
      if (!chain_broken) return line;
      continue;
    }
    if (LineBelongs(cc, context, line)) return line;
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
    CompileContext cc;
    SetSourceTable(cc, &table);
    for (int line = 0; line < table.LineCount(); ++line) {
      for (uint8_t kind : {kLineTrack, kLineMacro}) {
        ReadingContext context;
        context.kind = kind;
        context.name = table.lines[line].name_index;
        for (int after = -1; after < table.LineCount(); ++after) {
          ASSERT_EQ(ScanForNextLine(cc, table, context, after), NextContextLine(cc, context, after))
              << score << "context " << table.Name(line) << " after " << after;
        }
      }
    }
    SetSourceTable(cc, nullptr);
  }
}

}  // namespace
