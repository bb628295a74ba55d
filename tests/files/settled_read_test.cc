// Settled reading against writers on a simulated clock: a file truncated
// and written in pieces, replaced by renaming, removed and made again,
// overwritten in place, also while it is being read. Whatever the writer
// does, the last version taken is the file's final content, and no version
// taken is a torn mixture of two.
#include "files/settled_read.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int64_t kLookMs = 50;

// One file and a clock; writes happen at their times, also in the middle
// of a read.
class SimulatedDisk {
 public:
  struct File {
    bool exists = false;
    std::string content;
    int64_t modified_ms = 0;
    uint64_t inode = 0;
  };
  using Write = std::function<void(File&)>;

  // mtime_tick_ms: the file system clock's resolution (0: exact).
  explicit SimulatedDisk(int64_t mtime_tick_ms) : tick_(mtime_tick_ms) {}

  void At(int64_t ms, Write write) { writes_.emplace(ms, std::move(write)); }
  int64_t Now() const { return now_; }
  int64_t LastWrite() const { return writes_.empty() ? 0 : writes_.rbegin()->first; }
  const File& Current() const { return file_; }
  // Every version the file has held, for the torn-read oracle.
  const std::set<std::string>& Versions() const { return versions_; }
  // True when nothing was written in (from, to].
  bool StillBetween(int64_t from, int64_t to) const {
    return std::none_of(written_.begin(), written_.end(),
                        [&](int64_t at) { return at > from && at <= to; });
  }

  // Moves the clock to ms, making every write due; true when one was made.
  bool AdvanceTo(int64_t ms) {
    bool wrote = false;
    while (!writes_.empty() && writes_.begin()->first <= ms) {
      now_ = writes_.begin()->first;
      Write write = std::move(writes_.begin()->second);
      writes_.erase(writes_.begin());
      write(file_);
      written_.push_back(now_);
      file_.modified_ms = now_;
      if (file_.exists) versions_.insert(file_.content);
      wrote = true;
    }
    now_ = std::max(now_, ms);
    return wrote;
  }
  int64_t NextWrite() const { return writes_.empty() ? INT64_MAX : writes_.begin()->first; }

  FileStamp Stamp() const {
    if (!file_.exists) return {};
    const int64_t ms = tick_ > 0 ? file_.modified_ms / tick_ * tick_ : file_.modified_ms;
    return {true, static_cast<int64_t>(file_.content.size()), ms * 1000000, file_.inode};
  }

  int64_t read_ms = 0;   // how long a read takes
  bool noticed = false;  // a write happened since the watcher last looked

 private:
  int64_t tick_;
  int64_t now_ = 0;
  std::multimap<int64_t, Write> writes_;
  File file_;
  std::set<std::string> versions_;
  std::vector<int64_t> written_;
};

// Reads as the system does: an open file keeps its bytes when another is
// renamed over it or it is removed; a write in place during the read shows
// in the part not read yet.
class SimulatedProbe : public FileProbe {
 public:
  explicit SimulatedProbe(SimulatedDisk* disk) : disk_(disk) {}
  FileStamp Stamp() override { return disk_->Stamp(); }
  std::optional<std::string> Read() override {
    const SimulatedDisk::File before = disk_->Current();
    if (!before.exists) return std::nullopt;
    const size_t half = before.content.size() / 2;
    if (disk_->AdvanceTo(disk_->Now() + disk_->read_ms)) disk_->noticed = true;
    const SimulatedDisk::File& after = disk_->Current();
    if (!after.exists || after.inode != before.inode) return before.content;
    return before.content.substr(0, half) +
           after.content.substr(std::min(half, after.content.size()));
  }

 private:
  SimulatedDisk* disk_;
};

// The watcher of the editor, on the simulated clock: each write is a
// notice; a notice starts looks kLookMs apart until one settles.
struct Outcome {
  std::vector<std::string> taken;  // every settled version, in order
  std::vector<int64_t> taken_at;   // the time of the look that took each
  int gone = 0;                    // how many times the file was gone
};

