// The device outputs as far as they work without a sound card: the embedded
// synthesizer offline, the choice by name, the SoundFont search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "player/messages.h"
#include "player/output/fluidsynth_output.h"
#include "player/output/outputs.h"
#include "player/player.h"

namespace {

double Loudness(const std::vector<int16_t>& samples) {
  double sum = 0;
  for (int16_t s : samples) sum += std::abs(static_cast<double>(s));
  return samples.empty() ? 0 : sum / samples.size();
}

std::unique_ptr<FluidSynthOutput> OfflineSynth() {
  std::string error;
  auto synth = FluidSynthOutput::Open(FindSoundFont(), false, &error);
  EXPECT_TRUE(synth) << error;
  return synth;
}

TEST(FluidSynthOutputTest, NoteSoundsAndStopsOffline) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  auto synth = OfflineSynth();
  ASSERT_TRUE(synth);
  std::vector<int16_t> samples(2 * 4410);
  synth->Render(4410, samples.data());
  EXPECT_LT(Loudness(samples), 1);  // only the dither of the 16-bit output
  const uint8_t on[] = {0x90, 60, 100};
  synth->SendShort(on, 3);
  synth->Render(4410, samples.data());
  EXPECT_GT(Loudness(samples), 10);
  const uint8_t off[] = {0x90, 60, 0};
  synth->SendShort(off, 3);
  for (int i = 0; i < 30; ++i) synth->Render(4410, samples.data());  // 3 s of release
  EXPECT_LT(Loudness(samples), 1);
}

TEST(FluidSynthOutputTest, LongMessagesCompleteAtOnce) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  auto synth = OfflineSynth();
  ASSERT_TRUE(synth);
  int done = 0;
  synth->SetLongDone([&] { ++done; });
  const uint8_t gm_on[] = {0xf0, 0x7e, 0x7f, 0x09, 0x01, 0xf7};
  EXPECT_TRUE(synth->SendLong(gm_on, sizeof gm_on));
  // Channel messages from a template: a program change and a note on.
  const uint8_t channel_messages[] = {0xc0, 40, 0x90, 64, 90};
  EXPECT_TRUE(synth->SendLong(channel_messages, sizeof channel_messages));
  EXPECT_EQ(2, done);
  std::vector<int16_t> samples(2 * 4410);
  synth->Render(4410, samples.data());
  EXPECT_GT(Loudness(samples), 10);
}

TEST(OutputChoiceTest, NamesGiveOutputsOrOneLineReasons) {
  std::string error;
  EXPECT_TRUE(OpenOutput("none", "", &error));
  EXPECT_FALSE(OpenOutput("speaker", "", &error));
  EXPECT_EQ("unknown output 'speaker' (synth, alsa:PORT or none)", error);
  error.clear();
  EXPECT_FALSE(OpenOutput("alsa:no such port anywhere", "", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(std::string::npos, error.find('\n'));
  EXPECT_FALSE(OpenOutput("synth", "/no/such/font.sf2", &error));
  EXPECT_EQ("cannot read the SoundFont /no/such/font.sf2", error);
}

TEST(OutputChoiceTest, SoundFontSearchPrefersTheNamedFile) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "quern_outputs_test.sf2";
  std::ofstream(file) << "not really a SoundFont";
  EXPECT_EQ(file.string(), FindSoundFont(file.string()));
  EXPECT_EQ("", FindSoundFont("/no/such/font.sf2"));
  std::string error;
  EXPECT_FALSE(FluidSynthOutput::Open(file.string(), false, &error));
  EXPECT_EQ("cannot load the SoundFont " + file.string(), error);
  std::filesystem::remove(file);
  const std::string found = FindSoundFont();
  if (!found.empty()) EXPECT_EQ(".sf2", std::filesystem::path(found).extension());
}

TEST(RenderTest, WavLastsAsLongAsTheSongAndIsNotSilent) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  // One quarter note at resolution 192, tempo 120: 500 ms.
  const std::vector<uint8_t> image = {0, 2, 0xff, 0xfd, 192, 0,   0, 0, 0, 0, 0, 0,
                                      0, 0, 5,    0,    30,  255, 0, 0, 0, 0, 0, 0};
  Sequencer song;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "quern_render_test.wav";
  RenderResult result;
  std::string error;
  ASSERT_TRUE(RenderWav(song, file.string(), "", 100000, &result, &error)) << error;
  EXPECT_NEAR(0.5, result.seconds, 0.001);
  EXPECT_EQ(49, result.ticks);
  const auto size = std::filesystem::file_size(file);
  EXPECT_EQ(44u + 4u * (22050u + 44100u), size);
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes(size);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  EXPECT_EQ("RIFF", std::string(bytes.data(), 4));
  std::vector<int16_t> samples(2 * 4410);
  std::memcpy(samples.data(), bytes.data() + 44 + 4 * 4410, samples.size() * 2);
  EXPECT_GT(Loudness(samples), 10);
  std::filesystem::remove(file);
}

}  // namespace
