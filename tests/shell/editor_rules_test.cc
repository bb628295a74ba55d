#include "shell/editor_rules.h"

#include <gtest/gtest.h>

#include "support/text.h"

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

TEST(UpdateCommandStates, EachGroupChangesOnlyWhenItsFirstMemberDiffers) {
  using C = CommandStateChanges;
  // text modified, last severity, SpeedButton2 enabled, OutputXRT1 enabled
  EXPECT_EQ(UpdateCommandStates({false, kNothingCompiled, false, false}), (C{}));
  EXPECT_EQ(UpdateCommandStates({true, kNothingCompiled, false, false}), (C{true, {}}));
  EXPECT_EQ(UpdateCommandStates({true, 2, true, false}), (C{{}, true}));
  EXPECT_EQ(UpdateCommandStates({false, 0, true, true}), (C{false, {}}));
  EXPECT_EQ(UpdateCommandStates({false, 3, false, true}), (C{{}, false}));
  EXPECT_EQ(UpdateCommandStates({true, 4, false, true}), (C{true, false}));
}

TEST(MakeXrtPath, OnlyTheFileNamesOwnExtensionIsReplaced) {
  EXPECT_EQ(MakeXrtPath(std::string_view("/home/u/song.qrn")), "/home/u/song.xrt");
  EXPECT_EQ(MakeXrtPath(std::string_view("/home/a.b/song")), "/home/a.b/song.xrt");
  EXPECT_EQ(MakeXrtPath(std::string_view("/home/a.b/x.y.qrn")), "/home/a.b/x.y.xrt");
  EXPECT_EQ(MakeXrtPath(std::string_view("song")), "song.xrt");
  EXPECT_EQ(MakeXrtPath(std::string_view("song.")), "song.xrt");
  EXPECT_EQ(MakeXrtPath(std::string_view("/home/u/")), "/home/u/.xrt");  // after New
  EXPECT_EQ(MakeXrtPath(std::string_view("")), ".xrt");
  EXPECT_EQ(MakeXrtPath(U("/曲.d/曲.qrn")), U("/曲.d/曲.xrt"));
}

TEST(JumpToPositionOffset, LinesCountTheirBytesAndLineBreaks) {
  QString text = U("ab\ncd\nef");
  EXPECT_EQ(JumpToPositionOffset(text, 0, 0), 0);
  EXPECT_EQ(JumpToPositionOffset(text, 1, 1), 4);
  EXPECT_EQ(JumpToPositionOffset(text, 2, 0), 6);
  EXPECT_EQ(JumpToPositionOffset(text, 0, 2), 2);  // the CR of CR LF: the line's end
  EXPECT_EQ(JumpToPositionOffset(text, 0, 3), 2);  // its LF
  EXPECT_EQ(JumpToPositionOffset(text, 0, 4), 3);  // runs on into the next line
  EXPECT_EQ(JumpToPositionOffset(text, -1, -1), 0);
}

TEST(JumpToPositionOffset, BeyondTheLastLineGoesToTheEnd) {
  QString text = U("ab\ncd");
  EXPECT_EQ(JumpToPositionOffset(text, 2, 0), 5);
  EXPECT_EQ(JumpToPositionOffset(text, 40, 3), 5);
  EXPECT_EQ(JumpToPositionOffset(text, 1, 99), 5);
  EXPECT_EQ(JumpToPositionOffset(U("ab\n"), 1, 0), 3);
  EXPECT_EQ(JumpToPositionOffset(QString(), 3, 3), 0);
}

TEST(JumpToPositionOffset, ColumnsCountShiftJisBytes) {
  QString text = U("x\nAあいｱう c");               // あ い う two bytes each, ｱ one
  EXPECT_EQ(JumpToPositionOffset(text, 1, 1), 3);  // あ
  EXPECT_EQ(JumpToPositionOffset(text, 1, 2), 3);  // inside あ: lands on it
  EXPECT_EQ(JumpToPositionOffset(text, 1, 3), 4);  // い
  EXPECT_EQ(JumpToPositionOffset(text, 1, 5), 5);  // ｱ
  EXPECT_EQ(JumpToPositionOffset(text, 1, 6), 6);  // う
  EXPECT_EQ(JumpToPositionOffset(text, 1, 9), 8);  // c
  // A character outside the basic plane compiles as one "?" but takes two
  // places in the text.
  EXPECT_EQ(JumpToPositionOffset(U("😀c"), 0, 1), 2);
}

TEST(MakeCompileText, EveryLineEndsWithCrLfThenTwoEmptyLines) {
  EXPECT_EQ(MakeCompileText(U("A c\nB d")).bytes, "A c\r\nB d\r\n\r\n\r\n");
  EXPECT_EQ(MakeCompileText(U("A c\n")).bytes, "A c\r\n\r\n\r\n");
  EXPECT_EQ(MakeCompileText(U("\n")).bytes, "\r\n\r\n\r\n");
  EXPECT_EQ(MakeCompileText(QString()).bytes, "\r\n\r\n");
  EXPECT_EQ(MakeCompileText(U("A 曲")).bytes, Cp932FromUtf8("A 曲\r\n\r\n\r\n"));
  EncodedScore e = MakeCompileText(U("A c\nB €"));
  EXPECT_EQ(e.bytes, "A c\r\nB ?\r\n\r\n\r\n");
  EXPECT_EQ(e.unencodable, 1);
}

TEST(MakeCompileText, UnchangedLinesOfTheFileCompileFromItsOwnBytes) {
  std::string file = "A \xED\x40\x80\r\n";
  DecodedScore d = DecodeScore(file);
  EXPECT_EQ(MakeCompileText(d.text, d.format).bytes, file + "\r\n\r\n");
}

TEST(ObjectSizeLine, Format) {
  EXPECT_EQ(ObjectSizeLine(1234), "Object Size : 1234 bytes");
}

TEST(FullWidthNotice, NamesFullWidthSpacesAndLettersOnly) {
  const QString line = U("A t120 o4 c　d ｅ ＋ 曲 ｶ");
  EXPECT_EQ(FullWidthNotice(line, 11).toStdString(),
            "全角スペースがあります (半角スペースに直してください)");
  EXPECT_EQ(FullWidthNotice(line, 14).toStdString(),
            "全角文字「ｅ」があります (半角の「e」に直してください)");
  EXPECT_EQ(FullWidthNotice(line, 16).toStdString(),
            "全角文字「＋」があります (半角の「+」に直してください)");
  // Kanji, half-width katakana, ASCII and places beyond the line: nothing.
  for (int index : {-1, 0, 10, 12, 18, 20, 21, 99}) {
    EXPECT_TRUE(FullWidthNotice(line, index).isEmpty()) << index;
  }
  EXPECT_EQ(FullWidthNotice(U("！～"), 0).toStdString(),
            "全角文字「！」があります (半角の「!」に直してください)");
  EXPECT_EQ(FullWidthNotice(U("！～"), 1).toStdString(),
            "全角文字「～」があります (半角の「~」に直してください)");
}

}  // namespace
