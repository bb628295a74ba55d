#include "shell/text_codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "shell/score_file.h"
#include "support/text.h"

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

TEST(TextCodec, ShiftJisLoadsWithEveryLineBreakAsOne) {
  DecodedScore d = DecodeScore(Cp932FromUtf8("A 曲\r\nB\rC\nD\r\n"));
  EXPECT_EQ(d.text, U("A 曲\nB\nC\nD\n"));
  EXPECT_EQ(d.format.encoding, ScoreEncoding::kShiftJis);
  EXPECT_EQ(d.undecodable, 0);
  EXPECT_EQ(EncodeScoreText(d.text, d.format).bytes, Cp932FromUtf8("A 曲\r\nB\r\nC\r\nD\r\n"));
  EXPECT_EQ(NormaliseLineBreaks("a\rb\nc\r\n\n\r"), "a\r\nb\r\nc\r\n\r\n\r\n");
}

TEST(TextCodec, UndecodableBytesAreReportedAndSavedBack) {
  // 80 hex and a lone lead byte 81 hex before a space are not Shift-JIS.
  std::string file =
      "A c\r\nB d\x80"
      "e\x81 f\r\n";
  DecodedScore d = DecodeScore(file);
  EXPECT_EQ(d.undecodable, 2);
  EXPECT_EQ(d.first_undecodable.line, 1);
  EXPECT_EQ(d.first_undecodable.column, 3);
  EXPECT_EQ(EncodeScoreText(d.text, d.format).bytes, file);
  // An edit elsewhere on the same line keeps the bytes.
  QString edited = d.text;
  edited.replace(u'f', u'g');
  std::string want =
      "A c\r\nB d\x80"
      "e\x81 g\r\n";
  EncodedScore e = EncodeScoreText(edited, d.format);
  EXPECT_EQ(e.bytes, want);
  EXPECT_EQ(e.unencodable, 0);
}

TEST(TextCodec, CharactersWithTwoCodesKeepTheFilesCodeOnUnchangedLines) {
  std::string file = "A \xED\x40\r\nB c\r\n";  // NEC-selected IBM kanji; its twin is FA5C hex
  DecodedScore d = DecodeScore(file);
  EXPECT_EQ(d.undecodable, 0);
  QString edited = d.text + "C d\n";
  EXPECT_EQ(EncodeScoreText(edited, d.format).bytes, file + "C d\r\n");
}

// Load then save: the file's bytes, with every line break made CR LF.
void ExpectRoundTrip(const std::string& file) {
  DecodedScore d = DecodeScore(file);
  EncodedScore e = EncodeScoreText(d.text, d.format);
  EXPECT_EQ(e.bytes, NormaliseLineBreaks(file)) << ::testing::PrintToString(file);
  EXPECT_EQ(e.unencodable, 0);
}

TEST(TextCodec, ByteOrderMarkFollowedByAZeroWidthNoBreakSpaceSurvives) {
  ExpectRoundTrip(
      "\xEF\xBB\xBF\xEF\xBB\xBF"
      "A c\r\n");
  ExpectRoundTrip("\xEF\xBB\xBF\xEF\xBB\xBF");
  EXPECT_EQ(DecodeScore("\xEF\xBB\xBF\xEF\xBB\xBF"
                        "A")
                .text,
            QString(QChar(0xFEFF)) + u'A');
}

TEST(TextCodec, LinesOfTheSameTextFromDifferentCodesKeepTheirOwnCodes) {
  // 879A (NEC) and FA5B (IBM) are both U+2235; ED40 (NEC-selected IBM) and
  // FA5C (IBM) are both U+7E8A, and FA5C is the code that U+7E8A encodes to.
  ExpectRoundTrip("A c \x87\x9A\r\nA c \xFA\x5B\r\nB \xED\x40\r\nB \xFA\x5C\r\n");
  ExpectRoundTrip("B \xFA\x5C\r\nB \xED\x40\r\nB \xFA\x5C\r\nB \xED\x40");
  ExpectRoundTrip("A c \xFA\x5B\r\nA c \x87\x9A\r\nA c \x81\xE6\r\nA c \xFA\x5B\r\n");
  // A line added later with the same text takes the last code of the file.
  std::string file = "B \xFA\x5C\r\nB \xED\x40\r\n";
  DecodedScore d = DecodeScore(file);
  EXPECT_EQ(EncodeScoreText(d.text + d.text, d.format).bytes,
            file + "B \xED\x40\r\nB \xED\x40\r\n");
}

