#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compile_helpers.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"

namespace {

class ImageTest : public ::testing::Test {
 protected:
  // The image ends with the three song lists of the compilation.
  void Finish() { FinishSongImage(cc_, definitions_, direct_out_, gradual_); }
  void AddEmptyTrack() {
    TableBuilder t(cc_);
    t.Add(0, kEventStartOfTrack);
    t.End(0);
    CompileTrackStream(cc_, 192);
    AppendTrackStream(cc_);
  }

  CompileContext cc_;
  StringTable definitions_, direct_out_, gradual_;
};

constexpr char kHeader192[] = "0, 2, 255, 253, 192, 0, 0, 0, 0, 0, 0, 0, 0, 0";

TEST_F(ImageTest, SongWithoutTracksAndWithOneEmptyTrack) {
  BeginSongImage(cc_, 192);
  Finish();
  EXPECT_EQ(std::string(kHeader192) + ", 0, 0, 0, 0, 0", Dump(SongImage(cc_)));
  EXPECT_EQ(19u, SongImage(cc_).Length());

  BeginSongImage(cc_, 192);
  AddEmptyTrack();
  Finish();
  EXPECT_EQ(std::string(kHeader192) + ", 4, 0, 255, 0, 0, 0, 0, 0, 0", Dump(SongImage(cc_)));

  BeginSongImage(cc_, 480);
  Finish();
  EXPECT_EQ("0, 2, 255, 253, 224, 1", Dump(SongImage(cc_)).substr(0, 22));
}

TEST_F(ImageTest, CountedLoopTrackGivesThirtyBytes) {
  BeginSongImage(cc_, 192);
  TableBuilder t(cc_);
  t.Add(0, kEventStartOfTrack);
  int loop = t.Open(0);
  t.Note(0, 60, 48);
  t.Note(48, 62, 48);
  t.Close(loop, 96, 2, 192);
  t.End(192);
  CompileTrackStream(cc_, 192);
  AppendTrackStream(cc_);
  AddEmptyTrack();
  Finish();
  EXPECT_EQ(std::string(kHeader192) +
                ", 11, 0, 124, 2, 30, 32, 126, 3, 0, 255, 0, 4, 0, 255, 0, 0, 0, 0, 0, 0",
            Dump(SongImage(cc_)));
}

TEST_F(ImageTest, ThreeListsBehindTheTracks) {
  const uint8_t sysex[] = {0xf0, 0x41, 253, 3, 0xf7};
  const uint8_t reset[] = {0xf0, 0x7e, 0xf7};
  const uint8_t direct[] = {0xb0, 7, 100};
  definitions_.AddBytes(sysex, sizeof sysex);
  definitions_.AddBytes(reset, sizeof reset);
  direct_out_.AddBytes(direct, sizeof direct);
  const int16_t gradual[2][6] = {{0, 48, 100, 48, 255, 0}, {100, 10, -1, 300, 255, 0}};
  for (const auto& g : gradual) {
    gradual_.AddBytes(reinterpret_cast<const uint8_t*>(g), sizeof g);
  }
  BeginSongImage(cc_, 192);
  Finish();
  EXPECT_EQ(std::string(kHeader192) +
                ", 0, 0"
                ", 5, 240, 65, 253, 3, 247, 3, 240, 126, 247, 0"
                ", 3, 176, 7, 100, 0"
                ", 6, 0, 0, 100, 0, 48, 0, 6, 100, 0, 255, 255, 44, 1, 0",
            Dump(SongImage(cc_)));
}

TEST_F(ImageTest, TemplateLengthByteNeverWrapsNorEndsTheList) {
  std::vector<uint8_t> long_template(300, 7);
  direct_out_.AddBytes(long_template.data(), long_template.size());
  const uint8_t last[] = {9};
  direct_out_.AddBytes(last, 0);
  direct_out_.AddBytes(last, 1);
  BeginSongImage(cc_, 192);
  Finish();
  const ByteBuffer& image = SongImage(cc_);
  // Header, word 0, empty list 1, then list 2.
  const uint8_t* list = image.Begin() + 17;
  EXPECT_EQ(255, list[0]);
  EXPECT_EQ(7, list[255]);
  EXPECT_EQ("1, 0, 1, 9, 0, 0",
            Dump(std::vector<uint8_t>(list + 256, image.Begin() + image.Length())));
}

TEST_F(ImageTest, OverlongTrackStreamIsStoredAsEmptyTrack) {
  TableBuilder t(cc_);
  t.Add(0, kEventStartOfTrack);
  // Each note carries its own length and step: 7 bytes.
  for (int i = 0; i < 10000; ++i) t.Note(i * 5000, 60, 4000 + i % 2);
  t.End(10000 * 5000);
  int length = CompileTrackStream(cc_, 192);
  EXPECT_GT(length, 65533);
  BeginSongImage(cc_, 192);
  AppendTrackStream(cc_);
  AddEmptyTrack();
  Finish();
  EXPECT_EQ(std::string(kHeader192) + ", 4, 0, 255, 0, 4, 0, 255, 0, 0, 0, 0, 0, 0",
            Dump(SongImage(cc_)));
}

TEST_F(ImageTest, StreamOfExactlyTheLargestSizeIsKept) {
  TableBuilder t(cc_);
  t.Add(0, kEventStartOfTrack);
  // 65531 bytes of channel and direct-out events, then 255, 0.
  for (int i = 0; i < 32764; ++i) t.Add(0, kEventChannel, 1);
  t.Add(0, kEventDirectOut);
  t.End(0);
  ASSERT_EQ(65533, CompileTrackStream(cc_, 192));
  BeginSongImage(cc_, 192);
  AppendTrackStream(cc_);
  Finish();
  EXPECT_EQ(14u + 2 + 65533 + 5, SongImage(cc_).Length());
  EXPECT_EQ(255, SongImage(cc_).Begin()[14]);
  EXPECT_EQ(255, SongImage(cc_).Begin()[15]);
}

}  // namespace
