// Attribute names, values, gradual changes, templates and direct out, as
// event records and list entries of compiled scores.
#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/commands/commands.h"

namespace {

// Scores with the records of track A, then the report.
TEST(AttributesTest, Scores) {
  CheckCompileFirst({
      // Predefined names and shortcuts.
      {"A V100 M64 v90 t120 P5 D64 V40\n",
       "0 143 0 0\n0 128 7 100\n0 128 1 64\n0 128 129 90\n0 128 128 120\n0 128 10 5\n"
       "0 128 130 64\n0 128 7 40\n0 142 0 0\n"},
      // Tempo limits and value range.
      {"A t0 t12000 t40000 t9999 V128 V127\n",
       "0 143 0 0\n0 128 128 1\n0 128 128 9999\n0 128 128 9999\n0 128 128 9999\n"
       "0 128 7 128\n0 128 7 127\n0 142 0 0\n"
       "  0 :   3 : Warning テンポが遅すぎます\n"
       "  0 :   6 : Warning テンポが速すぎます\n"
       "  0 :  13 : Warning テンポが速すぎます\n"
       "  0 :  26 : Error ｱﾄﾘﾋﾞｭｰﾄ値が範囲（0 ～ 127）外です\n"},
      // Name without value.
      {"A V c\n",
       "0 143 0 0\n0 60 255 48\n48 142 0 0\n"
       "  0 :   4 : Error ｱﾄﾘﾋﾞｭｰﾄ値が指定されていません\n"},
  });
}

TEST(AttributesTest, GradualChangesStartFromTheTracksCurrentValue) {
  EXPECT_EQ("", Compile("A V100:2 V50:4 c v80:8 V0\nB V20:4\n"));
  EXPECT_EQ(
      "0 143 0 0\n0 128 7 10000\n0 128 7 10001\n0 60 255 48\n48 128 129 10002\n"
      "48 128 7 0\n48 142 0 0\n",
      Events(0));
  // Every track starts from 0 again.
  EXPECT_EQ("0 143 0 0\n0 128 7 10003\n0 142 0 0\n", Events(1));
  EXPECT_EQ(
      "0: 0 96 100 96 255 0\n1: 100 48 50 48 255 0\n2: 0 24 80 24 255 0\n"
      "3: 0 48 20 48 255 0\n",
      Gradual(TestContext()));
}

TEST(AttributesTest, DefinitionsHoldFromWhereTheyAreRead) {
  EXPECT_EQ(
      "  0 :   5 : Error 未定義ｱﾄﾘﾋﾞｭｰﾄです\n"
      "  1 :  14 : Warning すでに定義されているｱﾄﾘﾋﾞｭｰﾄです\n",
      Compile("A Exp5 Exp=11 Exp 90\nB Exp64:4 Vel=5 v90 t60\n"));
  EXPECT_EQ("0 143 0 0\n0 128 11 90\n0 142 0 0\n", Events(0));
  EXPECT_EQ("0 143 0 0\n0 128 11 10000\n0 128 5 90\n0 128 128 60\n0 142 0 0\n", Events(1));
  EXPECT_EQ("0: 0 48 64 48 255 0\n", Gradual(TestContext()));
}

TEST(AttributesTest, FaultyDefinitionsDefineNothing) {
  EXPECT_EQ(
      "  0 :   5 : Error ｱﾄﾘﾋﾞｭｰﾄ定義値が範囲(1-127)外です\n"
      "  0 :  11 : Error 未定義ｱﾄﾘﾋﾞｭｰﾄです\n"
      "  0 :  26 : Error ｱﾄﾘﾋﾞｭｰﾄ定義がありません\n"
      "  0 :  35 : Warning すでに定義されているｱﾄﾘﾋﾞｭｰﾄです\n",
      Compile("A Ex=128 Ex1 Ex=0 Ex2 Ex= c Ex={1 2} Ex3\n"));
  EXPECT_EQ("0 143 0 0\n0 128 0 2\n0 60 255 48\n48 128 131 3\n48 142 0 0\n", Events(0));
  EXPECT_EQ("0: 1 2\n", Bytes(AttributeDefinitionList(TestContext())));
}

TEST(AttributesTest, UndefinedNameReadsItsValueAndLengthOnly) {
  EXPECT_EQ("  0 :   6 : Error 未定義ｱﾄﾘﾋﾞｭｰﾄです\n", Compile("A Foo 5:4 c V9:2\n"));
  EXPECT_EQ("0 143 0 0\n0 60 255 48\n48 128 7 10000\n48 142 0 0\n", Events(0));
  EXPECT_EQ("0: 0 96 9 96 255 0\n", Gradual(TestContext()));
}

TEST(AttributesTest, TemplateAttribute) {
  EXPECT_EQ("", Compile("A Gs={240 65 16 66 18 | 64 0 127 v s 247} Gs 3\n"));
  EXPECT_EQ("0 143 0 0\n0 128 131 3\n0 142 0 0\n", Events(0));
  EXPECT_EQ("0: 240 65 16 66 18 253 1 64 0 127 253 3 253 2 247\n",
            Bytes(AttributeDefinitionList(TestContext())));
}

TEST(AttributesTest, TemplatesBeyondTheHundredTwentyFifthAreRefused) {
  std::string score = "A";
  for (int i = 0; i < 126; ++i) score += " Tp={" + std::to_string(i) + "}";
  std::string messages = Compile(score + " Tp 1\n");
  EXPECT_EQ(124, Occurrences(messages, "すでに定義されているｱﾄﾘﾋﾞｭｰﾄです"));
  EXPECT_EQ(1, Occurrences(messages, "Error ﾃﾝﾌﾟﾚｰﾄ･ｱﾄﾘﾋﾞｭｰﾄが多すぎます（125 個まで）\n"));
  EXPECT_EQ(125, AttributeDefinitionList(TestContext()).Count());
  EXPECT_EQ("0 143 0 0\n0 128 255 1\n0 142 0 0\n", Events(0));
}

TEST(AttributesTest, NameTableHoldsAHundredTwentyEightNames) {
  std::string score = "A";
  for (int i = 0; i < 123; ++i) {
    score += std::string(" N") + char('a' + i / 26) + char('a' + i % 26) + "=" + std::to_string(i);
  }
  std::string messages = Compile(score + "\nA Ner 1 Nes 2\n");
  // Names 7..128 are Naa..Ner; Nes is the 129th.
  EXPECT_EQ(
      "  0 : 872 : Error ｱﾄﾘﾋﾞｭｰﾄ定義が多すぎます\n"
      "  1 :  12 : Error 未定義ｱﾄﾘﾋﾞｭｰﾄです\n",
      messages);
  EXPECT_EQ("0 143 0 0\n0 128 121 1\n0 142 0 0\n", Events(0));
}

TEST(AttributesTest, ByteListsClearChannelsAndEscape253) {
  EXPECT_EQ("", Compile("A {144 60 100}{145 60 100}{253}{128 239 240 255 $9F 300 400 509}\n"));
  EXPECT_EQ("0 143 0 0\n0 144 0 0\n0 144 0 1\n0 144 0 2\n0 144 0 3\n0 142 0 0\n", Events(0));
  EXPECT_EQ("0: 144 60 100\n1: 144 60 100\n2: 253 0\n3: 128 224 240 255 144 44 144 253 0\n",
            Bytes(DirectOutList(TestContext())));
}

TEST(AttributesTest, EmptyAndFaultyByteLists) {
  EXPECT_EQ(
      "  0 :   3 : Error ﾊﾞｲﾄ列が空です\n"
      "  0 :   8 : Error 規定外のﾊﾟﾗﾒｰﾀｰです\n"
      "  0 :  17 : Error ﾊﾞｲﾄ列が空です\n"
      "  0 :  22 : Error 未定義ｱﾄﾘﾋﾞｭｰﾄです\n",
      Compile("A {} {1 c 2} Em={} Em 1 {3}\n"));
  EXPECT_EQ("0 143 0 0\n0 144 0 0\n0 144 0 1\n0 142 0 0\n", Events(0));
  EXPECT_EQ("0: 1 2\n1: 3\n", Bytes(DirectOutList(TestContext())));
  EXPECT_EQ("", Bytes(AttributeDefinitionList(TestContext())));
}

TEST(AttributesTest, ByteListCutOffByTheEndOfItsTrack) {
  EXPECT_EQ("  1 :   6 : Error  } がありません\n", Compile("A {4}\nB {1 2\nC {5} c\n"));
  EXPECT_EQ("0 143 0 0\n0 144 0 1\n0 142 0 0\n", Events(1));
  EXPECT_EQ("0 143 0 0\n0 144 0 2\n0 60 255 48\n48 142 0 0\n", Events(2));
  EXPECT_EQ("0: 4\n1: 1 2\n2: 5\n", Bytes(DirectOutList(TestContext())));
}

TEST(AttributesTest, ByteListLongerThan255BytesIsAnError) {
  std::string ones;
  for (int i = 0; i < 255; ++i) ones += " 1";
  EXPECT_EQ("", Compile("A {" + ones + "}\n"));
  std::string messages = Compile("A {" + ones + " 1}\nB X={" + ones + " 253}\n");
  EXPECT_EQ(2, Occurrences(messages, "Error ﾀﾞｲﾚｸﾄ･ｱｳﾄが255ﾊﾞｲﾄを超えています\n"));
  EXPECT_EQ(256u, DirectOutList(TestContext()).EntrySize(0));
  EXPECT_EQ(257u, AttributeDefinitionList(TestContext()).EntrySize(0));
}

TEST(AttributesTest, ManyDefinitionsAndDirectOutLists) {
  std::string score;
  for (int line = 0; line < 100; ++line) {
    score += "A";
    for (int i = 0; i < 100; ++i) score += (i % 2 ? " Xa=3" : " Xb={1 v}");
    score += "\n";
  }
  for (int line = 0; line < 100; ++line) {
    score += "B";
    for (int i = 0; i < 1000; ++i) score += "{7}";
    score += "\n";
  }
  Compile(score);
  EXPECT_EQ(125, AttributeDefinitionList(TestContext()).Count());
  EXPECT_EQ(100000, DirectOutList(TestContext()).Count());
  int count = 0;
  CompiledTrackEvents(1, &count);
  EXPECT_EQ(100002, count);
}

TEST(AttributesTest, GradualChangesBeyondWhatAnEventValueCarries) {
  // Event values are 16 bits: 10000 + index stops at index 55535.
  std::string score;
  for (int line = 0; line < 80; ++line) {
    score += "A";
    for (int i = 0; i < 700; ++i) score += " V1:4";
    score += "\n";
  }
  std::string messages = Compile(score);
  EXPECT_EQ(56000 - 55536, Occurrences(messages, "Error 漸次変化が多すぎます\n"));
  EXPECT_EQ(55536, GradualChangeList(TestContext()).Count());
  int count = 0;
  const EventRecord* records = CompiledTrackEvents(0, &count);
  ASSERT_EQ(55536 + 2, count);
  EXPECT_EQ(65535, records[count - 2].value);
}

}  // namespace
