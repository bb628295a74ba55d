#include <gtest/gtest.h>

#include <sstream>

#include "compiler/song/bytecode.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"

namespace {

std::string PlayTrack(const Bytes& stream, int max_ticks = 100000, bool stop = false) {
  SongLayout song;
  song.tracks = {stream};
  return Play(BuildImage(song), max_ticks, stop);
}

// The value bytes of every recorded control change, blank-separated.
std::string ControllerValues(const std::string& lines) {
  std::istringstream in(lines);
  std::string line, values;
  while (std::getline(in, line)) {
    if (line.find(" b1 07 ") == std::string::npos) continue;
    values += (values.empty() ? "" : " ") +
              std::to_string(std::stoi(line.substr(line.size() - 2), nullptr, 16));
  }
  return values;
}

TEST(SequencerTest, EndOfTrackAloneSendsNothing) {
  EXPECT_EQ("", PlayTrack({255, 0}));
  SongLayout song;
  song.tracks = {{255, 0}, {255, 0}};
  EXPECT_EQ("", Play(BuildImage(song)));
  EXPECT_TRUE(SongFinished());
}

TEST(SequencerTest, PlainNoteIsAQuarterOnChannelIndexOne) {
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n", PlayTrack({30, 255, 0}));
}

TEST(SequencerTest, CountedLoopPlaysAtExactTicks) {
  EXPECT_EQ(
      "1 91 3c 50\n"
      "49 91 3c 00\n49 91 3e 50\n"
      "97 91 3e 00\n97 91 3c 50\n"
      "145 91 3c 00\n145 91 3e 50\n"
      "193 91 3e 00\n",
      PlayTrack({124, 2, 30, 32, 126, 3, 0, 255, 0}));
  EXPECT_EQ(193, SequencerTickCount());
}

TEST(SequencerTest, LoopBreakLeavesOnTheLastPass) {
  // [3 c / d] e: c d c d c e; the break word at offset 4 points behind the
  // loop end (offset 9).
  const std::string got = PlayTrack({124, 3, 30, 125, 6, 0, 32, 126, 6, 0, 34, 255, 0});
  EXPECT_EQ(
      "1 91 3c 50\n49 91 3c 00\n49 91 3e 50\n97 91 3e 00\n97 91 3c 50\n"
      "145 91 3c 00\n145 91 3e 50\n193 91 3e 00\n193 91 3c 50\n"
      "241 91 3c 00\n241 91 40 50\n289 91 40 00\n",
      got);
}

TEST(SequencerTest, LoopRestoresLengthOctaveAndGate) {
  // The body changes the length register, the octave base and the gate; the
  // second pass sees the values of the start, and so does the note behind
  // the loop, except for the gate.
  const Bytes stream = {124,         2,  30,  62, 24, 63, 42,  191, Word(-6)[0],
                        Word(-6)[1], 30, 126, 10, 0,  30, 255, 0};
  EXPECT_EQ(
      "1 91 3c 50\n49 91 3c 00\n49 91 48 50\n67 91 48 00\n"
      "73 91 3c 50\n121 91 3c 00\n121 91 48 50\n139 91 48 00\n"
      "145 91 3c 50\n187 91 3c 00\n",
      PlayTrack(stream));
}

TEST(SequencerTest, GatesShortenAndSilenceNotes) {
  EXPECT_EQ("1 91 3c 50\n43 91 3c 00\n", PlayTrack(Cat({{191}, Word(-6), {30, 255, 0}})));
  EXPECT_EQ("", PlayTrack(Cat({{190}, Word(0), {30, 32, 255, 0}})));
  EXPECT_EQ("1 91 3c 50\n11 91 3c 00\n49 91 3e 50\n59 91 3e 00\n",
            PlayTrack(Cat({{190}, Word(10), {30, 32, 255, 0}})));
}

TEST(SequencerTest, OverlappingSamePitchIsReleasedWhenStruckAgain) {
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n49 91 3c 50\n145 91 3c 00\n",
            PlayTrack(Cat({{191}, Word(48), {30, 30, 255, 0}})));
}

TEST(SequencerTest, ChordsLengthsStepsAndAccents) {
  // c with step 0 and accent 100, e and g of length 96; a rest of 24, then a
  // note of the length register after setting it to 12.
  const Bytes stream = {30 | 64, 0,  253, 100, 34 | 128 | 64, 96, 0, 37 | 128, 96, 60,
                        24,      62, 12,  30,  255,           0};
  EXPECT_EQ(
      "1 91 3c 64\n1 91 40 50\n1 91 43 50\n"
      "49 91 3c 00\n97 91 40 00\n97 91 43 00\n"
      "121 91 3c 50\n133 91 3c 00\n",
      PlayTrack(stream));
}

