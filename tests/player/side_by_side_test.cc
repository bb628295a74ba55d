// Sequencers are values: several run side by side, ticks interleaved, each on
// its own song and sink, and each sends exactly what it sends alone through
// the default player.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/midi_output.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

constexpr int64_t kMaxTicks = 20000;

// Tempo changes (one gradual), loops, channels, programs and volume.
constexpr char kFirstScore[] =
    "A t150 t60:2 [c d e]3 f\n"
    "B ch3 @7 V30 l8 [c e g >c<]4\n"
    "C ch9 v100 [c8 d8]8\n";
// Another resolution, a template with a checksum (a long message), a direct
// message, a gradual volume change and held notes.
constexpr char kSecondScore[] =
    "#clock 96\n"
    "A t200 Gs={240 65 16 66 18 | 64 0 127 v s 247} o5 l16 [c d e f Gs 3 g a b >c<]6\n"
    "B ch2 V100:2 V20:4 @40 c1 c1 {144 60 100}\n"
    "C ch4 c2 d2 e2\n";

std::vector<uint8_t> Compile(const char* score) {
  static const bool set_up = SetUpCompiler();
  EXPECT_TRUE(set_up);
  EXPECT_LE(CompileScore(score), 2) << ReportText();
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

// What to do to a song after loading it.
struct Setup {
  int64_t seek = 0;  // 0: from the start
  int64_t stop = 0;
  bool loop = false;
  int muted = -1;
};

// The song alone, through the default player's named operations: its
// messages, then the milliseconds its ticks lasted.
std::string Alone(const std::vector<uint8_t>& image, const Setup& setup) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  EXPECT_TRUE(LoadSong(image.data(), image.size()));
  if (setup.seek > 0) SequencerSeek(setup.seek);
  if (setup.stop > 0) SetStopTick(setup.stop, setup.loop);
  if (setup.muted >= 0) SetTrackMuted(setup.muted, true);
  SetTempo(120);
  double ms = 0;
  for (int64_t ticks = 0; ticks < kMaxTicks && !SongFinished(); ++ticks) {
    SequencerTick();
    ms += TickLengthMs();
  }
  SilenceNotes();
  const std::string text = out->Text() + "ms " + std::to_string(ms) + "\n";
  CloseMidiDevices();
  return text;
}

// A sequencer of its own with a recorder that reads its ticks.
class Voice {
 public:
  Voice(const std::vector<uint8_t>& image, const Setup& setup) : image_(image), out_(&song_) {
    song_.SetSink(&out_);
    EXPECT_TRUE(song_.Load(image_.data(), image_.size()));
    if (setup.seek > 0) song_.Seek(setup.seek);
    if (setup.stop > 0) song_.SetStopTick(setup.stop, setup.loop);
    if (setup.muted >= 0) song_.SetTrackMuted(setup.muted, true);
    song_.Messages().SetTempo(120);
  }

  // One tick; false once the song has ended or run the tick limit.
  bool Step() {
    if (ticks_ >= kMaxTicks || song_.Finished()) return false;
    song_.Tick();
    ++ticks_;
    ms_ += song_.Messages().TickLengthMs();
    return true;
  }

  std::string Finish() {
    song_.SilenceNotes();
    return out_.Text() + "ms " + std::to_string(ms_) + "\n";
  }

 private:
  const std::vector<uint8_t> image_;
  Sequencer song_;
  RecordingOutput out_;
  double ms_ = 0;
  int64_t ticks_ = 0;
};

// Runs both songs with their ticks interleaved: the second takes `ratio`
// ticks for each of the first's.
void ExpectSideBySideAsAlone(const Setup& first_setup, const Setup& second_setup, int ratio) {
  const std::vector<uint8_t> first = Compile(kFirstScore);
  const std::vector<uint8_t> second = Compile(kSecondScore);
  const std::string first_alone = Alone(first, first_setup);
  const std::string second_alone = Alone(second, second_setup);
  ASSERT_NE(first_alone, second_alone);

  Voice a(first, first_setup);
  Voice b(second, second_setup);
  bool a_runs = true, b_runs = true;
  while (a_runs || b_runs) {
    if (a_runs) a_runs = a.Step();
    for (int i = 0; i < ratio && b_runs; ++i) b_runs = b.Step();
  }
  EXPECT_EQ(first_alone, a.Finish());
  EXPECT_EQ(second_alone, b.Finish());
}

TEST(SideBySideTest, TwoSongsInterleavedSendWhatEachSendsAlone) {
  const std::string first = Alone(Compile(kFirstScore), {});
  const std::string second = Alone(Compile(kSecondScore), {});
  // The songs hold what the sequencers must keep apart: tempo changes,
  // their own resolution, long messages and notes that sound across ticks.
  EXPECT_NE(std::string::npos, first.find(" tempo 150\n"));
  EXPECT_NE(std::string::npos, second.find(" tempo 200\n"));
  EXPECT_NE(std::string::npos, second.find(" f0 41 10 42 12 40 00 7f 03 3e f7\n"));
  for (int ratio : {1, 3}) {
    SCOPED_TRACE(ratio);
    ExpectSideBySideAsAlone({}, {}, ratio);
  }
}

TEST(SideBySideTest, SeekStopLoopAndMuteStayWithTheirSequencer) {
  ExpectSideBySideAsAlone({.seek = 97, .stop = 0, .loop = false, .muted = 1},
                          {.seek = 0, .stop = 300, .loop = true, .muted = -1}, 2);
}

TEST(SideBySideTest, SongTimeBelongsToEachSequencer) {
  Sequencer first, second;
  const std::vector<uint8_t> first_image = Compile(kFirstScore);
  const std::vector<uint8_t> second_image = Compile(kSecondScore);
  ASSERT_TRUE(first.Load(first_image.data(), first_image.size()));
  ASSERT_TRUE(second.Load(second_image.data(), second_image.size()));
  first.Messages().SetTempo(120);
  second.Messages().SetTempo(120);
  EXPECT_EQ(192, first.Messages().Resolution());
  EXPECT_EQ(96, second.Messages().Resolution());
  first.Tick();  // sets tempo 150 in the first song only
  EXPECT_EQ(150, first.Messages().Tempo());
  EXPECT_EQ(120, second.Messages().Tempo());
  EXPECT_NEAR(240000.0 / (120 * 96), second.Messages().TickLengthMs(), 1e-9);
  // Without a sink, a sequencer sends nothing and runs on.
  for (int i = 0; i < 200; ++i) second.Tick();
  EXPECT_EQ(1, first.TickCount());
  EXPECT_EQ(200, second.TickCount());
}

}  // namespace
