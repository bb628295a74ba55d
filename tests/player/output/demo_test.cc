// The bundled demo compiles cleanly and lasts 30 to 90 seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

TEST(DemoTest, CompilesWithoutMessagesAndLastsThirtyToNinetySeconds) {
  const std::filesystem::path demo =
      std::filesystem::path(__FILE__).parent_path() / "../../../examples/demo.qrn";
  std::ifstream in(demo, std::ios::binary);
  ASSERT_TRUE(in) << demo;
  std::stringstream text;
  text << in.rdbuf();
  ASSERT_TRUE(SetUpCompiler());
  EXPECT_EQ(0, CompileScore(text.str().c_str())) << ReportText();
  const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
  ReleaseCompiler();

  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  ASSERT_TRUE(LoadSong(image.data(), image.size()));
  SetTempo(120);
  double ms = 0;
  for (int i = 0; i < 100000 && !SongFinished(); ++i) {
    SequencerTick();
    ms += TickLengthMs();
  }
  EXPECT_TRUE(SongFinished());
  EXPECT_GT(ms, 30000);
  EXPECT_LT(ms, 90000);
  // Every kind of message the demo is meant to show is there.
  std::set<int> kinds;
  for (const RecordedMessage& m : out->Messages())
    kinds.insert(m.tempo >= 0 ? -1 : m.bytes[0] & 0xf0);
  EXPECT_EQ((std::set<int>{-1, 0x90, 0xb0, 0xc0}), kinds);
  CloseMidiDevices();
}

}  // namespace