TEST(SequencerTest, HitModeNotesAreNeverReleased) {
  EXPECT_EQ("1 91 3c 50\n49 91 3e 50\n", PlayTrack({255, 1, 30, 32, 255, 0}, 1000, true));
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n49 91 3e 50\n97 91 3e 00\n",
            PlayTrack({255, 1, 255, 2, 30, 32, 255, 0}));
}

TEST(SequencerTest, StopStepReleasesScheduledNotesOnly) {
  EXPECT_EQ("1 91 3e 50\n1 91 3c 50\n10 91 3c 00\n",
            PlayTrack({255, 1, 32 | 64, 0, 255, 2, 30, 255, 0}, 10, true));
}

TEST(SequencerTest, ChannelProgramBankVelocityAndAttributes) {
  const Bytes stream = Cat({{188, 9, 189, 5},
                            Word(130),
                            {189, 200},
                            Word(65535),
                            {189, 7},
                            Word(20000),
                            {252, 33, 127, 10},
                            Word(64),
                            {127, 130},
                            Word(70),
                            {127, 129},
                            Word(90),
                            {127, 128},
                            Word(150),
                            {30, 255, 0}});
  EXPECT_EQ(
      "1 b9 00 01\n1 b9 20 02\n1 c9 05\n1 c9 07\n1 b9 0a 40\n1 e9 00 46\n"
      "1 tempo 150\n1 99 3c 5a\n49 99 3c 00\n",
      PlayTrack(stream));
}

std::string PlayGradual(int start, int end, int duration, int number = 7) {
  SongLayout song;
  song.tracks = {Cat({{127, static_cast<uint8_t>(number)}, Word(10000), {60, 100, 255, 0}})};
  song.graduals = {{start, end, duration}};
  return Play(BuildImage(song));
}

TEST(SequencerTest, GradualChangesFollowTheLine) {
  std::string up = PlayGradual(0, 100, 48);
  EXPECT_EQ(
      "2 4 6 8 10 12 14 16 18 20 22 25 27 29 31 33 35 37 39 41 43 45 47 50 "
      "52 54 56 58 60 62 64 66 68 70 72 75 77 79 81 83 85 87 89 91 93 95 97 100",
      ControllerValues(up));
  EXPECT_NE(std::string::npos, up.find("\n49 b1 07 64\n"));  // the 48th tick after the start
  std::string down = ControllerValues(PlayGradual(100, 0, 48));
  EXPECT_EQ("98 96", down.substr(0, 5));
  EXPECT_EQ("5 3 0", down.substr(down.size() - 5));
  EXPECT_EQ("9 b1 07 41\n17 b1 07 42\n25 b1 07 43\n33 b1 07 44\n41 b1 07 45\n49 b1 07 46\n",
            PlayGradual(64, 70, 48));
}

TEST(SequencerTest, GradualChangeOfDurationZeroSetsTheEndValueAtOnce) {
  EXPECT_EQ("1 b1 07 46\n", PlayGradual(64, 70, 0));
  EXPECT_EQ("1 tempo 90\n", PlayGradual(120, 90, 0, 128));
}

TEST(SequencerTest, GradualVelocityDrivesTheTrackVelocity) {
  SongLayout song;
  // Velocity 10 to 110 over 10 ticks, first stepped in tick 2; notes at
  // ticks 1, 6 and 16.
  song.tracks = {Cat(
      {{127, 129}, Word(10000), {30 | 128 | 64, 2, 5, 30 | 128 | 64, 2, 10, 30 | 128, 2, 255, 0}})};
  song.graduals = {{10, 110, 10}};
  EXPECT_EQ("1 91 3c 50\n3 91 3c 00\n6 91 3c 3c\n8 91 3c 00\n16 91 3c 6e\n18 91 3c 00\n",
            Play(BuildImage(song)));
}

TEST(SequencerTest, GradualTempoSetsTheTempoWhereItChanges) {
  std::string got = PlayGradual(120, 124, 4, 128);
  EXPECT_EQ("2 tempo 121\n3 tempo 122\n4 tempo 123\n5 tempo 124\n", got);
  EXPECT_EQ(124, CurrentTempo());
}

