// The stream compiler and the song image inside whole compilations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/song_test_util.h"

namespace {

std::vector<uint8_t> Image() {
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

TEST(SongCompile, SameTextTwiceGivesTheSameImageAndReport) {
  ASSERT_TRUE(SetUpCompiler());
  const char* text =
      "#clock 480\r\n"
      "%R r1r1r1r1r1r1r1r1r1r1\r\n"
      "B [c d [e]0 / f]3 o9 c&e&g %R%R%R c\r\n"
      "A l8 [cd2d2d2e]2 [ ]4 [c/d] r\r\n"
      "C [c d\r\n";
  int severity = CompileScore(text);
  std::vector<uint8_t> image = Image();
  std::string report = ReportText();
  EXPECT_EQ(3, severity);  // the open loop of track C
  EXPECT_EQ(severity, CompileScore(text));
  EXPECT_EQ(Dump(image), Dump(Image()));
  EXPECT_EQ(report, ReportText());
  // Every stream decodes and ends with 255, 0.
  size_t at = 14;
  int tracks = 0;
  while (at + 2 <= image.size()) {
    size_t size = image[at] | image[at + 1] << 8;
    if (size == 0) break;
    std::string error;
    DecodeStream(image.data() + at + 2, size - 2, 480, &error);
    if (tracks < 2) {
      EXPECT_EQ("", error) << "track " << tracks;
    }
    EXPECT_EQ(255, image[at + size - 2]);
    EXPECT_EQ(0, image[at + size - 1]);
    at += size;
    ++tracks;
  }
  EXPECT_EQ(3, tracks);
  EXPECT_EQ(at + 5, image.size());
}

TEST(SongCompile, ScoreWithoutTracksGivesTheNineteenByteImage) {
  ASSERT_TRUE(SetUpCompiler());
  EXPECT_EQ(0, CompileScore("#clock 192\r\n"));
  EXPECT_EQ("0, 2, 255, 253, 192, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0", Dump(Image()));
}

}  // namespace
