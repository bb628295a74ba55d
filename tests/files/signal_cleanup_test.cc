// Signals during a write: each case runs in a child process, which the
// signal ends as it would end quern.
#include "files/signal_cleanup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>

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

// The child's on_signal writes a byte to this pipe; the test reads what
// came once the child has ended.
class SignalWatchTest : public SignalCleanup {
 protected:
  void SetUp() override {
    SignalCleanup::SetUp();
    ASSERT_EQ(0, ::pipe(marks_));
  }
  void TearDown() override {
    ::close(marks_[0]);
    SignalCleanup::TearDown();
  }
  void Mark(char byte) const {
    if (::write(marks_[1], &byte, 1) != 1) _exit(30);
  }
  // What the child marked; closes the write end, so call it once.
  std::string Marks() {
    ::close(marks_[1]);
    std::string marks;
    char byte;
    while (::read(marks_[0], &byte, 1) == 1) marks += byte;
    return marks;
  }
  // Blocks the calling thread for good, as a server waits on its client.
  static void BlockForever() {
    int never[2];
    if (::pipe(never) != 0) _exit(31);
    char byte;
    while (::read(never[0], &byte, 1) != 0) {
    }
  }

  int marks_[2] = {-1, -1};
};

TEST_F(SignalWatchTest, ASignalIsHandledOnTheWatchThreadWhileTheMainThreadIsBlocked) {
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signo);
    const int status = InChild([&] {
      ::signal(signo, SIG_DFL);
      SignalWatch watch([&] { Mark(NotedSignal() == signo ? 'c' : 'x'); });
      AtomicFileWriter file;
      std::string error;
      if (!file.Open(Path("out.wav"), &error) || !file.Write("half", &error)) return 10;
      ::raise(signo);
      BlockForever();
      return 11;  // not reached
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signo);
    EXPECT_EQ(Names(), "out.wav ");
    EXPECT_EQ(Old(), "old");
    EXPECT_EQ(Marks(), "c");
    ASSERT_EQ(0, ::pipe(marks_));
  }
}

TEST_F(SignalWatchTest, ASecondSignalDoesNotWaitForTheCleanUp) {
  const int status = InChild([&] {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    SignalWatch watch([&] {
      Mark('a');
      ::kill(::getpid(), SIGINT);
      BlockForever();
    });
    ::raise(SIGTERM);
    BlockForever();
    return 11;
  });
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_EQ(Marks(), "a");
}

TEST_F(SignalWatchTest, OnceTheWatchIsGoneASignalEndsTheProcessAtOnce) {
  const int later = InChild([&] {
    ::signal(SIGTERM, SIG_DFL);
    {
      SignalWatch watch([&] { Mark('x'); });
    }
    ::raise(SIGTERM);
    return 11;
  });
  ASSERT_TRUE(WIFSIGNALED(later)) << later;
  EXPECT_EQ(WTERMSIG(later), SIGTERM);
  EXPECT_EQ(Marks(), "");
  ASSERT_EQ(0, ::pipe(marks_));
  // Without a signal the program ends as it chooses.
  const int calm = InChild([&] {
    {
      SignalWatch watch([&] { Mark('x'); });
    }
    return 3;
  });
  ASSERT_TRUE(WIFEXITED(calm)) << calm;
  EXPECT_EQ(WEXITSTATUS(calm), 3);
  EXPECT_EQ(Marks(), "");
}

// A signal at any moment around the watch's end, sent by another thread:
// the process always ends by it (handled by on_signal when it came while
// the watch was there), and never goes on as if nothing had come.
TEST_F(SignalWatchTest, ASignalRacingTheWatchsEndIsNeverLost) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 200; ++round) {
    const int send_after = static_cast<int>(random() % 300);
    const int close_after = static_cast<int>(random() % 300);
    SCOPED_TRACE(std::to_string(send_after) + " " + std::to_string(close_after));
    const int status = InChild([&] {
      ::signal(SIGTERM, SIG_DFL);
      std::thread sender;
      {
        SignalWatch watch([&] { Mark('c'); });
        sender = std::thread([&] {
          std::this_thread::sleep_for(std::chrono::microseconds(send_after));
          ::kill(::getpid(), SIGTERM);
        });
        std::this_thread::sleep_for(std::chrono::microseconds(close_after));
      }
      sender.join();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return 20;  // the signal was lost
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    const std::string marks = Marks();
    EXPECT_TRUE(marks == "" || marks == "c") << marks;
    ASSERT_EQ(0, ::pipe(marks_));
  }
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