// Random files, shaped to hit the codec's cases often: line breaks of every
// kind, Shift-JIS lead and trail bytes, undecodable bytes, characters with
// two codes, UTF-8 sequences and byte-order marks.
TEST(TextCodec, LoadThenSaveGivesBackTheBytesOfRandomFiles) {
  const std::string pieces[] = {
      "\r",
      "\n",
      "\r\n",
      "A",
      " ",
      "c",
      "\x80",
      "\xA0",
      "\xFD",
      "\xFF",
      "\x81",
      "\x82\xA0",
      "\x87\x9A",
      "\xFA\x5B",
      "\xED\x40",
      "\xFA\x5C",
      "\x81\xE6",
      "\x88\x9F",
      "\xB1",
      "\xC3\xA9",
      "\xE6\x9B\xB2",
      "\xEF\xBB\xBF",
      "\xF0\x9F\x8E\xB5",
      "\x00",
  };
  std::mt19937 random(20261208);
  for (int round = 0; round < 5000; ++round) {
    std::string file;
    int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) {
      if (random() % 4 == 0) {
        file += static_cast<char>(random() % 256);
      } else {
        file += pieces[random() % std::size(pieces)];
      }
    }
    ExpectRoundTrip(file);
    if (HasFailure()) break;
  }
}

TEST(TextCodec, Utf8FilesAreRecognisedAndSavedInTheirEncoding) {
  DecodedScore plain = DecodeScore("A 曲\nB");
  EXPECT_EQ(plain.format.encoding, ScoreEncoding::kUtf8);
  EXPECT_EQ(plain.text, U("A 曲\nB"));
  EXPECT_EQ(EncodeScoreText(plain.text, plain.format).bytes, "A 曲\r\nB");
  DecodedScore bom = DecodeScore(
      "\xEF\xBB\xBF"
      "A c\r\n");
  EXPECT_EQ(bom.format.encoding, ScoreEncoding::kUtf8Bom);
  EXPECT_EQ(bom.text, U("A c\n"));
  EXPECT_EQ(EncodeScoreText(bom.text, bom.format).bytes,
            "\xEF\xBB\xBF"
            "A c\r\n");
  // ASCII alone, or bytes that are not UTF-8, are Shift-JIS.
  EXPECT_FALSE(LooksLikeUtf8("A c"));
  EXPECT_FALSE(LooksLikeUtf8(Cp932FromUtf8("曲")));
  EXPECT_FALSE(LooksLikeUtf8("\xE6\x9B"));      // cut short
  EXPECT_FALSE(LooksLikeUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(LooksLikeUtf8("\xC0\xAF"));      // overlong
}

TEST(TextCodec, CharactersWithoutShiftJisFormAreCounted) {
  EncodedScore e = EncodeScoreText(U("A c\nB 😀x€"), ScoreFormat{});
  EXPECT_EQ(e.bytes, "A c\r\nB ?x?");
  EXPECT_EQ(e.unencodable, 2);
  EXPECT_EQ(e.first_unencodable.line, 1);
  EXPECT_EQ(e.first_unencodable.column, 2);
}

TEST(TextCodec, ShiftJisLengths) {
  EXPECT_EQ(ShiftJisLength(U'a'), 1);
  EXPECT_EQ(ShiftJisLength(U'ｱ'), 1);
  EXPECT_EQ(ShiftJisLength(U'あ'), 2);
  EXPECT_EQ(ShiftJisLength(U'\uF781'), 1);  // an undecodable byte
  EXPECT_EQ(ShiftJisLength(U'€'), 1);       // compiles as "?"
}

class ScoreFileTest : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
};

TEST_F(ScoreFileTest, SaveRefusesToLoseCharactersUnlessAllowed) {
  QString path = Path("s.qrn");
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  SaveResult r = SaveScoreFile(path, U("A €"), ScoreFormat{});
  EXPECT_EQ(r.outcome, SaveOutcome::kWouldLoseCharacters);
  EXPECT_EQ(r.unencodable, 1);
  EXPECT_EQ(ReadFileBytes(path), "old");
  r = SaveScoreFile(path, U("A €\n"), ScoreFormat{}, /*allow_loss=*/true);
  EXPECT_EQ(r.outcome, SaveOutcome::kSaved);
  EXPECT_EQ(ReadFileBytes(path), "A ?\r\n");
  ScoreFormat utf8{ScoreEncoding::kUtf8, {}};
  EXPECT_EQ(SaveScoreFile(path, U("A €"), utf8).outcome, SaveOutcome::kSaved);
  EXPECT_EQ(ReadFileBytes(path), "A €");
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"s.qrn"});  // no temporaries left
}

TEST_F(ScoreFileTest, FailuresAreValues) {
  QString error;
  EXPECT_FALSE(WriteFileAtomically(Path("no/such/dir/s.qrn"), "x", &error));
  EXPECT_FALSE(error.isEmpty());
  SaveResult r = SaveScoreFile(Path("no/such/dir/s.qrn"), "A c", ScoreFormat{});
  EXPECT_EQ(r.outcome, SaveOutcome::kFailed);
  EXPECT_FALSE(ReadScoreFile(Path("missing.qrn")).has_value());
  EXPECT_EQ(ReadFileBytes(dir_.path()), std::nullopt);
  EXPECT_EQ(ReadFileBytes(""), std::nullopt);
}

}  // namespace
