// The timer thread and the stop handshake, with a real thread. No timing is
// asserted: the tests wait for events with generous limits.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"

namespace {

using std::chrono::milliseconds;

bool WaitFor(const std::function<bool()>& done, int limit_ms = 5000) {
  const auto limit = std::chrono::steady_clock::now() + milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto recorder = std::make_unique<RecordingOutput>();
    out_ = recorder.get();
    ASSERT_TRUE(OpenMidiDevices(std::move(recorder)));
  }
  void TearDown() override { CloseMidiDevices(); }

  void Load(const SongLayout& song) {
    image_ = BuildImage(song);
    ASSERT_TRUE(LoadSong(image_.data(), image_.size()));
  }

  RecordingOutput* out_ = nullptr;
  Bytes image_;
};

TEST_F(PlaybackTest, StopReleasesTheSoundingNoteThroughTheTimerThread) {
  SongLayout song;
  song.resolution = 1920;  // a note of 60000 ticks lasts about 2 minutes at 120
  song.tracks = {Cat({{30 | 128}, {255}, Word(60000), {255, 0}})};
  Load(song);
  SetTimerInterval(1);
  StartPlayback();
  EXPECT_TRUE(IsPlaying());
  ASSERT_TRUE(WaitFor([&] { return !out_->Messages().empty(); }));
  StopPlayback();
  EXPECT_FALSE(IsPlaying());
  const std::vector<RecordedMessage> sent = out_->Messages();
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ("1 91 3c 50", FormatMessageLine(sent[0]));
  EXPECT_EQ((std::vector<uint8_t>{0x91, 0x3c, 0}), sent[1].bytes);  // from the stop step
  // Nothing more arrives: the thread is gone.
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(2u, out_->Messages().size());
}

TEST_F(PlaybackTest, SilenceStopsThenSendsAllNotesOffOnEveryChannel) {
  SongLayout song;
  song.resolution = 1920;
  song.tracks = {Cat({{30 | 128}, {255}, Word(60000), {255, 0}})};
  Load(song);
  SetTimerInterval(1);
  StartPlayback();
  ASSERT_TRUE(WaitFor([&] { return !out_->Messages().empty(); }));
  SilencePlayback();
  EXPECT_FALSE(IsPlaying());
  std::vector<std::vector<uint8_t>> want = {{0x91, 0x3c, 0x50}, {0x91, 0x3c, 0}};
  for (uint8_t channel = 0; channel < 16; ++channel)
    want.push_back({uint8_t(0xb0 | channel), 123, 0});
  std::vector<std::vector<uint8_t>> sent;
  for (const RecordedMessage& m : out_->Messages()) sent.push_back(m.bytes);
  EXPECT_EQ(want, sent);
  // With nothing playing it still sweeps every channel.
  out_->Clear();
  SilencePlayback();
  EXPECT_EQ(16u, out_->Messages().size());
}

TEST_F(PlaybackTest, TickOneGoesOutAtOnceAndStopWakesASleepingTimer) {
  SongLayout song;
  song.resolution = 1920;
  song.tracks = {Cat({{30 | 128}, {255}, Word(60000), {255, 0}})};
  Load(song);
  // With a one-second interval, a timer that waited out its first period
  // would send nothing for a second; the timer then sleeps through the long
  // note, and the stop request has to wake it.
  SetTimerInterval(1000);
  StartPlayback();
  ASSERT_TRUE(WaitFor([&] { return !out_->Messages().empty(); }, 500));
  EXPECT_EQ("1 91 3c 50\n", out_->Text());
  StopPlayback();
  EXPECT_EQ("1 91 3c 50\n1 91 3c 00\n", out_->Text());
}

TEST_F(PlaybackTest, StopWithNothingPlayingReturnsAtOnceAndTwiceIsHarmless) {
  StopPlayback();
  StopPlayback();
  EXPECT_FALSE(IsPlaying());
  EXPECT_EQ("", out_->Text());
}

