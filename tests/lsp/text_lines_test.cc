#include "lsp/text_lines.h"

#include <gtest/gtest.h>

#include "lsp/document.h"

namespace {

// "A ド c": full-width (2 Shift-JIS bytes, 1 unit); "ｶ": half-width katakana
// (1 byte, 1 unit); "😀": outside the BMP (no Shift-JIS form: 1 byte as "?",
// 2 units).
TEST(TextLinesTest, ColumnsConvertBetweenShiftJisBytesAndUtf16Units) {
  const std::string line = "A ド ｶ 😀 c";
  struct Case {
    int shift_jis;
    int utf16;
  };
  // A=0 ' '=1 ド=2..3 ' '=4 ｶ=5 ' '=6 😀=7 ' '=8 c=9 (bytes)
  // A=0 ' '=1 ド=2 ' '=3 ｶ=4 ' '=5 😀=6..7 ' '=8 c=9 (units)
  for (const Case& c : {Case{0, 0}, Case{2, 2}, Case{4, 3}, Case{5, 4}, Case{7, 6}, Case{8, 8},
                        Case{9, 9}, Case{10, 10}}) {
    EXPECT_EQ(Utf16OfShiftJis(line, c.shift_jis), c.utf16) << c.shift_jis;
    EXPECT_EQ(ShiftJisOfUtf16(line, c.utf16), c.shift_jis) << c.utf16;
  }
  EXPECT_EQ(Utf16OfShiftJis(line, 3), 2) << "inside a double-byte character";
  EXPECT_EQ(Utf16OfShiftJis(line, 99), 10) << "past the end";
  EXPECT_EQ(Utf16Length(line), 10);
  EXPECT_EQ(ByteOfUtf16(line, 6), 10u);
  EXPECT_EQ(ByteOfUtf16(line, 7), 10u) << "inside a surrogate pair";
  EXPECT_EQ(ByteOfUtf16(line, 8), 14u);
  EXPECT_EQ(Utf16OfByte(line, 14), 8);
  EXPECT_EQ(ToUtf16("ド😀"), u"ド😀");
}

TEST(TextLinesTest, EveryLineBreakEndsALine) {
  const std::vector<std::string_view> lines = SplitTextLines("a\r\nb\rc\n\nd");
  EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(SplitTextLines("").size(), 1u);
}

TEST(DocumentTest, RangedEditsCountUtf16UnitsAndClampAtTheEnds) {
  Document d("A ド😀 c\nB d", 1);
  d.Edit({{0, 5}, {0, 7}}, "e", 2);  // the space after the emoji and "c"
  EXPECT_EQ(d.Text(), "A ド😀e\nB d");
  d.Edit({{1, 1}, {1, 99}}, "", 3);  // past the line's end: to its end
  EXPECT_EQ(d.Text(), "A ド😀e\nB");
  d.Edit({{9, 0}, {9, 0}}, "\nC", 4);  // past the document's end: at its end
  EXPECT_EQ(d.Text(), "A ド😀e\nB\nC");
  d.Edit({{2, 1}, {0, 0}}, "x", 5);  // an end before the start: empty
  EXPECT_EQ(d.Text(), "A ド😀e\nB\nCx");
  EXPECT_EQ(d.Version(), 5);
  EXPECT_EQ(d.LineCount(), 3);
  EXPECT_TRUE(d.Contains({0, 6}));
  EXPECT_FALSE(d.Contains({0, 7}));
  EXPECT_FALSE(d.Contains({3, 0}));
}

}  // namespace
