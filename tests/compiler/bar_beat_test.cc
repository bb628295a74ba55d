// Bars and beats as the editor, the piano roll and the language server count
// them: the track's "u" sets the bar, a track without one counts 4/4 bars
// of the resolution, and beats are quarter notes.
#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"

namespace {

std::string At(int64_t tick, int bar_ticks, int resolution) {
  const BarPosition at = BarBeatAt(tick, bar_ticks, resolution);
  return std::to_string(at.bar) + ":" + std::to_string(at.beat) + "+" + std::to_string(at.rest);
}

SourceMap MapOf(const char* score) {
  SourceMap map;
  EXPECT_LE(CompileScore(score, &map), 2) << ReportText();
  return map;
}

}  // namespace

TEST(BarBeatTest, TracksWithoutABarLengthCountFourFourBars) {
  const SourceMap map = MapOf("A c d e f g a\r\nB u2. c d e\r\nC u8 c\r\n");
  EXPECT_EQ(map.Resolution(), 192);
  EXPECT_EQ(map.BarLength(0), 192);  // A: 4/4
  EXPECT_EQ(map.BarLength(1), 144);  // B: u2., 3/4
  EXPECT_EQ(map.BarLength(2), 24);
  EXPECT_EQ(map.BarLength(7), 192);  // no such track
  EXPECT_EQ(MapOf("#clock 96\r\nA c\r\n").BarLength(0), 96);
  EXPECT_EQ(DefaultBarTicks(0), 1);

  EXPECT_EQ(At(0, 192, 192), "1:1+0");
  EXPECT_EQ(At(72, 192, 192), "1:2+24");
  EXPECT_EQ(At(240, 192, 192), "2:2+0");  // the sixth quarter note
  EXPECT_EQ(At(240, 144, 192), "2:3+0");
  EXPECT_EQ(At(191, 192, 192), "1:4+47");
  EXPECT_EQ(At(-5, 192, 192), "1:1+0");
  EXPECT_EQ(At(10, 0, 2), "11:1+0");  // bars and beats of at least a tick
}
