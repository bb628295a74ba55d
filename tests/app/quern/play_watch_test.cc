// quern play --watch's control side, on the default player with a recording
// output and a fake watch: good saves swap in at the playing tick, saves
// with errors or without changes leave the song alone, and a song that has
// ended starts again with the new version.
#include "app/quern/cli_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "compiler/driver/driver.h"
#include "player/midi_output.h"
#include "player/player.h"

namespace fs = std::filesystem;

namespace {

// Says "saved" each time it is told to.
class FakeWatch : public FileWatch {
 public:
  explicit FakeWatch(int* saves) : saves_(saves) {}
  bool WaitForSave(int) override {
    if (*saves_ == 0) return false;
    --*saves_;
    return true;
  }

 private:
  int* saves_;
};

std::vector<uint8_t> Compile(const std::string& score) {
  EXPECT_TRUE(SetUpCompiler());
  EXPECT_LE(CompileScore(score.c_str()), 2) << ReportText();
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

class PlayWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("quern-play-watch-" + std::to_string(getpid()) + ".qrn"))
                .string();
    auto output = std::make_unique<RecordingOutput>(&DefaultPlayer().Song());
    recorder_ = output.get();
    OpenMidiDevices(std::move(output));
  }
  void TearDown() override {
    StopPlayback();
    CloseMidiDevices();
    fs::remove(path_);
  }

  // Starts `score` playing and watches path_ (holding `score` too).
  std::unique_ptr<PlayWatch> Play(const std::string& score, std::vector<std::string> mute = {}) {
    std::ofstream(path_, std::ios::binary) << score;
    playing_ = Compile(score);
    EXPECT_TRUE(LoadSong(playing_.data(), playing_.size()));
    StartPlayback();
    return std::make_unique<PlayWatch>(path_, std::move(mute), std::vector<std::string>{},
                                       std::make_unique<FakeWatch>(&saves_), playing_,
                                       interrupted_);
  }

  std::string Save(PlayWatch& watch, const std::string& score) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << score;
    saves_ = 1;
    return watch.Poll(0);
  }

  std::string path_;
  RecordingOutput* recorder_ = nullptr;
  std::vector<uint8_t> playing_;
  int saves_ = 0;
  std::atomic<bool> interrupted_{false};
};

TEST_F(PlayWatchTest, AGoodSaveSwapsInAtThePlayingTickAndABadOneIsKeptOut) {
  auto watch = Play("A t240 l8 [c d e f]*\nB ch3 P30 [c1]*\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ("", watch->Poll(0));  // nothing saved

  const std::string note = Save(*watch, "A t240 l8 [c d e f]*\nB ch3 P40 [c1]*\n");
  const std::string prefix = "quern play: " + path_ + " saved: swapped in at tick ";
  ASSERT_EQ(prefix, note.substr(0, prefix.size())) << note;
  const std::string at = note.substr(prefix.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_NE(std::string::npos, recorder_->Text().find("\n" + at + " b2 0a 28\n"));
  // B's whole note is the same in both songs: it is not struck at the swap.
  EXPECT_EQ(std::string::npos, recorder_->Text().find("\n" + at + " 92 3c"));

  const std::string bad = Save(*watch, "A t240 l8 [c d e f]* %nowhere\n");
  EXPECT_NE(std::string::npos, bad.find("Error"));
  EXPECT_NE(std::string::npos, bad.find(path_ + " has errors; the last good version plays on"));
  EXPECT_TRUE(IsPlaying());

  // The same text saved again changes nothing.
  Save(*watch, "A t240 l8 [c d e g]*\nB ch3 P40 [c1]*\n");
  EXPECT_EQ("", Save(*watch, "A t240 l8 [c d e g]*\nB ch3 P40 [c1]*\n"));
}

TEST_F(PlayWatchTest, AfterTheEndTheNewVersionStartsFromItsBeginning) {
  auto watch = Play("A t240 c32\n");
  for (int i = 0; i < 100 && !SongFinished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(SongFinished());
  recorder_->Clear();
  EXPECT_EQ("quern play: " + path_ + " saved: the new song plays from its start",
            Save(*watch, "A t240 d32\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(0u, recorder_->Text().find("1 tempo 240\n"));
  EXPECT_NE(std::string::npos, recorder_->Text().find("1 91 3e"));
}

}  // namespace
