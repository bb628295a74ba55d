// The file watch on a real folder: saves of the watched name are seen (in
// place, by rename, by a slow writer), others are not, and a file is only
// taken as settled once it has stopped changing.
#include "live/file_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

class FileWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quern-watch-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    score_ = (folder_ / "song.qrn").string();
    Write(score_, "A c\n");
  }
  void TearDown() override { fs::remove_all(folder_); }

  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  fs::path folder_;
  std::string score_;
};

TEST_F(FileWatchTest, SeesSavesOfItsFileOnly) {
  std::string error;
  std::unique_ptr<FileWatch> watch = WatchFile(score_, &error);
  ASSERT_TRUE(watch) << error;
  EXPECT_FALSE(watch->WaitForSave(0));

  Write((folder_ / "other.qrn").string(), "A d\n");
  EXPECT_FALSE(watch->WaitForSave(100));

  Write(score_, "A e\n");  // written in place
  EXPECT_TRUE(watch->WaitForSave(1000));
  EXPECT_FALSE(watch->WaitForSave(0));

  // Saved as editors do: a new file moved over the old one.
  const std::string temporary = (folder_ / ".song.qrn.swp").string();
  Write(temporary, "A f\n");
  watch->WaitForSave(50);  // the temporary file's own events
  fs::rename(temporary, score_);
  EXPECT_TRUE(watch->WaitForSave(1000));
}

TEST_F(FileWatchTest, AFileIsSettledOnlyOnceItStopsChanging) {
  FileStamp stamp;
  ASSERT_TRUE(WaitUntilSettled(score_, 10, 3, &stamp));
  EXPECT_EQ(StampOf(score_), stamp);
  EXPECT_EQ(4, stamp.size);

  // A writer that truncates the file and writes it in slow pieces.
  std::thread writer([this] {
    std::FILE* f = std::fopen(score_.c_str(), "wb");
    for (int i = 0; i < 8; ++i) {
      std::fputs("A c d e f g a b\n", f);
      std::fflush(f);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fclose(f);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(WaitUntilSettled(score_, 150, 100, &stamp));
  writer.join();
  EXPECT_EQ(8 * 16, stamp.size);

  fs::remove(score_);
  EXPECT_FALSE(WaitUntilSettled(score_, 5, 3, &stamp));  // a missing file never settles
}

}  // namespace