TEST(SequencerTest, ANoteBeyondTheNoteOffTableReleasesTheOneEndingSoonest) {
  // 513 different notes struck in tick 1 on channels 0 to 8, each with step
  // 0; the first (channel 0, note 60) has a gate of 10, all others 100.
  SongLayout song;
  int struck = 0;
  for (int channel = 0; channel < 9; ++channel) {
    Bytes stream = {188, static_cast<uint8_t>(channel)};
    for (int j = 0; j < 60 && struck < kNoteOffEntries + 1; ++j, ++struck) {
      const bool first = struck == 0;
      const int note = first ? 30 : (channel == 0 && j == 30 ? 0 : j);
      stream = Cat({stream, {static_cast<uint8_t>(note | 128 | 64), first ? 10 : 100, 0}});
    }
    song.tracks.push_back(Cat({stream, {60, 200, 255, 0}}));
  }
  const std::string got = Play(BuildImage(song));
  int ons = 0;
  for (size_t p = 0; (p = got.find(" 50\n", p)) != std::string::npos; ++p) ++ons;
  EXPECT_EQ(kNoteOffEntries + 1, ons);
  // The 513th note (channel 8, note 62) takes the entry of the short note.
  EXPECT_NE(std::string::npos, got.find("\n1 90 3c 00\n1 98 3e 50\n"));
  EXPECT_EQ(std::string::npos, got.find("11 90 3c 00"));
}

TEST(SequencerTest, AHundredAndThirtyTracksPlayTheFirst128WithTheRightLists) {
  SongLayout song;
  for (int i = 0; i < 130; ++i) {
    Bytes stream = {255, 4, static_cast<uint8_t>(i), 127, 131};
    stream = Cat({stream, Word(5)});
    // Every fourth track starts a gradual change: the 64 shared slots hold them.
    if (i % 4 == 3) stream = Cat({stream, {127, 7}, Word(10000 + i)});
    song.tracks.push_back(Cat({stream, {60, 2, 255, 0}}));
    song.direct_outs.push_back({0xf0, 0x7d, static_cast<uint8_t>(i), 0xf7});
    song.graduals.push_back({0, i, 1});
  }
  song.attribute_templates = {{0xb0, 11, 253, 3}};
  std::string got = Play(BuildImage(song));
  EXPECT_EQ(128, LoadedTrackCount());
  EXPECT_NE(std::string::npos, got.find("1 f0 7d 7f f7\n1 b1 0b 05\n"));
  EXPECT_EQ(std::string::npos, got.find("f0 7d 80"));
  EXPECT_NE(std::string::npos, got.find("2 b1 07 7f\n"));
}

TEST(SequencerTest, ListEntriesBeyondTheIndexTablesAreIgnored) {
  // 1100 direct outs: the gradual-change list behind them is still found;
  // its entry 1029 lies beyond the table and starts nothing.
  SongLayout song;
  for (int i = 0; i < 1100; ++i)
    song.direct_outs.push_back({0xf0, static_cast<uint8_t>(i & 127), 0xf7});
  song.graduals.assign(1030, {0, 2, 1});
  song.graduals[0] = {0, 1, 1};
  song.tracks = {
      Cat({{255, 4, 255, 127, 7}, Word(10000), {127, 7}, Word(10000 + 1029), {60, 2, 255, 0}})};
  EXPECT_EQ("1 f0 7f f7\n2 b1 07 01\n", Play(BuildImage(song)));
}

TEST(SequencerTest, TemplatesGetChannelValueAndChecksum) {
  SongLayout song;
  song.tracks = {Cat({{188, 9, 127, 131}, Word(0x1234), {255, 4, 0, 255, 0}})};
  song.attribute_templates = {{176, 7, 253, 3, 253, 0, 253, 9}};
  song.direct_outs = {{240, 65, 16, 66, 18, 253, 1, 64, 0, 127, 0, 253, 2, 247}};
  EXPECT_EQ("1 b9 07 34 fd\n1 f0 41 10 42 12 40 00 7f 00 41 f7\n", Play(BuildImage(song)));
}

TEST(SequencerTest, TemplateBuilderStopsAtItsLength) {
  uint8_t out[256];
  const uint8_t cut_escape[] = {2, 0xf0, 253, 2};
  EXPECT_EQ(1, BuildTemplateMessage(cut_escape, 0, 0, out));
  const uint8_t checksum_of_all[] = {5, 0x90, 0x10, 253, 2, 0xaa};
  ASSERT_EQ(4, BuildTemplateMessage(checksum_of_all, 3, 0, out));
  EXPECT_EQ(0x93, out[0]);
  EXPECT_EQ(0xab, out[3]);  // 0xaa is a status byte too: it takes the channel
  EXPECT_EQ((128 - (0x93 + 0x10) % 128) % 128, out[2]);
}

TEST(SequencerTest, AttributeNumberOneTwentyNineSendsNothing) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  SendAttribute(0, 129, 100);
  SendAttribute(0, 200, 100);  // no such template
  EXPECT_EQ("", out->Text());
}

}  // namespace

