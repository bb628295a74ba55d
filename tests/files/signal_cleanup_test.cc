// Signals during a write: each case runs in a child process, which the
// signal ends as it would end quern.
#include "files/signal_cleanup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "files/file_io.h"

namespace fs = std::filesystem;

namespace {

class SignalCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quern_signal_cleanup_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(Path("out.wav"), std::ios::binary) << "old";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Names() const {
    std::string names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names += entry.path().filename().string() + " ";
    return names;
  }
  std::string Old() const {
    std::ifstream in(Path("out.wav"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Runs body in a child; its wait status.
  static int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) _exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  fs::path dir_;
};

TEST_F(SignalCleanup, EachSignalRemovesTheTemporaryAndEndsTheProcessByIt) {
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signo);
    const int status = InChild([&] {
      ::signal(signo, SIG_DFL);
      RemoveTemporariesOnSignals();
      AtomicFileWriter file;
      std::string error;
      if (!file.Open(Path("out.wav"), &error) || !file.Write("half", &error)) return 10;
      ::raise(signo);
      return 11;  // not reached
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signo);
    EXPECT_EQ(Names(), "out.wav ");
    EXPECT_EQ(Old(), "old");
  }
}

TEST_F(SignalCleanup, ASignalIgnoredFromTheStartStaysIgnored) {
  const int status = InChild([&] {
    ::signal(SIGHUP, SIG_IGN);  // as nohup starts a program
    RemoveTemporariesOnSignals();
    AtomicFileWriter file;
    std::string error;
    if (!file.Open(Path("out.wav"), &error) || !file.Write("new", &error)) return 10;
    ::raise(SIGHUP);
    return file.Commit(&error) ? 0 : 12;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Old(), "new");
}

TEST_F(SignalCleanup, ANotedSignalLetsTheProgramFinishThenEndsItBySignal) {
  const int status = InChild([&] {
    ::signal(SIGTERM, SIG_DFL);
    std::atomic<bool> caught{false};
    NoteSignals(&caught);
    AtomicFileWriter file;
    std::string error;
    if (!file.Open(Path("out.wav"), &error)) return 10;
    ::raise(SIGTERM);
    if (!caught.load() || NotedSignal() != SIGTERM) return 11;
    // The temporary file went at the signal; what is left to do is done.
    if (Names() != "out.wav ") return 12;
    EndByNotedSignal();
    return 13;  // not reached
  });
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(Old(), "old");

  // A second signal does not wait for the program.
  const int twice = InChild([&] {
    ::signal(SIGINT, SIG_DFL);
    std::atomic<bool> caught{false};
    NoteSignals(&caught);
    ::raise(SIGINT);
    ::raise(SIGINT);
    return 14;  // not reached
  });
  ASSERT_TRUE(WIFSIGNALED(twice)) << twice;
  EXPECT_EQ(WTERMSIG(twice), SIGINT);
  // Without a signal the program ends as it chooses.
  const int calm = InChild([] {
    std::atomic<bool> caught{false};
    NoteSignals(&caught);
    EndByNotedSignal();
    return 3;
  });
  ASSERT_TRUE(WIFEXITED(calm));
  EXPECT_EQ(WEXITSTATUS(calm), 3);
}

TEST_F(SignalCleanup, TheTableHoldsAFixedNumberOfNamesAndFreesThem) {
  int slots[kMaxTemporaries];
  for (int& slot : slots) {
    slot = RegisterTemporary("x");
    EXPECT_GE(slot, 0);
  }
  EXPECT_EQ(RegisterTemporary("one too many"), -1);
  EXPECT_EQ(RegisterTemporary(std::string(PATH_MAX, 'n').c_str()), -1);
  WithdrawTemporary(slots[3]);
  EXPECT_EQ(RegisterTemporary("again"), slots[3]);
  for (int slot : slots) WithdrawTemporary(slot);
  WithdrawTemporary(-1);
  // A writer whose name finds no slot still writes.
  for (int& slot : slots) slot = RegisterTemporary("x");
  std::string error;
  EXPECT_TRUE(ReplaceFileAtomically(Path("out.wav"), "full", &error)) << error;
  EXPECT_EQ(Old(), "full");
  for (int slot : slots) WithdrawTemporary(slot);
}

}  // namespace
