// Starting anywhere, stopping, looping, muting and the note ring.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/note_ring.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

std::vector<uint8_t> g_image;

void LoadScore(const std::string& text) {
  static const bool set_up = SetUpCompiler();
  ASSERT_TRUE(set_up);
  ASSERT_LE(CompileScore(text.c_str()), 2) << ReportText();
  g_image.assign(SongImageBegin(), SongImageBegin() + SongImageLength());
  ASSERT_TRUE(LoadSong(g_image.data(), g_image.size()));
}

// Runs the loaded song offline, as "quern trace" does, and returns the trace.
// A loop never reaches a tick count, so at most max_ticks ticks run.
std::string RunSong(int max_ticks = 100000) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* r = recorder.get();
  OpenMidiDevices(std::move(recorder));
  SetTempo(120);
  for (int i = 0; i < max_ticks && !SongFinished(); ++i) SequencerTick();
  SilenceNotes();
  const std::string text = r->Text();
  CloseMidiDevices();
  return text;
}

TEST(LiveSequencerTest, SeekChasesTheStateInEffectAtTheStartTick) {
  // Track A sets tempo, bank and program, controllers and bend before its
  // third note; B sets its own channel up and plays on.
  LoadScore("A t150 @5.1.2 V100 M10 D70 c d t90 e\nB ch3 @7 V30 c c c\n");
  SequencerSeek(97);
  EXPECT_EQ(
      "97 tempo 150\n"
      "97 b1 00 01\n97 b1 20 02\n97 c1 05\n97 b1 01 0a\n97 b1 07 64\n97 e1 00 46\n"
      "97 c2 07\n97 b2 07 1e\n"
      "97 tempo 90\n97 91 40 50\n97 92 3c 50\n"
      "145 91 40 00\n145 92 3c 00\n",
      RunSong());
}

TEST(LiveSequencerTest, NotesStruckBeforeTheStartNeitherSoundNorEnd) {
  // The whole note c is struck at tick 1 and still sounds at tick 49.
  LoadScore("A c1 r\nB r d\n");
  SequencerSeek(49);
  EXPECT_EQ("49 91 3e 50\n97 91 3e 00\n", RunSong());
}

TEST(LiveSequencerTest, StopTickReleasesWhatSoundsAndEndsTheSong) {
  LoadScore("A c2 d e\n");
  SetStopTick(49, false);
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n", RunSong());
  EXPECT_TRUE(SongFinished());
  EXPECT_EQ(49, SequencerTickCount());
}

TEST(LiveSequencerTest, LoopGoesBackToTheStartWithoutAnotherChase) {
  LoadScore("A @3 c d e f\n");
  SequencerSeek(49);
  SetStopTick(145, true);
  EXPECT_EQ(
      "49 c1 03\n49 91 3e 50\n97 91 3e 00\n97 91 40 50\n"
      "145 91 40 00\n"  // the stop tick: released, and tick 49 again
      "49 91 3e 50\n97 91 3e 00\n97 91 40 50\n"
      "102 91 40 00\n",
      RunSong(150));
}

TEST(LiveSequencerTest, MuteWithholdsNoteOnsAndReleasesSoundingNotes) {
  LoadScore("A c1\nB ch3 d e\n");
  SetTrackMuted(1, true);
  EXPECT_EQ("1 91 3c 50\n193 91 3c 00\n", RunSong());

  LoadScore("A c1\nB ch3 d e\n");
  SetTrackSoloed(1, true);
  EXPECT_EQ("1 92 3e 50\n49 92 3e 00\n49 92 40 50\n97 92 40 00\n", RunSong());

  // Muted while its note sounds: the note ends at once.
  LoadScore("A c1 d\n");
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  for (int i = 0; i < 10; ++i) SequencerTick();
  SetTrackMuted(0, true);
  SequencerTick();
  EXPECT_EQ("1 91 3c 50\n11 91 3c 00\n", out->Text());
  CloseMidiDevices();
}

TEST(LiveSequencerTest, StruckNotesReportTrackOffsetTickAndGate) {
  class Collect : public NoteSink {
   public:
    void NoteStruck(const StruckNote& n) override {
      text += std::to_string(n.track) + "/" + std::to_string(n.offset) + "@" +
              std::to_string(n.tick) + "+" + std::to_string(n.gate) + " ";
    }
    std::string text;
  } sink;
  LoadScore("A c [d]2\nB r e\n");
  SetNoteSink(&sink);
  SetTrackMuted(1, false);
  RunSong();
  SetNoteSink(nullptr);
  // Both passes of the loop report the same byte.
  EXPECT_EQ("0/0@1+48 0/3@49+48 1/1@49+48 0/3@97+48 ", sink.text);
}

TEST(NoteRingTest, AFullRingDropsNotesInsteadOfWaiting) {
  auto ring = std::make_unique<NoteRing>();
  StruckNote note;
  for (size_t i = 0; i < NoteRing::kCapacity + 10; ++i) {
    note.tick = static_cast<int64_t>(i);
    ring->NoteStruck(note);  // never waits for the reader
  }
  EXPECT_EQ(10u, ring->Dropped());
  StruckNote got;
  ASSERT_TRUE(ring->Pop(&got));
  EXPECT_EQ(0, got.tick);
}

TEST(NoteRingTest, TimerThreadKeepsTimeWhileNobodyReads) {
  // A dense song plays on the real timer with a ring nobody empties: the
  // timer thread must go on at full speed and the song must end on time.
  std::string score = "A t240 l64";
  for (int i = 0; i < 200; ++i) score += " c&e&g";
  LoadScore(score + "\n");
  auto ring = std::make_unique<NoteRing>();
  SetNoteSink(ring.get());
  OpenMidiDevices(std::make_unique<NullOutput>());
  SetTimerInterval(1);
  LoadSong(g_image.data(), g_image.size());
  const auto start = std::chrono::steady_clock::now();
  StartPlayback();
  while (!SongFinished() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  StopPlayback();
  CloseMidiDevices();
  SetNoteSink(nullptr);
  EXPECT_TRUE(SongFinished());
  StruckNote got;
  int taken = 0;
  while (ring->Pop(&got)) ++taken;
  EXPECT_EQ(600u, taken + ring->Dropped());
}

}  // namespace
