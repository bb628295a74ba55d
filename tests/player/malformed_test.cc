// Images that are not what the compiler writes: refused with a reason, or
// played without reading outside the image (the sanitizer build checks).
#include <gtest/gtest.h>

#include <random>

#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"

namespace {

std::string LoadError(const Bytes& image) {
  std::string error;
  EXPECT_FALSE(LoadSong(image.data(), image.size(), &error));
  return error;
}

TEST(MalformedImageTest, RefusedWithAReasonKeepingThePreviousSong) {
  SongLayout song;
  song.tracks = {{30, 255, 0}};
  const Bytes good = BuildImage(song);
  ASSERT_TRUE(LoadSong(good.data(), good.size()));

  EXPECT_EQ("not a song image: shorter than its 14-byte header", LoadError(Bytes(13, 0)));
  Bytes wrong = good;
  wrong[0] = 1;
  EXPECT_EQ("not a song image: wrong first word", LoadError(wrong));
  Bytes cut(good.begin(), good.begin() + 15);
  EXPECT_EQ("not a song image: the track list is cut off", LoadError(cut));
  Bytes long_track = good;
  long_track[14] = 200;
  EXPECT_EQ("not a song image: track 1 runs past the end", LoadError(long_track));
  Bytes tiny_track = good;
  tiny_track[14] = 1;
  EXPECT_EQ("not a song image: track 1 has a size of 1", LoadError(tiny_track));

  EXPECT_EQ(1, LoadedTrackCount());
  SequencerTick();
  EXPECT_EQ(1, SequencerTickCount());  // the first song is still loaded
}

TEST(MalformedImageTest, OnlyResolutionZeroIsRefused) {
  SongLayout song;
  song.resolution = 0;
  song.tracks = {{30, 255, 0}};
  EXPECT_EQ("resolution 0 cannot be played: ticks per whole note must be 1 to 65535",
            LoadError(BuildImage(song)));
  // The resolution is an unsigned word: a quarter is resolution / 4 ticks.
  for (int resolution : {1, 32767, 32768, 65535}) {
    SCOPED_TRACE(resolution);
    song.resolution = resolution;
    EXPECT_EQ(
        resolution < 4 ? "" : "1 91 3c 50\n" + std::to_string(1 + resolution / 4) + " 91 3c 00\n",
        Play(BuildImage(song)));
    EXPECT_EQ(resolution, SongResolution());
  }
}

TEST(MalformedImageTest, StreamsCutOffOrJumpingOutsideEndTheirTrack) {
  const std::vector<Bytes> streams = {
      {30 | 128},                                       // note without its length
      {30 | 128, 255, 1},                               // three-byte number cut off
      {30, 253},                                        // accent without its velocity
      {125, 0},                                         // break word cut off
      {124, 1, 125, 100, 0, 30},                        // break jumps beyond the stream
      {124, 2, 30, 126, 99, 0},                         // loop end jumps before the stream
      {255, 3, 50, 0},                                  // endless loop end without a frame, outside
      {127, 7},                                         // attribute cut off
      {189, 5, 1},                                      // program cut off
      {255},                                            // escape without its code
      {255, 4},                                         // direct out without its index
      {255, 4, 9, 127, 140, 0, 0, 127, 7, 0x20, 0x4e},  // missing list entries
  };
  for (const Bytes& stream : streams) {
    SongLayout song;
    song.tracks = {stream};
    Bytes image = BuildImage(song);
    Play(image, 1000);
    EXPECT_TRUE(SongFinished()) << "stream of " << stream.size() << " bytes";
  }
}

TEST(MalformedImageTest, LoopWithoutTimeEndsItsTrackAndTheCutIsLogged) {
  SongLayout song;
  const Bytes spin = {124, 255, 252, 1, 255, 3, 4, 0};
  song.tracks = {spin, {30, 255, 0}, Cat({{60, 5}, spin})};
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n", Play(BuildImage(song)));
  EXPECT_EQ((std::vector<TrackCut>{{1, 1, 9}, {3, 6, 11}}), TrackCuts());
  // A new song starts with an empty log.
  song.tracks = {{30, 255, 0}};
  Play(BuildImage(song));
  EXPECT_TRUE(TrackCuts().empty());
}

TEST(MalformedImageTest, ListsCutOffAreTakenAsFarAsTheyGo) {
  SongLayout song;
  song.tracks = {{255, 4, 0, 255, 4, 1, 255, 0}};
  song.direct_outs = {{0xf0, 0xf7}, {0xf0, 1, 2, 0xf7}};
  Bytes image = BuildImage(song);
  image.resize(image.size() - 4);  // the second entry is cut off
  EXPECT_EQ("1 f0 f7\n", Play(image));
}

TEST(MalformedImageTest, RandomBytesBehindAValidHeaderNeverReadOutside) {
  std::mt19937 random(12345);
  for (int round = 0; round < 400; ++round) {
    SongLayout song;
    song.resolution = 1 + static_cast<int>(random() % 500);
    const int tracks = 1 + static_cast<int>(random() % 4);
    for (int t = 0; t < tracks; ++t) {
      Bytes stream(random() % 60);
      for (uint8_t& b : stream) b = static_cast<uint8_t>(random());
      song.tracks.push_back(stream);
    }
    song.attribute_templates = {{0xf0, 253, 3, 253, 2, 253}};
    song.direct_outs = {{0xb0, 1, 253}};
    song.graduals = {{0, 65535, 3}, {65535, 0, 0}};
    Bytes image = BuildImage(song);
    // Sometimes cut the lists short as well.
    if (round % 3 == 0) image.resize(image.size() - random() % 12);
    std::string error;
    if (!LoadSong(image.data(), image.size(), &error)) continue;
    for (int i = 0; i < 3000 && !SongFinished(); ++i) SequencerTick();
    SilenceNotes();
  }
}

TEST(MalformedImageTest, MutatedSongImagesNeverReadOutside) {
  // A song that uses every part of the image: loops of all kinds, gates,
  // program, templates, direct out and gradual changes, in three tracks.
  SongLayout song;
  song.tracks = {
      {124, 3, 30, 125, 6, 0, 32, 126, 6, 0, 34 | 128, 96, 253, 100, 255, 0},
      Cat({{188, 9, 189, 5}, Word(130), {191}, Word(-6), {127, 131}, Word(7), {127, 7},
           Word(10000), {127, 129}, Word(10001), {124, 255, 30 | 64, 0, 37, 255, 3, 5, 0}}),
      Cat({{255, 1, 190}, Word(10), {62, 24, 63, 60, 30, 255, 4, 0, 61, 255, 2, 30, 255, 0}})};
  song.attribute_templates = {{0xb0, 7, 253, 3}, {0xf0, 0x41, 253, 1, 1, 253, 2, 0xf7}};
  song.direct_outs = {{0xf0, 0x7e, 0x7f, 9, 1, 0xf7}};
  song.graduals = {{0, 100, 48}, {10, 110, 10}};
  const Bytes original = BuildImage(song);
  OpenMidiDevices(std::make_unique<NullOutput>());
  std::mt19937 random(6789);
  for (int round = 0; round < 2000; ++round) {
    Bytes image = original;
    // Keep the first word in most rounds, so that the load gets past it.
    const size_t from = round % 10 == 0 ? 0 : 2;
    for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n) {
      image[from + random() % (image.size() - from)] = static_cast<uint8_t>(random());
    }
    if (round % 7 == 0) image.resize(random() % image.size());
    if (!LoadSong(image.data(), image.size())) continue;
    for (int i = 0; i < 2000 && !SongFinished(); ++i) SequencerTick();
    SilenceNotes();
  }
}

}  // namespace
