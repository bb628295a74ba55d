// The MIDI file read back by a small reader of the test's own: the same
// messages at the same song ticks as the trace.
#include <gtest/gtest.h>

#include <cstdio>

#include "player/midi_file.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"

namespace {

uint32_t BigEndian(const std::string& f, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(f[at + i]);
  return v;
}

// Lines in the trace format, song tick = file time / ticks_per_song_tick + 1.
// The file's starting tempo 120 is left out.
std::string ReadBack(const std::string& f, int ticks_per_song_tick, int* division) {
  EXPECT_EQ("MThd", f.substr(0, 4));
  EXPECT_EQ(0u, BigEndian(f, 8, 2));   // format 0
  EXPECT_EQ(1u, BigEndian(f, 10, 2));  // one track
  *division = static_cast<int>(BigEndian(f, 12, 2));
  EXPECT_EQ("MTrk", f.substr(14, 4));
  const size_t end = 22 + BigEndian(f, 18, 4);
  EXPECT_EQ(f.size(), end);
  size_t pos = 22;
  auto varlen = [&] {
    uint32_t v = 0;
    uint8_t b = 0;
    do {
      b = static_cast<uint8_t>(f[pos++]);
      v = (v << 7) | (b & 127);
    } while (b & 128);
    return v;
  };
  auto hex = [](uint8_t b) {
    char s[4];
    std::snprintf(s, sizeof s, " %02x", b);
    return std::string(s);
  };
  std::string lines;
  uint64_t time = 0;
  bool first_tempo = true;
  while (pos < end) {
    time += varlen();
    const std::string tick = std::to_string(time / ticks_per_song_tick + 1);
    const uint8_t status = static_cast<uint8_t>(f[pos++]);
    if (status == 0xff) {
      const uint8_t kind = static_cast<uint8_t>(f[pos++]);
      const uint32_t n = varlen();
      if (kind == 0x51) {
        const uint32_t bpm = (60000000 + BigEndian(f, pos, 3) / 2) / BigEndian(f, pos, 3);
        if (!(first_tempo && time == 0 && bpm == 120)) {
          lines += tick + " tempo " + std::to_string(bpm) + "\n";
        }
        first_tempo = false;
      }
      pos += n;
    } else if (status == 0xf0 || status == 0xf7) {
      const uint32_t n = varlen();
      lines += tick + (status == 0xf0 ? " f0" : "");
      for (uint32_t i = 0; i < n; ++i) lines += hex(static_cast<uint8_t>(f[pos++]));
      lines += "\n";
    } else {
      const int size = (status & 0xf0) == 0xc0 || (status & 0xf0) == 0xd0 ? 2 : 3;
      lines += tick + hex(status);
      for (int i = 1; i < size; ++i) lines += hex(static_cast<uint8_t>(f[pos++]));
      lines += "\n";
    }
  }
  return lines;
}

std::vector<RecordedMessage> RunToTheEnd(const Bytes& image) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  EXPECT_TRUE(LoadSong(image.data(), image.size()));
  while (!SongFinished()) SequencerTick();
  std::vector<RecordedMessage> messages = out->Messages();
  CloseMidiDevices();
  return messages;
}

std::string TraceOf(const std::vector<RecordedMessage>& messages) {
  std::string text;
  for (const RecordedMessage& m : messages) text += FormatMessageLine(m) + "\n";
  return text;
}

TEST(MidiFileTest, HoldsTheTracedMessagesAtTheirTicks) {
  SongLayout song;
  song.resolution = 480;
  song.tracks = {Cat({{127, 128},
                      Word(90),
                      {189, 41},
                      Word(130),
                      {127, 7},
                      Word(100),
                      {30 | 128},
                      {255},
                      Word(4000),
                      {255, 4, 0, 60, 200, 127, 128},
                      Word(60),
                      {32, 255, 0}}),
                 Cat({{188, 9, 127, 130}, Word(80), {127, 10}, Word(10000), {34, 255, 0}})};
  song.direct_outs = {{0xf0, 0x7e, 0x7f, 9, 1, 0xf7}};
  song.graduals = {{0, 3, 6}};
  const std::vector<RecordedMessage> messages = RunToTheEnd(BuildImage(song));
  int division = 0;
  EXPECT_EQ(TraceOf(messages), ReadBack(BuildMidiFile(messages, 480), 1, &division));
  EXPECT_EQ(120, division);
}

TEST(MidiFileTest, ResolutionNotDivisibleByFourCountsFourFileTicksPerTick) {
  SongLayout song;
  song.resolution = 190;
  song.tracks = {{30, 32, 255, 0}};
  const std::vector<RecordedMessage> messages = RunToTheEnd(BuildImage(song));
  int division = 0;
  EXPECT_EQ("1 91 3c 50\n48 91 3c 00\n48 91 3e 50\n95 91 3e 00\n",
            ReadBack(BuildMidiFile(messages, 190), 4, &division));
  EXPECT_EQ(190, division);
}

TEST(MidiFileTest, ResolutionsAboveThe15BitDivisionStillGiveAValidFile) {
  struct Case {
    int resolution, division, scale;
    uint32_t tempo_120;  // microseconds per file quarter at the start
  } cases[] = {
      {40000, 10000, 1, 500000},
      {40002, 20001, 2, 500000},
      // Odd: the nearest whole quarter, its tempo scaled to match.
      {40001, 10000, 1, 499987},
      {65535, 16384, 1, 500007},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resolution);
    SongLayout song;
    song.resolution = c.resolution;
    song.tracks = {Cat({{30, 127, 128}, Word(240), {32, 255, 0}})};
    const std::vector<RecordedMessage> messages = RunToTheEnd(BuildImage(song));
    const std::string file = BuildMidiFile(messages, c.resolution);
    int division = 0;
    EXPECT_EQ(TraceOf(messages), ReadBack(file, c.scale, &division));
    EXPECT_EQ(c.division, division);
    EXPECT_EQ(c.tempo_120, BigEndian(file, 26, 3));
  }
}

TEST(MidiFileTest, TemplatesOfChannelMessagesBecomeChannelEvents) {
  RecordedMessage m;
  m.tick = 3;
  m.long_message = true;
  m.bytes = {0xb2, 7, 100, 0xc2, 5, 0x42};
  int division = 0;
  EXPECT_EQ("3 b2 07 64\n3 c2 05\n3 42\n", ReadBack(BuildMidiFile({m}, 192), 1, &division));
}

}  // namespace
