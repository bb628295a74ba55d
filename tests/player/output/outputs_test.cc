// The device outputs as far as they work without a sound card: the embedded
// synthesizer offline, the choice by name, the SoundFont search.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "compiler/driver/driver.h"
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

// What the synthesizer applied: bytes, due sample and the block boundary.
struct Applied {
  std::vector<uint8_t> bytes;
  int64_t due = 0;
  int64_t applied = 0;
};

std::vector<Applied>* Observe(FluidSynthOutput& synth) {
  auto* seen = new std::vector<Applied>;
  synth.SetAppliedObserver([seen](const uint8_t* bytes, int length, int64_t due, int64_t at) {
    seen->push_back({{bytes, bytes + length}, due, at});
  });
  return seen;
}

// Renders `frames` in the pieces an audio device asks for.
std::vector<int16_t> RenderInPeriods(FluidSynthOutput& synth, int frames, int period = 256) {
  std::vector<int16_t> samples(2 * frames);
  for (int at = 0; at < frames; at += period) {
    synth.Render(std::min(period, frames - at), samples.data() + 2 * at);
  }
  return samples;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& samples, int64_t from, int64_t to) {
  return std::vector<int16_t>(samples.begin() + 2 * from, samples.begin() + 2 * to);
}

TEST(FluidSynthTimestampTest, MessagesSoundFromTheBlockAtTheirSample) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  auto synth = OfflineSynth();
  ASSERT_TRUE(synth);
  EXPECT_FALSE(synth->TakesTimestamps());  // offline, with nobody rendering in real time
  synth->TakeTimestamps(256);
  EXPECT_TRUE(synth->TakesTimestamps());
  std::unique_ptr<std::vector<Applied>> seen(Observe(*synth));
  const auto now = std::chrono::steady_clock::now();
  const uint8_t on[] = {0x90, 60, 100};
  const uint8_t off[] = {0x80, 60, 0};
  synth->SetSendTime(now + std::chrono::milliseconds(10));
  synth->SendShort(on, 3);
  synth->SetSendTime(now + std::chrono::milliseconds(30));
  synth->SendShort(off, 3);
  const std::vector<int16_t> samples = RenderInPeriods(*synth, 4410);

  ASSERT_EQ(2u, seen->size());
  EXPECT_EQ(882, (*seen)[1].due - (*seen)[0].due);  // 20 ms at 44100 Hz
  for (const Applied& a : *seen) {
    EXPECT_EQ(0, a.applied % FluidSynthOutput::kBlockFrames);
    EXPECT_LE(a.due, a.applied);
    EXPECT_GT(a.due + FluidSynthOutput::kBlockFrames, a.applied);
  }
  // Silent up to the block the note-on was applied at, sounding from there.
  const int64_t from = (*seen)[0].applied;
  EXPECT_LT(Loudness(Slice(samples, 0, from)), 1);
  EXPECT_GT(Loudness(Slice(samples, from, from + FluidSynthOutput::kBlockFrames)), 1);
}

TEST(FluidSynthTimestampTest, DropSendsQueuedReleasesAtOnceAndForgetsNoteOns) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  auto synth = OfflineSynth();
  ASSERT_TRUE(synth);
  synth->TakeTimestamps(256);
  std::unique_ptr<std::vector<Applied>> seen(Observe(*synth));
  const uint8_t organ[] = {0xc0, 19};  // sustains for as long as the key is held
  const uint8_t on_c[] = {0x90, 60, 100};
  const uint8_t off_c[] = {0x90, 60, 0};
  const uint8_t on_e[] = {0x90, 64, 100};
  synth->SendShort(organ, 2);
  synth->SendShort(on_c, 3);
  RenderInPeriods(*synth, 4410);
  // Queued for a second from now: the release of c and a new note.
  synth->SetSendTime(std::chrono::steady_clock::now() + std::chrono::seconds(1));
  synth->SendShort(off_c, 3);
  synth->SendShort(on_e, 3);
  synth->DropQueued();
  std::vector<int16_t> samples;
  for (int i = 0; i < 30; ++i) samples = RenderInPeriods(*synth, 4410);  // 3 s
  EXPECT_LT(Loudness(samples), 1);
  // Only the two messages given without a time were applied by rendering.
  EXPECT_EQ(2u, seen->size());
  // After the drop, messages go out at once again.
  synth->SendShort(on_e, 3);
  samples = RenderInPeriods(*synth, 4410);
  EXPECT_GT(Loudness(samples), 10);
  ASSERT_EQ(3u, seen->size());
  EXPECT_EQ(-1, (*seen)[2].due);
}

