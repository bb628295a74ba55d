// The line scan, header directives and the line classification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/driver/source_lines.h"

namespace {

// One line per record: "LINE KIND NAME#INDEX|BODY".
std::string Dump(const SourceTable& table) {
  std::string out;
  for (int i = 0; i < table.LineCount(); ++i) {
    const SourceLine& line = table.lines[i];
    out += std::to_string(line.line_number) + " " + std::to_string(line.kind) + " " +
           table.Name(i) + "#" + std::to_string(line.name_index) + "|" + table.Body(i) + "\n";
  }
  return out;
}

SourceTable& Scan(const std::string& text) {
  static SourceTable table;
  table.Reset();
  ScanSourceLines(table, text.c_str());
  ClassifySourceLines(table);
  return table;
}

TEST(SourceLines, EmptyTextGivesNoRecords) {
  EXPECT_EQ(0, Scan("").LineCount());
  EXPECT_EQ(192, Scan("").resolution);
  EXPECT_EQ(0, Scan("\n\n\r\n").LineCount());
}

TEST(SourceLines, Classification) {
  EXPECT_EQ(
      "0 2 A1#0| cde\n"
      "1 2 Bass_2#1| c\n"
      "2 3 riff#2| cdef\n"
      "3 1 A-C#3| o4\n"
      "4 6 #4| efg\n"
      "5 3 #4| x\n"
      "6 2 A1#0|\tg\n"
      "7 1 ~A#5|,B c\n"
      "8 3 r2_x#6|(\n",
      Dump(Scan("A1 cde\nBass_2 c\n%riff cdef\n*A-C o4\n+ efg\n@ x\nA1\tg\n*~A,B c\n@r2_x(\n")));
}

TEST(SourceLines, OnlyLinesStartingWithACommandCharacterAreKept) {
  // Blanks, small letters, digits and double-byte characters begin comments.
  EXPECT_EQ("4 2 Ab#0| c\n", Dump(Scan(" A c\nabc\n1 c\n\x82\xa0 c\nAb c\n")));
}

TEST(SourceLines, LineNumbersCountEveryLine) {
  EXPECT_EQ("2 2 A#0| c\n6 2 B#1|\n", Dump(Scan("#clock 480\n\nA c\n#off\nC d\n#on\nB")));
  EXPECT_EQ(480, Scan("#clock 480\n\nA c\n").resolution);
}

TEST(SourceLines, OffRegionsDropScoreLinesButHeadersStillAct) {
  SourceTable& table = Scan("A\n#off\nB\n#clock 96\n#on\nC\n#offside\nD\n#one\nE\n");
  EXPECT_EQ("0 2 A#0|\n5 2 C#1|\n9 2 E#2|\n", Dump(table));
  EXPECT_EQ(96, table.resolution);
}

TEST(SourceLines, Clock) {
  EXPECT_EQ(192, Scan("#clock 0\n").resolution);
  EXPECT_EQ(192, Scan("#clock -5\n").resolution);
  EXPECT_EQ(192, Scan("#clock\n").resolution);
  EXPECT_EQ(192, Scan("#clock x\n").resolution);
  EXPECT_EQ(480, Scan("#clock480\n").resolution);
  EXPECT_EQ(120, Scan("#clock\t+120xyz\n").resolution);
  EXPECT_EQ(96, Scan("#clock 480\n#clock 0\n#clock 96\n").resolution);
  EXPECT_EQ(2147483647, Scan("#clock 99999999999999999999\n").resolution);
  // "#Clock" and "# clock" are no clock lines.
  EXPECT_EQ(192, Scan("#Clock 96\n# clock 96\n").resolution);
}

TEST(SourceLines, CarriageReturnsAreDropped) {
  SourceTable& table = Scan("A\r c\r\n+ d\r\r\n");
  EXPECT_EQ("0 2 A#0| c\n1 6 #1| d\n", Dump(table));
  EXPECT_EQ(1, table.lines[0].body_offset);
}

TEST(SourceLines, LastLineWithoutLineFeedIsKept) {
  EXPECT_EQ("0 2 A#0| c\n1 2 B#1| d\n", Dump(Scan("A c\nB d")));
}

TEST(SourceLines, LongLinesAreCutAt4000Bytes) {
  std::string text = "A" + std::string(4999, 'c') + "\nB d\n";
  SourceTable& table = Scan(text);
  ASSERT_EQ(2, table.LineCount());
  EXPECT_EQ(4000u, std::string(table.Text(0)).size());
  EXPECT_STREQ("B d", table.Text(1));
  EXPECT_EQ(1, table.lines[1].line_number);
  EXPECT_EQ(std::vector<int32_t>{0}, table.cut_lines);
  // Only stored lines count as cut: not comments, headers or #off lines.
  EXPECT_TRUE(Scan(" " + std::string(4100, 'c') + "\n#off\nA" + std::string(4100, 'c') + "\n")
                  .cut_lines.empty());
  EXPECT_EQ(std::vector<int32_t>{2},
            Scan("A c\n\n+" + std::string(4000, 'c') + "\r\n+" + std::string(3999, 'c') + "\r\r\n")
                .cut_lines);
  // A header line is cut the same way and still acts.
  EXPECT_EQ(96, Scan("#clock 96" + std::string(100000, ' ') + "\nA\n").resolution);
}

// The table rewrites its own copy of the text in place; a text handed over
// gives the same table, and the caller's text stays as it was.
TEST(SourceLines, TextTakenOverOrCopiedGivesTheSameTable) {
  const std::string text = "A\r c\r\n#off\nB x\n#on\n+ d" + std::string(4100, 'e') + "\r\nC f";
  const std::string copied = Dump(Scan(text));
  EXPECT_EQ(text.size(), std::string(text.c_str()).size());
  SourceTable table;
  ScanSourceLines(table, std::string(text));
  ClassifySourceLines(table);
  EXPECT_EQ(copied, Dump(table));
  EXPECT_EQ("0 2 A#0| c\n4 6 #1| d" + std::string(3997, 'e') + "\n5 2 C#2| f\n", copied);
  // Scanning again reuses the buffer: nothing of the longer text shows.
  ScanSourceLines(table, "A g");
  ClassifySourceLines(table);
  EXPECT_EQ("0 2 A#0| g\n", Dump(table));
}

TEST(SourceLines, ManyLinesAndNames) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "T" + std::to_string(i % 5000) + " c\n";
  SourceTable& table = Scan(text);
  ASSERT_EQ(10000, table.LineCount());
  EXPECT_EQ(5000, table.names.Count());
  EXPECT_EQ(table.lines[1].name_index, table.lines[5001].name_index);
  EXPECT_STREQ("T4999", table.Name(9999));
}

TEST(SourceLines, ResetEmptiesTheTable) {
  SourceTable& table = Scan("#clock 96\nA c\n");
  table.Reset();
  EXPECT_EQ(0, table.LineCount());
  EXPECT_EQ(0, table.names.Count());
  EXPECT_TRUE(table.text.empty());
  EXPECT_EQ(192, table.resolution);
  EXPECT_EQ(0, table.line_counter);
}

}  // namespace
