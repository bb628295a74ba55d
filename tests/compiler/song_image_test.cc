#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/commands/commands.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "compile_helpers.h"

namespace {

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetResolution(192);
    ResetSongBuffers();
    AttributeDefinitionList().Clear();
    DirectOutList().Clear();
    GradualChangeList().Clear();
  }
  void TearDown() override {
    AttributeDefinitionList().Clear();
    DirectOutList().Clear();
    GradualChangeList().Clear();
  }
  void AddEmptyTrack() {
    TableBuilder t;
    t.Add(0, kEventStartOfTrack);
    t.End(0);
    CompileTrackStream();
    AppendTrackStream();
  }
};

constexpr char kHeader192[] = "0, 2, 255, 253, 192, 0, 0, 0, 0, 0, 0, 0, 0, 0";

TEST_F(ImageTest, SongWithoutTracksAndWithOneEmptyTrack) {
  BeginSongImage(192);
  FinishSongImage();
  EXPECT_EQ(std::string(kHeader192) + ", 0, 0, 0, 0, 0", Dump(SongImage()));
  EXPECT_EQ(19u, SongImage().Length());

  BeginSongImage(192);
  AddEmptyTrack();
  FinishSongImage();
  EXPECT_EQ(std::string(kHeader192) + ", 4, 0, 255, 0, 0, 0, 0, 0, 0", Dump(SongImage()));

  BeginSongImage(480);
  FinishSongImage();
  EXPECT_EQ("0, 2, 255, 253, 224, 1", Dump(SongImage()).substr(0, 22));
}

TEST_F(ImageTest, CountedLoopTrackGivesThirtyBytes) {
  BeginSongImage(192);
  TableBuilder t;
  t.Add(0, kEventStartOfTrack);
  int loop = t.Open(0);
  t.Note(0, 60, 48);
  t.Note(48, 62, 48);
  t.Close(loop, 96, 2, 192);
  t.End(192);
  CompileTrackStream();
  AppendTrackStream();
  AddEmptyTrack();
  FinishSongImage();
  EXPECT_EQ(std::string(kHeader192) +
                ", 11, 0, 124, 2, 30, 32, 126, 3, 0, 255, 0, 4, 0, 255, 0, 0, 0, 0, 0, 0",
            Dump(SongImage()));
}

TEST_F(ImageTest, ThreeListsBehindTheTracks) {
  const uint8_t sysex[] = {0xf0, 0x41, 253, 3, 0xf7};
  const uint8_t reset[] = {0xf0, 0x7e, 0xf7};
  const uint8_t direct[] = {0xb0, 7, 100};
  AttributeDefinitionList().AddBytes(sysex, sizeof sysex);
  AttributeDefinitionList().AddBytes(reset, sizeof reset);
  DirectOutList().AddBytes(direct, sizeof direct);
  const int16_t gradual[2][6] = {{0, 48, 100, 48, 255, 0}, {100, 10, -1, 300, 255, 0}};
  for (const auto& g : gradual) {
    GradualChangeList().AddBytes(reinterpret_cast<const uint8_t*>(g), sizeof g);
  }
  BeginSongImage(192);
  FinishSongImage();
  EXPECT_EQ(std::string(kHeader192) +
                ", 0, 0"
                ", 5, 240, 65, 253, 3, 247, 3, 240, 126, 247, 0"
                ", 3, 176, 7, 100, 0"
                ", 6, 0, 0, 100, 0, 48, 0, 6, 100, 0, 255, 255, 44, 1, 0",
            Dump(SongImage()));
}

TEST_F(ImageTest, TemplateLengthByteNeverWrapsNorEndsTheList) {
  std::vector<uint8_t> long_template(300, 7);
  DirectOutList().AddBytes(long_template.data(), long_template.size());
  const uint8_t last[] = {9};
  DirectOutList().AddBytes(last, 0);
  DirectOutList().AddBytes(last, 1);
  BeginSongImage(192);
  FinishSongImage();
  const ByteBuffer& image = SongImage();
  // Header, word 0, empty list 1, then list 2.
  const uint8_t* list = image.Begin() + 17;
  EXPECT_EQ(255, list[0]);
  EXPECT_EQ(7, list[255]);
  EXPECT_EQ("1, 0, 1, 9, 0, 0", Dump(std::vector<uint8_t>(list + 256, image.Begin() + image.Length())));
}

TEST_F(ImageTest, OverlongTrackStreamIsStoredAsEmptyTrack) {
  TableBuilder t;
  t.Add(0, kEventStartOfTrack);
  // Each note carries its own length and step: 7 bytes.
  for (int i = 0; i < 10000; ++i) t.Note(i * 5000, 60, 4000 + i % 2);
  t.End(10000 * 5000);
  int length = CompileTrackStream();
  EXPECT_GT(length, 65533);
  BeginSongImage(192);
  AppendTrackStream();
  AddEmptyTrack();
  FinishSongImage();
  EXPECT_EQ(std::string(kHeader192) + ", 4, 0, 255, 0, 4, 0, 255, 0, 0, 0, 0, 0, 0",
            Dump(SongImage()));
}

TEST_F(ImageTest, StreamOfExactlyTheLargestSizeIsKept) {
  TableBuilder t;
  t.Add(0, kEventStartOfTrack);
  // 65531 bytes of channel and direct-out events, then 255, 0.
  for (int i = 0; i < 32764; ++i) t.Add(0, kEventChannel, 1);
  t.Add(0, kEventDirectOut);
  t.End(0);
  ASSERT_EQ(65533, CompileTrackStream());
  BeginSongImage(192);
  AppendTrackStream();
  FinishSongImage();
  EXPECT_EQ(14u + 2 + 65533 + 5, SongImage().Length());
  EXPECT_EQ(255, SongImage().Begin()[14]);
  EXPECT_EQ(255, SongImage().Begin()[15]);
}

}  // namespace
