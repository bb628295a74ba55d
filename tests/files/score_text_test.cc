#include "files/score_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "support/text.h"

namespace {

// The editor's compile text of an unchanged file, as far as the compiler
// reads it: the decoded text encoded to Shift-JIS with the file's kept
// lines, up to the first NUL.
std::string EditorCompileBytes(const std::string& file) {
  ScoreText text = DecodeScoreBytes(file);
  ScoreFormat shift_jis = text.format;
  shift_jis.encoding = ScoreEncoding::kShiftJis;
  std::string bytes = EncodeScoreUtf8(text.utf8, shift_jis).bytes;
  return bytes.substr(0, bytes.find('\0'));
}

TEST(ScoreText, TheCommandLineCompilesWhatTheEditorCompiles) {
  const std::string pieces[] = {
      "\r",           "\n",
      "\r\n",         "A",
      " c",           "\x80",
      "\xFF",         "\x81",
      "\x82\xA0",     "\x87\x9A",
      "\xFA\x5B",     "\xED\x40",
      "\xFA\x5C",     "\xB1",
      "\xC3\xA9",     "\xE6\x9B\xB2",
      "\xEF\xBB\xBF", "\xF0\x9F\x8E\xB5",
      "\xEF\x9E\x81", "\x00",
  };
  std::mt19937 random(16);
  for (int round = 0; round < 2000; ++round) {
    std::string file;
    int length = static_cast<int>(random() % 20);
    for (int i = 0; i < length; ++i) {
      if (random() % 5 == 0) {
        file += static_cast<char>(random() % 256);
      } else {
        file += pieces[random() % std::size(pieces)];
      }
    }
    CompilerInput input = ScoreForCompiler(file, ScoreReading::kAuto);
    ASSERT_EQ(input.bytes, EditorCompileBytes(file)) << ::testing::PrintToString(file);
    EXPECT_EQ(input.encoding, DecodeScoreBytes(file).format.encoding);
  }
}

TEST(ScoreText, PlacesWhereTheTwoReadersOnceDisagreed) {
  // A lone CR ends a line for both (the compiler alone would join the lines).
  EXPECT_EQ(ScoreForCompiler("A c\rB d\n", ScoreReading::kAuto).bytes, "A c\r\nB d\r\n");
  EXPECT_EQ(ScoreForCompiler("A c\rB d", ScoreReading::kShiftJis).bytes, "A c\r\nB d");
  // The whole file decides the encoding, also past a NUL byte: UTF-8 before
  // it and Shift-JIS after it make a Shift-JIS file.
  std::string file = "A c // \xE6\x9B\xB2" + std::string(1, '\0') + "\x82\xA0";
  CompilerInput input = ScoreForCompiler(file, ScoreReading::kAuto);
  EXPECT_EQ(input.encoding, ScoreEncoding::kShiftJis);
  EXPECT_EQ(input.bytes, "A c // \xE6\x9B\xB2");
  EXPECT_EQ(input.nul_offset, 10u);
  // In UTF-8, U+F780..U+F7FF stand for the bytes a Shift-JIS file held.
  input = ScoreForCompiler("A c \xEF\x9E\x81\xEF\x9F\xBF", ScoreReading::kAuto);
  EXPECT_EQ(input.bytes, "A c \x81\xFF");
  EXPECT_EQ(input.unencodable, 0);
}

TEST(ScoreText, Utf8IsConvertedWithTheFirstLostCharacterNamed) {
  CompilerInput input = ScoreForCompiler(
      "\xEF\xBB\xBF"
      "A c\n// \xE6\x9B\xB2 \xC3\xA9 \xF0\x9F\x98\x80",
      ScoreReading::kAuto);
  EXPECT_EQ(input.encoding, ScoreEncoding::kUtf8Bom);
  EXPECT_EQ(input.bytes, "A c\r\n" + Cp932FromUtf8("// 曲 ? ?"));
  EXPECT_EQ(input.unencodable, 2);
  EXPECT_EQ(input.first_unencodable_character, U'\u00E9');
  EXPECT_EQ(input.first_unencodable_in_bytes.line, 1);
  EXPECT_EQ(input.first_unencodable_in_bytes.column, 6);  // bytes: "// " and two for 曲 and " "
  // Forced readings: Shift-JIS takes the bytes as they are; UTF-8 names the
  // first byte that is not UTF-8, before the NUL byte only.
  EXPECT_EQ(ScoreForCompiler("\xE6\x9B\xB2", ScoreReading::kShiftJis).bytes, "\xE6\x9B\xB2");
  EXPECT_EQ(ScoreForCompiler("A \x82\xA0", ScoreReading::kUtf8).invalid_utf8_offset, 2u);
  input = ScoreForCompiler(std::string("A c\0\x82", 5), ScoreReading::kUtf8);
  EXPECT_EQ(input.invalid_utf8_offset, std::string::npos);
  EXPECT_EQ(input.bytes, "A c");
}

TEST(ScoreText, Utf8DecisionAndValidity) {
  EXPECT_TRUE(
      LooksLikeUtf8("\xEF\xBB\xBF"
                    "A"));
  EXPECT_TRUE(LooksLikeUtf8("A \xE6\x9B\xB2"));
  EXPECT_FALSE(LooksLikeUtf8("A c"));
  EXPECT_FALSE(LooksLikeUtf8("\xF4\x90\x80\x80"));    // above U+10FFFF
  EXPECT_EQ(FirstInvalidUtf8("ab\xE0\x80\x80"), 2u);  // overlong
  EXPECT_EQ(FirstInvalidUtf8("ab\xE6\x9B"), 2u);      // cut short
  EXPECT_EQ(FirstInvalidUtf8("\xF0\x9F\x98\x80"), std::string::npos);
}

// Reports and messages are shown with "?" for each byte that is not
// Shift-JIS, as a plain conversion byte by byte gives them.
TEST(ScoreText, TextForTheUserMarksUndecodableBytes) {
  EXPECT_EQ(ShiftJisToUtf8Text("Track 'A'"), "Track 'A'");
  EXPECT_EQ(ShiftJisToUtf8Text("\x83\x65\x81 x\xFF\xB1\x82"), "テ? x?ｱ?");
  std::mt19937 random(25);
  const std::string pieces[] = {"\x82\xA0", "\x81", "\x80", "\xFD",
                                "\xB1",     "A",    " ",    "\xEF\x9E\x81"};
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      bytes += random() % 3 == 0 ? std::string(1, static_cast<char>(random() % 256))
                                 : pieces[random() % std::size(pieces)];
    }
    ASSERT_EQ(ShiftJisToUtf8Text(bytes), Utf8FromCp932(bytes)) << ::testing::PrintToString(bytes);
  }
}

// Characters are counted as the reader decodes them: a byte that starts a
// double-byte character but is not followed by a trail byte is a character
// of its own, as the editor shows it.
TEST(ScoreText, CharactersBeforeAByteOffsetAsTheReaderDecodesThem) {
  const std::string te = "\x83\x65";  // テ
  struct Case {
    std::string bytes;
    size_t offset;
    int characters;
  } cases[] = {
      {"A c d", 4, 4},
      {"A " + te + " x", 5, 4},
      {"A " + te + " x", 3, 2},  // inside テ: its start
      {"A " + te + " x", 4, 3},
      {"A \x81 x", 4, 4},      // a lone lead byte
      {"A \x81\x81x", 4, 3},   // a lead byte and a trail byte
      {"A \xB6\xC0 x", 5, 5},  // half-width katakana
      {"A \xFF\x80 x", 5, 5},
      {"A \x83", 3, 3},
      {"A c", 5, 5},  // past the end: one per byte
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShiftJisCharactersBefore(c.bytes, c.offset), c.characters)
        << ::testing::PrintToString(c.bytes) << " at " << c.offset;
  }
}

}  // namespace