Outcome Watch(SimulatedDisk& disk, int64_t until_ms) {
  SimulatedProbe probe(&disk);
  SettledRead settle(&probe);
  Outcome outcome;
  int64_t next_look = INT64_MAX;
  auto notice = [&] {
    settle.Restart();
    if (next_look == INT64_MAX) next_look = disk.Now() + kLookMs;
  };
  while (std::min(next_look, disk.NextWrite()) <= until_ms) {
    if (disk.NextWrite() < next_look) {
      disk.AdvanceTo(disk.NextWrite());
      notice();
      continue;
    }
    disk.AdvanceTo(next_look);
    next_look = INT64_MAX;
    const int64_t look = disk.Now();
    const SettledRead::Result result = settle.Look();
    if (result == SettledRead::Result::kWait) next_look = disk.Now() + kLookMs;
    if (result == SettledRead::Result::kSettled) {
      outcome.taken.push_back(settle.Bytes());
      outcome.taken_at.push_back(look);
    }
    if (result == SettledRead::Result::kGone) ++outcome.gone;
    if (disk.noticed) {
      disk.noticed = false;
      notice();
    }
  }
  return outcome;
}

std::string Piece(std::mt19937& random, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += "abcdefg \r\n"[random() % 10];
  return text;
}

TEST(SettledReadTest, ASlowWriterIsTakenOnlyWhenItHasStopped) {
  // The shell's `printf ... > x; cp x song.qrn`: truncated, then written in
  // two pieces with a pause between.
  SimulatedDisk disk(0);
  disk.At(0, [](auto& f) {
    f.exists = true;
    f.content = "A c d e\r\n";
    f.inode = 1;
  });
  disk.At(1000, [](auto& f) { f.content.clear(); });
  disk.At(1030, [](auto& f) { f.content = "A t120 "; });
  disk.At(1070, [](auto& f) { f.content += "c d e\r\n"; });
  const Outcome outcome = Watch(disk, 5000);
  ASSERT_EQ(outcome.taken.size(), 2u);
  EXPECT_EQ(outcome.taken[0], "A c d e\r\n");
  EXPECT_EQ(outcome.taken[1], "A t120 c d e\r\n");  // never the empty file
}

TEST(SettledReadTest, AFileGoneOnTwoLooksIsGoneAndAQuickReplacementIsNot) {
  SimulatedDisk disk(0);
  disk.At(0, [](auto& f) {
    f.exists = true;
    f.content = "A c\r\n";
    f.inode = 1;
  });
  // An editor that removes the file and writes it anew 10 ms later.
  disk.At(1000, [](auto& f) { f.exists = false; });
  disk.At(1010, [](auto& f) {
    f.exists = true;
    f.content = "A d\r\n";
    f.inode = 2;
  });
  disk.At(2000, [](auto& f) { f.exists = false; });
  const Outcome outcome = Watch(disk, 5000);
  EXPECT_EQ(outcome.taken, (std::vector<std::string>{"A c\r\n", "A d\r\n"}));
  EXPECT_EQ(outcome.gone, 1);
}

TEST(SettledReadTest, AWriteDuringTheReadIsReadAgain) {
  SimulatedDisk disk(0);
  disk.read_ms = 20;
  disk.At(0, [](auto& f) {
    f.exists = true;
    f.content = "A c d e f g\r\n";
    f.inode = 1;
  });
  // Overwritten in place, with the same length, while it is read.
  disk.At(110, [](auto& f) { f.content = "B e f g a b\r\n"; });
  const Outcome outcome = Watch(disk, 2000);
  ASSERT_FALSE(outcome.taken.empty());
  for (const std::string& taken : outcome.taken) EXPECT_TRUE(disk.Versions().count(taken)) << taken;
  EXPECT_EQ(outcome.taken.back(), "B e f g a b\r\n");
}

