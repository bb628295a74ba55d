// The MIDI file read back by a small reader of the test's own: the same
// messages at the same song ticks as the trace.
#include <gtest/gtest.h>

#include <cstdio>

#include "compiler/driver/driver.h"
#include "player/midi_file.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"
#include "player/song_export.h"

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

std::vector<uint8_t> Compiled(const char* score) {
  EXPECT_TRUE(SetUpCompiler());
  EXPECT_EQ(0, CompileScore(score));
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

// Counts the note-ons (velocity above 0) and note-offs in trace lines.
void CountNotes(const std::string& lines, int* ons, int* offs) {
  *ons = *offs = 0;
  unsigned tick = 0, status = 0, key = 0, velocity = 0;
  for (size_t at = 0; at < lines.size(); at = lines.find('\n', at) + 1) {
    if (std::sscanf(lines.c_str() + at, "%u %x %x %x", &tick, &status, &key, &velocity) != 4) {
      continue;
    }
    if ((status & 0xf0) == 0x90) ++(velocity > 0 ? *ons : *offs);
  }
}

TEST(MidiFileTest, AStreamedExportIsTheFileInMemoryPieceByPiece) {
  const std::vector<uint8_t> image = Compiled("A t120 o4 l8 [cdef]*\nB o3 l2 [c g]*\n");
  Sequencer whole, streamed, again;
  ASSERT_TRUE(whole.Load(image.data(), image.size()));
  bool endless = false;
  const std::string file = BuildSongMidiFile(whole, 1000000, &endless);
  EXPECT_TRUE(endless);

  ASSERT_TRUE(streamed.Load(image.data(), image.size()));
  std::vector<std::string> pieces;
  std::string header;
  const MidiStreamResult result = StreamSongMidiFile(
      streamed, 1000000, 1,
      [&pieces](std::string_view bytes) {
        pieces.emplace_back(bytes);
        return true;
      },
      &header);
  EXPECT_TRUE(result.endless);
  EXPECT_FALSE(result.cut || result.too_long || result.write_failed);
  ASSERT_GT(pieces.size(), 4u);
  std::string joined;
  for (const std::string& piece : pieces) {
    EXPECT_LT(piece.size(), size_t{66} << 10);  // a piece and one tick's bytes at most
    joined += piece;
  }
  EXPECT_EQ(joined.substr(0, kMidiHeaderBytes), std::string(kMidiHeaderBytes, '\0'));
  joined.replace(0, kMidiHeaderBytes, header);
  EXPECT_EQ(joined, file);

  // With the header known beforehand (an output that cannot seek), it goes
  // out first in place of the placeholders.
  ASSERT_TRUE(again.Load(image.data(), image.size()));
  std::string direct, unused;
  StreamSongMidiFile(
      again, 1000000, 1,
      [&direct](std::string_view bytes) {
        direct.append(bytes);
        return true;
      },
      &unused, header);
  EXPECT_EQ(direct, file);
}

TEST(MidiFileTest, AFailedWriteStopsTheRun) {
  const std::vector<uint8_t> image = Compiled("A t120 o4 l8 [cdef]*\n");
  Sequencer song;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  int writes = 0;
  std::string header;
  const MidiStreamResult result = StreamSongMidiFile(
      song, 1000000000, 1, [&writes](std::string_view) { return ++writes < 3; }, &header);
  EXPECT_TRUE(result.write_failed);
  EXPECT_EQ(writes, 3);
  EXPECT_LT(song.TickCount(), 2000000);
}

TEST(MidiFileTest, AFileAtTheChunkLimitIsCutWithItsNotesReleased) {
  const std::vector<uint8_t> image = Compiled("A t120 o4 l8 [c&e&g d]*\nB o3 l1 [c]*\n");
  Sequencer song;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  std::string file, header;
  const MidiStreamResult result = StreamSongMidiFile(
      song, 1000000, 1,
      [&file](std::string_view bytes) {
        file.append(bytes);
        return true;
      },
      &header, "", 20000);
  EXPECT_TRUE(result.cut);
  EXPECT_FALSE(result.endless || result.too_long || result.write_failed);
  file.replace(0, kMidiHeaderBytes, header);
  EXPECT_LE(file.size(), kMidiHeaderBytes + 20000);
  EXPECT_GE(file.size(), kMidiHeaderBytes + 10000);
  int division = 0, ons = 0, offs = 0;
  CountNotes(ReadBack(file, 1, &division), &ons, &offs);
  EXPECT_GT(ons, 100);
  EXPECT_EQ(ons, offs);
}

TEST(MidiFileTest, ASilenceLongerThanADeltaKeepsTheTimeAfterIt) {
  RecordedMessage on, off;
  on.tick = 5;
  on.bytes = {0x90, 60, 100};
  off.tick = 5 + 600000000;  // beyond the 28 bits of a delta twice over
  off.bytes = {0x90, 60, 0};
  int division = 0;
  EXPECT_EQ("5 90 3c 64\n600000005 90 3c 00\n",
            ReadBack(BuildMidiFile({on, off}, 192), 1, &division));
  // At four file ticks per song tick too.
  EXPECT_EQ("5 90 3c 64\n600000005 90 3c 00\n",
            ReadBack(BuildMidiFile({on, off}, 190), 4, &division));
}

}  // namespace