TEST_F(PlaybackTest, SongTimeAdvancesAtTheTempoAndChangesIntervalWhilePlaying) {
  SongLayout song;
  song.resolution = 480;  // tempo 240: a tick of about 2 ms
  song.tracks = {Cat({{127, 128}, Word(240), {60, 40, 30, 32, 34, 255, 0}})};
  Load(song);
  EXPECT_EQ(120, CurrentTempo());  // before the timer thread can run a tick
  StartPlayback();
  ASSERT_TRUE(WaitFor([&] { return SequencerTickCount() > 20; }));
  SetTimerInterval(2);
  ASSERT_TRUE(WaitFor([] { return SongFinished(); }));
  StopPlayback();
  EXPECT_EQ(
      "1 tempo 240\n41 91 3c 50\n161 91 3c 00\n161 91 3e 50\n"
      "281 91 3e 00\n281 91 40 50\n401 91 40 00\n",
      out_->Text());
  EXPECT_EQ(2, TimerInterval());
}

TEST_F(PlaybackTest, IntervalsOutsideOneToAThousandAreClamped) {
  SetTimerInterval(0);
  EXPECT_EQ(1, TimerInterval());
  SetTimerInterval(-5);
  EXPECT_EQ(1, TimerInterval());
  SetTimerInterval(100000);
  EXPECT_EQ(1000, TimerInterval());
}

TEST_F(PlaybackTest, TickLengthFollowsTempoAndResolution) {
  SongLayout song;
  song.tracks = {{255, 0}};
  Load(song);
  SetTempo(120);
  EXPECT_NEAR(10.41666, TickLengthMs(), 1e-4);
  SetTempo(0);  // taken as 1: the song goes on, slowly
  EXPECT_NEAR(1250.0, TickLengthMs(), 1e-9);
}

// A long message the output refuses must not stop song time.
class RefusingOutput : public MidiOutput {
 public:
  void SendShort(const uint8_t*, int) override {}
  bool SendLong(const uint8_t*, int) override { return false; }
};

// A long message completed later, from another thread.
class SlowOutput : public MidiOutput {
 public:
  ~SlowOutput() override {
    if (driver_.joinable()) driver_.join();
  }
  void SendShort(const uint8_t*, int) override {}
  bool SendLong(const uint8_t*, int) override {
    driver_ = std::thread([this] {
      std::this_thread::sleep_for(milliseconds(5));
      LongDone();
    });
    return true;
  }

 private:
  std::thread driver_;
};

TEST(ReadyFlagTest, FollowsCompletionAndSurvivesRefusal) {
  const uint8_t sysex[] = {3, 0xf0, 0x7d, 0xf7};
  OpenMidiDevices(std::make_unique<RefusingOutput>());
  SendTemplate(0, sysex, 0);
  EXPECT_TRUE(OutputReady());

  OpenMidiDevices(std::make_unique<SlowOutput>());
  SendTemplate(0, sysex, 0);
  EXPECT_FALSE(OutputReady());
  EXPECT_TRUE(WaitFor([] { return OutputReady(); }));
  CloseMidiDevices();
}

// An output that takes timestamps: records each message with the time it
// was stamped with (none after a drop) and the time it was given.
class StampingOutput : public MidiOutput {
 public:
  using Clock = std::chrono::steady_clock;
  struct Sent {
    int64_t tick = 0;
    std::vector<uint8_t> bytes;
    bool stamped = false;
    Clock::time_point due;
    Clock::time_point given;
  };

