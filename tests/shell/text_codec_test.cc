#include "shell/text_codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