// The queue keeps its room from the start and goes round it: long and short
// messages come out in order with their own bytes, round after round.
TEST(FluidSynthTimestampTest, QueueKeepsOrderAndBytesAcrossManyRounds) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  auto synth = OfflineSynth();
  ASSERT_TRUE(synth);
  synth->TakeTimestamps(256);
  std::unique_ptr<std::vector<Applied>> seen(Observe(*synth));
  std::vector<std::vector<uint8_t>> sent;
  for (int round = 0; round < 3; ++round) {
    const auto now = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
      synth->SetSendTime(now + std::chrono::microseconds(100 * i));
      const uint8_t volume[] = {0xb0, 7, static_cast<uint8_t>(i)};
      const uint8_t sysex[] = {0xf0, 0x7d, static_cast<uint8_t>(i), static_cast<uint8_t>(round),
                               0xf7};
      synth->SendShort(volume, 3);
      synth->SendLong(sysex, sizeof sysex);
      sent.emplace_back(volume, volume + 3);
      sent.emplace_back(sysex, sysex + sizeof sysex);
    }
    RenderInPeriods(*synth, 4410);
  }
  ASSERT_EQ(sent.size(), seen->size());
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], (*seen)[i].bytes) << i;
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
  if (!found.empty()) {
    EXPECT_EQ(".sf2", std::filesystem::path(found).extension());
  }
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

// What a render writes into a pipe (a path to its write end), read on a
// thread of its own so the pipe never fills.
bool RenderIntoPipe(Sequencer& song, const SongRestart& restart, std::string* bytes,
                    std::string* error) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  std::thread reader([&] {
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) bytes->append(buffer, n);
  });
  RenderResult result;
  const bool ok = RenderWav(song, "/proc/self/fd/" + std::to_string(fds[1]), "", 100000, &result,
                            error, {}, restart);
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  return ok;
}

TEST(RenderTest, PipeGetsTheBytesOfAFile) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  // Tempo changes, a gradual one among them, so the length comes from the
  // song's own timing.
  ASSERT_TRUE(SetUpCompiler());
  ASSERT_EQ(0, CompileScore("A t90 o4 l8 c d e t62:64 f g t140 a b >c\nB o3 l2 c g c\n"))
      << ReportText();
  const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
  ReleaseCompiler();
  Sequencer song;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "quern_render_pipe_test.wav";
  RenderResult result;
  std::string error;
  ASSERT_TRUE(RenderWav(song, file.string(), "", 100000, &result, &error)) << error;
  std::ifstream in(file, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(file);

  int restarts = 0;
  auto restart = [&](Sequencer& again) {
    ++restarts;
    again.Load(image.data(), image.size());
  };
  std::string piped;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  ASSERT_TRUE(RenderIntoPipe(song, restart, &piped, &error)) << error;
  EXPECT_EQ(1, restarts);
  EXPECT_EQ(written.size(), piped.size());
  EXPECT_TRUE(written == piped);

  // Without a way to start the song again a pipe is refused before any
  // byte goes out.
  piped.clear();
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  EXPECT_FALSE(RenderIntoPipe(song, {}, &piped, &error));
  EXPECT_NE(std::string::npos, error.find(": Illegal seek")) << error;
  EXPECT_EQ("", piped);
}

}  // namespace
