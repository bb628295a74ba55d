#include "files/file_io.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quern_file_io_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The names in the folder, sorted, separated by blanks.
  std::string Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
  }
  int Mode(const std::string& name) const {
    struct stat st;
    return ::stat(Path(name).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  }

  fs::path dir_;
};

TEST_F(FileIo, ReadsWholeFilesAndNamesTheFileAndReasonOtherwise) {
  Put("score.qrn", std::string("A c\0d", 5));
  std::string bytes, error;
  ASSERT_TRUE(ReadFileChecked(Path("score.qrn"), 100, &bytes, &error)) << error;
  EXPECT_EQ(bytes, std::string("A c\0d", 5));

  fs::create_directory(Path("folder.xrt"));
  EXPECT_FALSE(ReadFileChecked(Path("folder.xrt"), 100, &bytes, &error));
  EXPECT_EQ(error, Path("folder.xrt") + ": Is a directory");
  EXPECT_FALSE(ReadFileChecked(Path("gone.qrn"), 100, &bytes, &error));
  EXPECT_EQ(error, Path("gone.qrn") + ": No such file or directory");
}

TEST_F(FileIo, RefusesInputsPastTheLimitIncludingEndlessOnes) {
  Put("big.qrn", std::string(101, 'c'));
  std::string bytes = "stale", error;
  EXPECT_FALSE(ReadFileChecked(Path("big.qrn"), 100, &bytes, &error));
  EXPECT_EQ(error, Path("big.qrn") + ": larger than 100 bytes; not read");
  EXPECT_TRUE(bytes.empty());
  Put("exact.qrn", std::string(100, 'c'));
  EXPECT_TRUE(ReadFileChecked(Path("exact.qrn"), 100, &bytes, &error));

  // /dev/zero has no size to look at first: it is read up to the limit.
  EXPECT_FALSE(ReadFileChecked("/dev/zero", size_t{1} << 20, &bytes, &error));
  EXPECT_EQ(error, "/dev/zero: larger than 1 MB; not read");
}

TEST_F(FileIo, SameFileThroughLinksAndOtherSpellings) {
  Put("s.qrn", "A c");
  Put("other.qrn", "A c");
  fs::create_symlink("s.qrn", Path("soft.xrt"));
  fs::create_hard_link(Path("s.qrn"), Path("hard.mid"));
  EXPECT_TRUE(IsSameFile(Path("s.qrn"), Path("s.qrn")));
  EXPECT_TRUE(IsSameFile(Path("s.qrn"), (dir_ / "." / "s.qrn").string()));
  EXPECT_TRUE(IsSameFile(Path("s.qrn"), Path("soft.xrt")));
  EXPECT_TRUE(IsSameFile(Path("soft.xrt"), Path("hard.mid")));
  EXPECT_FALSE(IsSameFile(Path("s.qrn"), Path("other.qrn")));
  EXPECT_FALSE(IsSameFile(Path("s.qrn"), Path("s.xrt")));
  // Nothing to destroy: a missing input, a folder, a device.
  EXPECT_FALSE(IsSameFile(Path("gone.qrn"), Path("gone.qrn")));
  EXPECT_FALSE(IsSameFile(dir_.string(), dir_.string()));
  EXPECT_FALSE(IsSameFile("/dev/null", "/dev/null"));
}

TEST_F(FileIo, ReplacementKeepsModeAndLinksAndTouchesNoOtherFile) {
  Put("out.xrt", "old");
  ::chmod(Path("out.xrt").c_str(), 0600);
  Put("out.xrt.tmp", "keep");
  Put("real.mid", "old");
  fs::create_symlink("real.mid", Path("link.mid"));
  fs::create_symlink("sub/new.mid", Path("dangling.mid"));
  fs::create_directory(Path("sub"));
  std::string error;

  ASSERT_TRUE(ReplaceFileAtomically(Path("out.xrt"), "new", &error)) << error;
  EXPECT_EQ(Get("out.xrt"), "new");
  EXPECT_EQ(Mode("out.xrt"), 0600);
  ASSERT_TRUE(ReplaceFileAtomically(Path("link.mid"), "through", &error)) << error;
  EXPECT_TRUE(fs::is_symlink(Path("link.mid")));
  EXPECT_EQ(Get("real.mid"), "through");
  ASSERT_TRUE(ReplaceFileAtomically(Path("dangling.mid"), "made", &error)) << error;
  EXPECT_EQ(Get("sub/new.mid"), "made");

  mode_t mask = ::umask(0);
  ::umask(mask);
  ASSERT_TRUE(ReplaceFileAtomically(Path("fresh.wav"), "", &error)) << error;
  EXPECT_EQ(Mode("fresh.wav"), 0666 & ~static_cast<int>(mask));

  EXPECT_EQ(Get("out.xrt.tmp"), "keep");
  EXPECT_EQ(Listing(), "dangling.mid fresh.wav link.mid out.xrt out.xrt.tmp real.mid sub ");
}