// Random writers: truncate and write in pieces, rename a finished file over
// it, remove it and write it again, overwrite in place; random pauses, some
// longer than the looks, and reads that take time. A clock as fine as the
// writes' lets no torn read through; a coarse one (4 ms, as a kernel's
// file times may be) still ends with the final content.
TEST(SettledReadTest, RandomWritersEndWithTheFinalContent) {
  std::mt19937 random(20240522);
  for (int round = 0; round < 300; ++round) {
    const bool coarse = round % 2 == 1;
    SimulatedDisk disk(coarse ? 4 : 0);
    disk.read_ms = random() % 15;
    uint64_t inode = 1;
    disk.At(0, [](auto& f) {
      f.exists = true;
      f.content = "A c\r\n";
      f.inode = 1;
    });
    int64_t t = 500;
    std::string final_content = "A c\r\n";
    bool exists = true;
    const int writes = 1 + random() % 4;
    for (int w = 0; w < writes; ++w) {
      const std::string text = Piece(random, 1 + random() % 200);
      switch (random() % 4) {
        case 0: {  // truncate, then the pieces
          disk.At(t, [i = ++inode](auto& f) {
            if (!f.exists) f.inode = i;  // made anew
            f.exists = true;
            f.content.clear();
          });
          for (size_t at = 0; at < text.size();) {
            const size_t size = 1 + random() % 64;
            t += random() % 90;
            disk.At(t, [piece = text.substr(at, size)](auto& f) { f.content += piece; });
            at += size;
          }
          final_content = text;
          exists = true;
          break;
        }
        case 1:  // a finished file renamed over it
          disk.At(t, [text, i = ++inode](auto& f) {
            f.exists = true;
            f.content = text;
            f.inode = i;
          });
          final_content = text;
          exists = true;
          break;
        case 2:  // removed, and maybe written again a moment later
          disk.At(t, [](auto& f) { f.exists = false; });
          exists = false;
          if (random() % 2) {
            t += random() % 30;
            disk.At(t, [text, i = ++inode](auto& f) {
              f.exists = true;
              f.content = text;
              f.inode = i;
            });
            final_content = text;
            exists = true;
          }
          break;
        default:  // overwritten in place with text of the same length
          if (!exists) break;
          disk.At(t, [](auto& f) {
            for (char& c : f.content) c = c == 'a' ? 'b' : 'a';
          });
          for (char& c : final_content) c = c == 'a' ? 'b' : 'a';
          break;
      }
      t += random() % 300;
    }
    const Outcome outcome = Watch(disk, disk.LastWrite() + 20 * kLookMs);
    SCOPED_TRACE("round " + std::to_string(round));
    if (exists) {
      ASSERT_FALSE(outcome.taken.empty());
      EXPECT_EQ(outcome.taken.back(), final_content);
    } else {
      EXPECT_GE(outcome.gone, 1);
    }
    if (!coarse) {
      // Each version taken was whole, and had held still since the look
      // before.
      for (size_t i = 0; i < outcome.taken.size(); ++i) {
        EXPECT_TRUE(disk.Versions().count(outcome.taken[i]));
        EXPECT_TRUE(disk.StillBetween(outcome.taken_at[i] - kLookMs, outcome.taken_at[i]));
      }
    }
  }
}

TEST(SettledReadTest, TheDiskProbeReadsRegularFilesOnly) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quern-settle-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "song.qrn").string();
  std::ofstream(path, std::ios::binary) << "A c\r\n";
  DiskProbe probe(path);
  EXPECT_EQ(probe.Stamp().size, 5);
  EXPECT_EQ(probe.Read(), std::optional<std::string>("A c\r\n"));
  DiskProbe folder_probe(folder.string());
  EXPECT_EQ(folder_probe.Read(), std::nullopt);
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(probe.Stamp().exists);
  EXPECT_EQ(probe.Read(), std::nullopt);
}

}  // namespace
