// The offline count of a song's length before it plays: it ends with the
// song, at the tick limit, or when its budget is spent, whichever comes first.
#include "player/song_length.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_builder.h"

namespace {

RecordingOutput* g_output = nullptr;

void Load(const Bytes& stream) {
  SongLayout song;
  song.tracks = {stream};
  static Bytes image;
  image = BuildImage(song);
  auto output = std::make_unique<RecordingOutput>();
  g_output = output.get();
  OpenMidiDevices(std::move(output));
  ASSERT_TRUE(LoadSong(image.data(), image.size()));
}

SongLength Measure(int64_t max_ticks, const std::function<bool()>& budget_spent) {
  return MeasureSongLength(DefaultPlayer().Song(), max_ticks, budget_spent);
}

const Bytes kQuarterNote = {30, 255, 0};
const Bytes kEndlessNotes = Cat({{124, 0, 30, 255, 3}, Word(3)});

TEST(SongLengthTest, EndsWithTheSongAtTheTickLimitOrWhenTheBudgetIsSpent) {
  auto never = [] { return false; };
  Load(kQuarterNote);
  SongLength length = Measure(1000, never);
  EXPECT_EQ(SongLength::End::kFinished, length.end);
  EXPECT_EQ(49, length.ticks);  // the note-off and the track's end in tick 49
  EXPECT_NEAR(49 * 240000.0 / (120 * 192), length.ms, 1e-9);
  EXPECT_EQ("", g_output->Text());                             // the count is silent
  EXPECT_EQ(&DefaultPlayer(), DefaultPlayer().Song().Sink());  // and gives the sink back

  Load(kEndlessNotes);
  length = Measure(1000, never);
  EXPECT_EQ(SongLength::End::kTickLimit, length.end);
  EXPECT_EQ(1000, length.ticks);

  int checks = 0;
  auto after_five = [&checks] { return ++checks > 5; };
  Load(kEndlessNotes);
  length = Measure(1000, after_five);
  EXPECT_EQ(SongLength::End::kOutOfBudget, length.end);
  EXPECT_EQ(5, length.ticks);
}

// Counted from a tick, the length holds the ticks from there at the tempo
// in effect; the ticks before still run, and the limit counts from there.
TEST(SongLengthTest, CountedFromATickAtTheTempoInEffectThere) {
  static const bool set_up = SetUpCompiler();
  ASSERT_TRUE(set_up);
  ASSERT_EQ(0, CompileScore("A t90 c d t150 e f\n"));
  const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
  auto never = [] { return false; };
  const double ms90 = 240000.0 / (90 * 192), ms150 = 240000.0 / (150 * 192);
  Sequencer song;
  ASSERT_TRUE(song.Load(image.data(), image.size()));
  SongLength length = MeasureSongLength(song, 1000, never, 50);
  EXPECT_EQ(SongLength::End::kFinished, length.end);
  EXPECT_EQ(144, length.ticks);  // 50 to 193, the last note-off's tick
  EXPECT_NEAR(47 * ms90 + 97 * ms150, length.ms, 1e-9);

  ASSERT_TRUE(song.Load(image.data(), image.size()));
  length = MeasureSongLength(song, 10, never, 150);
  EXPECT_EQ(SongLength::End::kTickLimit, length.end);
  EXPECT_EQ(10, length.ticks);
  EXPECT_NEAR(10 * ms150, length.ms, 1e-9);
  EXPECT_EQ(159, song.TickCount());
}

TEST(SongLengthTest, TimeBudget) {
  EXPECT_TRUE(TimeBudget(0)());
  EXPECT_FALSE(TimeBudget(3600e3)());
}

}  // namespace