  bool TakesTimestamps() const override { return true; }
  void SetSendTime(Clock::time_point due) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stamped_ = true;
    due_ = due;
  }
  void DropQueued() override {
    std::lock_guard<std::mutex> lock(mutex_);
    stamped_ = false;
    ++drops_;
  }
  void SendShort(const uint8_t* bytes, int length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push_back({SequencerTickCount(), {bytes, bytes + length}, stamped_, due_, Clock::now()});
  }
  bool SendLong(const uint8_t* bytes, int length) override {
    SendShort(bytes, length);
    LongDone();
    return true;
  }
  std::vector<Sent> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }
  int Drops() {
    std::lock_guard<std::mutex> lock(mutex_);
    return drops_;
  }

 private:
  std::mutex mutex_;
  std::vector<Sent> sent_;
  bool stamped_ = false;
  Clock::time_point due_;
  int drops_ = 0;
};

class TimestampTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto output = std::make_unique<StampingOutput>();
    out_ = output.get();
    OpenMidiDevices(std::move(output));
  }
  void TearDown() override { CloseMidiDevices(); }
  void Load(const SongLayout& song) {
    image_ = BuildImage(song);
    ASSERT_TRUE(LoadSong(image_.data(), image_.size()));
  }
  StampingOutput* out_ = nullptr;
  Bytes image_;
};

// Tick k is due (k - 1) tick lengths after the start, plus the lead of one
// interval; the stamps come from the timer's deadlines, not from the moment
// the thread got round to the tick, so they hold exactly however late it ran.
TEST_F(TimestampTest, EachTickIsStampedWithItsIdealTimeOneIntervalAhead) {
  SongLayout song;
  song.resolution = 480;  // tempo 240 from tick 1 on: ticks of 2.083 ms
  song.tracks = {Cat({{127, 128}, Word(240), {60, 40, 30, 32, 34, 255, 0}})};
  Load(song);
  const int interval = 3;
  SetTimerInterval(interval);
  const auto before = std::chrono::steady_clock::now();
  StartPlayback();
  const auto after = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([] { return SongFinished(); }));
  StopPlayback();

  const std::vector<StampingOutput::Sent> sent = out_->Messages();
  ASSERT_EQ(6u, sent.size());
  const std::vector<int64_t> ticks = {41, 161, 161, 281, 281, 401};
  const std::chrono::microseconds slack(1);
  const std::chrono::milliseconds lead(interval);
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ticks[i], sent[i].tick);
    ASSERT_TRUE(sent[i].stamped);
    const std::chrono::duration<double, std::milli> ideal((sent[i].tick - 1) * 240000.0 /
                                                          (240 * 480));
    const auto start =
        sent[i].due - lead - std::chrono::duration_cast<std::chrono::steady_clock::duration>(ideal);
    EXPECT_LE(before - slack, start);
    EXPECT_GE(after + slack, start);
    // Never queued more than one interval ahead of its time.
    EXPECT_LE(sent[i].due - sent[i].given, lead + slack);
  }
}

TEST_F(TimestampTest, StopDropsTheQueueAndReleasesAtOnce) {
  SongLayout song;
  song.resolution = 1920;
  song.tracks = {Cat({{30 | 128}, {255}, Word(60000), {255, 0}})};
  Load(song);
  StartPlayback();
  ASSERT_TRUE(WaitFor([&] { return !out_->Messages().empty(); }));
  EXPECT_EQ(1, out_->Drops());  // the start begins with an empty queue
  StopPlayback();
  EXPECT_EQ(2, out_->Drops());
  const std::vector<StampingOutput::Sent> sent = out_->Messages();
  ASSERT_EQ(2u, sent.size());
  EXPECT_TRUE(sent[0].stamped);
  EXPECT_EQ((std::vector<uint8_t>{0x91, 0x3c, 0}), sent[1].bytes);
  EXPECT_FALSE(sent[1].stamped);  // after the drop: at once
}

TEST(OpenTest, NoOutputMeansFalseAndANullOutput) {
  EXPECT_FALSE(OpenMidiDevices(nullptr));
  SendNoteOn(0, 60, 100);  // goes nowhere
  EXPECT_EQ(4, TimerInterval());
  CloseMidiDevices();
}

}  // namespace
