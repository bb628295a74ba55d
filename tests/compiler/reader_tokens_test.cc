// The token layer: codes, names, numbers, texts, comments and positions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "compile_helpers.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"

namespace {

TEST(TokenNames, ComeFromTheTokenList) {
  EXPECT_STREQ("ERR", TokenName(kTokErr));
  EXPECT_STREQ("#NAME", TokenName(kTokName));
  EXPECT_STREQ("#NUM", TokenName(kTokNum));
  EXPECT_STREQ("#END", TokenName(kTokEnd));
  EXPECT_STREQ("~", TokenName(5));
  EXPECT_STREQ("a", TokenName(23));
  EXPECT_STREQ("@", TokenName(30));
  EXPECT_STREQ("%", TokenName(45));
  EXPECT_STREQ("\"", TokenName(47));
  EXPECT_STREQ("tone", TokenName(50));
  EXPECT_STREQ("c", TokenName(57));
  EXPECT_STREQ("/", TokenName(60));
  EXPECT_STREQ("T_PHASE", TokenName(62));
  EXPECT_STREQ("?", TokenName(63));
  EXPECT_STREQ("?", TokenName(-1));
}

TEST(Tokens, Scores) {
  CheckTokens({
      // Single character commands.
      {"A ~}|{wvusrqolkgfedba`_^]\\[@>=<;:.-+*('&#!\n",
       "A: ~ } | { w v u s r q o l k g f e d b a ` _ ^ ] \\ [ @ > = < ; : . - + * ( ' & # !",
       nullptr},
      // Bytes of no meaning are errors.
      // Small letters without a command, "$" without a hex digit, "?", and every
      // byte of 128 or more (one byte at a time).
      {"A ijmnpxyz h$? $ 1 \x82\xa0\xff\n",
       "A: ERR ERR ERR ERR ERR ERR ERR ERR ERR ERR ERR ERR 1 ERR ERR ERR", nullptr},
      // Letters that begin longer tokens.
      {"A tone4 to4 hit chm2 chi che ch c h\n", "A: tone 4 t o 4 hit chm 2 chi che ch c ERR",
       nullptr},
      // "c h" is a note and an error; "hi" is no "hit"; "ton" is no "tone".
      {"A tohi chc ton\n", "A: t o ERR ERR ch c t o ERR", nullptr},
      // Names are capital followed by letters.
      {"A Vel vel Ab1 X_1\n", "A: N:Vel v e l N:Ab 1 N:X _ 1", nullptr},
      // Numbers saturate at65535.
      {"A $1F $fF $G $10000 70000 "
       "99999999999999999999 "
       "65534 0 007\n",
       "A: 31 255 ERR N:G 65535 65535 65535 65534 0 7", nullptr},
      {"A 65536c\n", "A: 65535 c", nullptr},
      // At sign alone or with a name.
      // "@" with a letter is a macro call: undefined here, so the call is dropped.
      {"A @12 @Ab1 @\n", "A: @ 12 @", "  0 :  11 : Error 未定義マクロです\n"},
      // Comments.
      {"A // a b\nA /* a */ c /* b\nA d\n", "A: c d", nullptr},
      {"A c/**/d/e/*\n", "A: c d / e", nullptr},
      {"A /*/ c\n", "A:", nullptr},
      // Quoted texts.
      {"A \"intro\"c\"\"d\n", "A: \"intro\" c \"\" d", ""},
      // Without its closing quote the text ends with its line, with a warning.
      {"A \"open c\nA d\n", "A: \"open c\" d", "  0 :   2 : Warning 文字列が閉じていません\n"},
  });
}

TEST(Tokens, AtSignAloneLeavesTheTextEmpty) {
  std::string seen;
  ListScoreTokens(
      "A Vel @ c\n", [](const char*) {},
      [&seen](const ListedToken& token) {
        if (token.code == kTokAt) seen = token.text;
      });
  EXPECT_EQ("", seen);
}

TEST(Tokens, LongNamesAndTextsAreCutAt4096Bytes) {
  std::string name = "A " + std::string(3000, 'V') + "\n";
  std::string listing = TrackTokens(name);
  EXPECT_EQ(std::string("A: N:") + std::string(3000, 'V'), listing);

  std::string text(5000, 'x');
  std::string seen;
  // Lines are cut at 4000 bytes, so a long text must come through a macro
  // argument spread over lines; build it on one line of a macro instead.
  ListScoreTokens(("A \"" + text.substr(0, 3990) + "\"c\n").c_str(), [](const char*) {},
                  [&seen](const ListedToken& token) {
                    if (token.code == kTokString) seen = token.text;
                  });
  EXPECT_EQ(3990u, seen.size());
}

TEST(Tokens, PositionsCountFromTheStartOfTheStoredLine) {
  // Line numbers count header, empty and comment lines; columns count the
  // track name or line sign and double-byte characters as two bytes.
  EXPECT_EQ(
      "Track Bass\n"
      "3:5 c\n"
      "3:7 d\n"
      "4:2 e\n"
      "8:3 \" \x82\xa0\n"
      "8:7 f\n"
      "8:10 #END\n",
      TokenListing(
          "#clock 480\n\n comment\nBass\tc d\n+ e\r\n#off\nBass x\n#on\n*B \"\x82\xa0\"f  \n"));
}

TEST(Tokens, TrailingBlanksAndEndOfTrack) {
  EXPECT_EQ("Track A\n0:2 c\n0:5 #END\n", TokenListing("A c  "));
}

// Drives the reader directly, as the score commands do.
class ReaderTest : public testing::Test {
 protected:
  void Read(const char* text) {
    table_.Reset();
    ScanSourceLines(table_, text);
    ClassifySourceLines(table_);
    ClearCompilerReport(cc_);
    SetSourceTable(cc_, &table_);
    ASSERT_TRUE(BeginTrack(cc_, "", &track_));
  }
  CompileContext cc_;
  SourceTable table_;
  std::string track_;
};

TEST_F(ReaderTest, PushBackReturnsTheSameTokenWithItsValues) {
  Read("A 12 Vel c\n");
  EXPECT_EQ(kTokNum, NextToken(cc_));
  EXPECT_EQ(kTokName, NextToken(cc_));
  PushBackToken(cc_);
  EXPECT_EQ(kTokName, NextToken(cc_));
  EXPECT_STREQ("Vel", TokenText(cc_));
  EXPECT_EQ(5, TokenColumn(cc_));
  EXPECT_EQ(kTokC, NextToken(cc_));
  EXPECT_EQ(kTokEnd, NextToken(cc_));
  PushBackToken(cc_);
  EXPECT_EQ(kTokEnd, NextToken(cc_));
  EXPECT_EQ(kTokEnd, NextToken(cc_));
}

TEST_F(ReaderTest, PushBackOfTheTokenBehindAMacroBody) {
  // The note reads on after the body to find a length, pushes back what it
  // found and reads it again: the "4" of the calling text comes once.
  Read("%M c\nA %M 4 %M d\n");
  EXPECT_EQ(kTokC, NextToken(cc_));
  EXPECT_EQ(kTokNum, NextToken(cc_));
  PushBackToken(cc_);
  EXPECT_EQ(kTokNum, NextToken(cc_));
  EXPECT_EQ(4, TokenNumber(cc_));
  EXPECT_EQ(1, TokenLine(cc_));
  EXPECT_EQ(5, TokenColumn(cc_));
  EXPECT_EQ(kTokC, NextToken(cc_));
  EXPECT_EQ(0, TokenLine(cc_));
  EXPECT_EQ(kTokD, NextToken(cc_));
  PushBackToken(cc_);
  EXPECT_EQ(kTokD, NextToken(cc_));
  EXPECT_EQ(kTokEnd, NextToken(cc_));
}

TEST_F(ReaderTest, RawTokensCrossLinesButDoNotExpand) {
  Read("A %M(c),\n+ d\n");
  EXPECT_EQ(kTokPercent, NextRawToken(cc_));
  EXPECT_STREQ("M", TokenText(cc_));
  EXPECT_EQ(kTokLeftParen, NextRawToken(cc_));
  EXPECT_EQ(kTokC, NextRawToken(cc_));
  EXPECT_EQ(kTokRightParen, NextRawToken(cc_));
  EXPECT_EQ(kTokComma, NextRawToken(cc_));
  EXPECT_EQ(kTokD, NextRawToken(cc_));
  EXPECT_EQ(1, TokenLine(cc_));
  EXPECT_EQ(2, TokenColumn(cc_));
  EXPECT_EQ(kTokEnd, NextRawToken(cc_));
}

}  // namespace