namespace {

TEST(SequencerTest, SixtyFifthRunningGradualChangeIsDropped) {
  SongLayout song;
  Bytes stream;
  for (int k = 0; k < 65; ++k) {
    stream = Cat({stream, {127, 7}, Word(10000 + k)});
    song.graduals.push_back({0, k + 1, 1});
  }
  song.tracks = {Cat({stream, {60, 4, 255, 0}})};
  const std::string got = Play(BuildImage(song));
  EXPECT_NE(std::string::npos, got.find("2 b1 07 40\n"));  // the 64th change
  EXPECT_EQ(std::string::npos, got.find("2 b1 07 41\n"));  // the 65th found no slot
  EXPECT_EQ(64u * 11, got.size());                         // "2 b1 07 xx\n" each
}

TEST(SequencerTest, LoopsNestDeeperThanThirtyTwoAreNotEntered) {
  // 32 single-pass loops, then a 33rd of two passes around one note. The 33rd
  // finds no frame, so the innermost loop end works on the 32nd frame (one
  // pass): the note sounds once, not twice.
  Bytes stream;
  for (int i = 0; i < 32; ++i) stream = Cat({stream, {124, 1}});
  stream = Cat({stream, {124, 2, 30}});
  for (int i = 0; i < 33; ++i) stream = Cat({stream, {126}, Word(2)});
  stream = Cat({stream, {255, 0}});
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n", PlayTrack(stream));
  // With one loop fewer around it, the two-pass loop is entered.
  stream.erase(stream.begin(), stream.begin() + 2);
  stream.erase(stream.end() - 5, stream.end() - 2);
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n49 91 3c 50\n97 91 3c 00\n", PlayTrack(stream));
}

}  // namespace

namespace {

// Plays image tick by tick, running the quiet ticks TicksToNextWork
// announces and checking that they send nothing; returns how many ticks the
// song took and how many of them were announced as having work.
struct QuietRun {
  int64_t ticks = 0;
  int64_t work_ticks = 0;
};
QuietRun PlayCheckingQuietTicks(const Bytes& image) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  EXPECT_TRUE(LoadSong(image.data(), image.size()));
  QuietRun run;
  while (!SongFinished() && run.ticks < 100000) {
    const int64_t ahead = TicksToNextWork();
    EXPECT_GE(ahead, 1);
    const size_t sent = out->Messages().size();
    for (int64_t i = 1; i < ahead && !SongFinished(); ++i) {
      SequencerTick();
      ++run.ticks;
      EXPECT_EQ(sent, out->Messages().size()) << "a quiet tick sent at " << SequencerTickCount();
    }
    SequencerTick();
    ++run.ticks;
    ++run.work_ticks;
  }
  EXPECT_EQ(kMaxQuietTicks, TicksToNextWork());  // a finished song has nothing ahead
  return run;
}

}  // namespace

TEST(SequencerTest, TicksAnnouncedAsQuietSendNothing) {
  SongLayout plain;
  // A quarter, an eighth and a held half note with a gate, in a counted loop.
  plain.tracks = {{124, 2, 30, 32, 126, 3, 0, 255, 0}, {30, 34, 255, 0}};
  const QuietRun loop = PlayCheckingQuietTicks(BuildImage(plain));
  EXPECT_EQ(193, loop.ticks);
  EXPECT_EQ(5, loop.work_ticks);  // ticks 1, 49, 97, 145 and 193

  SongLayout gradual;  // gradual velocity: every tick has work while it runs
  gradual.tracks = {Cat(
      {{127, 129}, Word(10000), {30 | 128 | 64, 2, 5, 30 | 128 | 64, 2, 10, 30 | 128, 2, 255, 0}})};
  gradual.graduals = {{10, 110, 10}};
  const QuietRun velocity = PlayCheckingQuietTicks(BuildImage(gradual));
  EXPECT_EQ(18, velocity.ticks);
  EXPECT_LT(velocity.work_ticks, velocity.ticks);
}

TEST(SequencerTest, StopTickAndSwitchChangesAreWorkAhead) {
  SongLayout song;
  song.resolution = 1920;
  song.tracks = {Cat({{30 | 128}, {255}, Word(60000), {255, 0}})};
  const Bytes image = BuildImage(song);
  Play(image, 1);
  EXPECT_EQ(60000, TicksToNextWork());
  SetStopTick(100, false);
  EXPECT_EQ(99, TicksToNextWork());
  SetTrackMuted(0, true);
  EXPECT_EQ(1, TicksToNextWork());  // the mute releases the note at the next tick
  SequencerTick();
  EXPECT_EQ(98, TicksToNextWork());
}