TEST_F(FileIo, FailedWritesLeaveThePreviousFileAndNoTemporary) {
  Put("out.mid", "old");
  std::string error;
  {
    AtomicFileWriter file;
    ASSERT_TRUE(file.Open(Path("out.mid"), &error));
    ASSERT_TRUE(file.Write("half", &error));
  }  // abandoned before Commit
  EXPECT_EQ(Get("out.mid"), "old");
  EXPECT_EQ(Listing(), "out.mid ");

  // A file size limit fails the write as a full disk would.
  struct rlimit saved;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  ::setrlimit(RLIMIT_FSIZE, &small);
  bool written = ReplaceFileAtomically(Path("out.mid"), std::string(4096, 'x'), &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(error, Path("out.mid") + ": File too large");
  EXPECT_EQ(Get("out.mid"), "old");
  EXPECT_EQ(Listing(), "out.mid ");

  EXPECT_FALSE(ReplaceFileAtomically(Path("no/folder/out.mid"), "x", &error));
  EXPECT_EQ(error, Path("no/folder/out.mid") + ": No such file or directory");
}

TEST_F(FileIo, HeadersWrittenLastAndDevicesWrittenDirectly) {
  AtomicFileWriter file;
  std::string error;
  ASSERT_TRUE(file.Open(Path("song.wav"), &error));
  ASSERT_TRUE(file.Write("RIFF....data", &error));
  ASSERT_TRUE(file.WriteAt(4, "1234", &error));
  ASSERT_TRUE(file.Commit(&error)) << error;
  EXPECT_EQ(Get("song.wav"), "RIFF1234data");

  // /dev/null cannot be replaced by a file: it is written to and stays.
  EXPECT_TRUE(ReplaceFileAtomically("/dev/null", "bytes", &error)) << error;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(FileIo, OutputsTheSystemCannotResolveOrThatNameAFolderAreRefused) {
  fs::create_symlink("self", Path("self"));
  // A chain longer than the system follows: 45 links, then a file.
  for (int i = 1; i <= 45; ++i) {
    fs::create_symlink("l" + std::to_string(i + 1), Path("l" + std::to_string(i)));
  }
  Put("l46", "end");
  // Exactly as many links as the system follows still lead to the file.
  for (int i = 1; i <= 40; ++i) {
    fs::create_symlink("k" + std::to_string(i + 1), Path("k" + std::to_string(i)));
  }
  Put("k41", "old");
  fs::create_directory(Path("adir"));
  const std::string before = Listing();
  struct Case {
    std::string path, reason;
  } cases[] = {
      {Path("self"), "Too many levels of symbolic links"},
      {Path("l1"), "Too many levels of symbolic links"},
      {Path("l5"), "Too many levels of symbolic links"},
      {Path("adir"), "the path names a folder, not a file"},
      {Path("adir/"), "the path names a folder, not a file"},
      {Path("new/"), "the path names a folder, not a file"},
      {Path("adir/."), "the path names a folder, not a file"},
      {Path("self/x"), "Too many levels of symbolic links"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_FALSE(CheckOutputPath(c.path, &error));
    EXPECT_EQ(error, c.path + ": " + c.reason);
    error.clear();
    EXPECT_FALSE(ReplaceFileAtomically(c.path, "new", &error));
    EXPECT_EQ(error, c.path + ": " + c.reason);
  }
  EXPECT_TRUE(fs::is_symlink(Path("self")));
  EXPECT_TRUE(fs::is_symlink(Path("l5")));
  EXPECT_EQ(Get("l46"), "end");
  EXPECT_TRUE(fs::is_empty(Path("adir")));
  EXPECT_EQ(Listing(), before);

  std::string error;
  EXPECT_TRUE(CheckOutputPath(Path("k1"), &error)) << error;
  ASSERT_TRUE(ReplaceFileAtomically(Path("k1"), "new", &error)) << error;
  EXPECT_TRUE(fs::is_symlink(Path("k1")));
  EXPECT_EQ(Get("k41"), "new");
  // The folder is checked too, before any work.
  EXPECT_FALSE(CheckOutputPath(Path("no/such.mid"), &error));
  EXPECT_EQ(error, Path("no/such.mid") + ": No such file or directory");
  EXPECT_TRUE(CheckOutputPath("/dev/null", &error));
  EXPECT_TRUE(CheckOutputPath(Path("fresh.mid"), &error));
}

TEST_F(FileIo, OnlyAPipeCannotHaveItsHeaderWrittenLast) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string pipe_name = "/proc/self/fd/" + std::to_string(fds[1]);
  std::string error;
  {
    AtomicFileWriter file;
    ASSERT_TRUE(file.Open(pipe_name, &error)) << error;
    EXPECT_FALSE(file.CanWriteAt());
    ASSERT_TRUE(file.Write("through", &error)) << error;
    ASSERT_TRUE(file.Commit(&error)) << error;
  }
  char bytes[16] = {};
  EXPECT_EQ(::read(fds[0], bytes, sizeof bytes), 7);
  EXPECT_STREQ(bytes, "through");
  ::close(fds[0]);
  ::close(fds[1]);
  AtomicFileWriter file;
  ASSERT_TRUE(file.Open(Path("song.mid"), &error));
  EXPECT_TRUE(file.CanWriteAt());
  AtomicFileWriter device;
  ASSERT_TRUE(device.Open("/dev/null", &error));
  EXPECT_TRUE(device.CanWriteAt());
}

}  // namespace
