#include "files/signal_cleanup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char name[PATH_MAX];
};

// Who takes the next signal: kEnding, the handler (the process ends at
// once); kArmed, the program (the handler notes the signal's number here).
// The handler and a SignalWatch that closes compete for it with one
// compare-and-swap, so a signal is either noted and handled or ends the
// process, never lost between the two.
constexpr int kEnding = -1;
constexpr int kArmed = 0;

// The handler reads these from any thread, at any moment.
Slot g_slots[kMaxTemporaries];
std::atomic<int> g_noted{kEnding};
std::atomic<std::atomic<bool>*> g_caught{nullptr};  // set when a signal is noted
std::atomic<int> g_wake_fd{-1};                     // gets a byte when a signal is noted
std::atomic<bool> g_installed{false};

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);

constexpr char kSignalByte = 's';
constexpr char kCloseByte = 'q';

void RemoveTemporaries() {
  for (Slot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) == kHeld) ::unlink(slot.name);
  }
}

// The signal's default action, taken at once: the process ends by it.
void EndBy(int signo) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signo, &action, nullptr);
  // Inside the handler the signal stays blocked until it returns, and is
  // then taken with the default action; outside it is taken here.
  ::raise(signo);
}

void OnSignal(int signo) {
  const int saved = errno;
  RemoveTemporaries();
  int armed = kArmed;
  if (!g_noted.compare_exchange_strong(armed, signo)) {
    EndBy(signo);  // not armed, or a second signal
    errno = saved;
    return;
  }
  if (std::atomic<bool>* caught = g_caught.load()) caught->store(true);
  const int wake = g_wake_fd.load();
  if (wake >= 0 && ::write(wake, &kSignalByte, 1) < 0) {
    // The pipe is new and holds at most two bytes: a write cannot fail.
  }
  errno = saved;
}

// From now on signals are noted; false when one was noted already.
bool Arm() {
  int ending = kEnding;
  return g_noted.compare_exchange_strong(ending, kArmed) || ending == kArmed;
}

void Install() {
  if (g_installed.exchange(true)) return;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signo : kSignals) sigaddset(&action.sa_mask, signo);
  for (int signo : kSignals) {
    struct sigaction old;
    if (::sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signo, &action, nullptr);
  }
}

}  // namespace

int RegisterTemporary(const char* name) {
  const size_t length = std::strlen(name);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < kMaxTemporaries; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_slots[i].name, name, length + 1);
    g_slots[i].state.store(kHeld, std::memory_order_release);
    return i;
  }
  return -1;
}

void WithdrawTemporary(int slot) {
  if (slot < 0 || slot >= kMaxTemporaries) return;
  g_slots[slot].state.store(kFree, std::memory_order_release);
}

void RemoveTemporariesOnSignals() {
  int armed = kArmed;
  g_noted.compare_exchange_strong(armed, kEnding);
  Install();
}

void NoteSignals(std::atomic<bool>* caught) {
  g_caught.store(caught);
  Arm();
  Install();
}

int NotedSignal() {
  return std::max(g_noted.load(), 0);
}

void EndByNotedSignal() {
  if (const int signo = NotedSignal()) EndBy(signo);
}

SignalWatch::SignalWatch(std::function<void()> on_signal) : on_signal_(std::move(on_signal)) {
  Install();
  if (::pipe2(wake_, O_CLOEXEC) != 0) {
    wake_[0] = wake_[1] = -1;
    return;  // signals go on ending the process at once
  }
  g_caught.store(nullptr);
  g_wake_fd.store(wake_[1]);
  thread_ = std::thread([this] { Run(); });
  if (!Arm() && ::write(wake_[1], &kSignalByte, 1) < 0) {
    // A signal noted before the watch is handled at once; the pipe has room.
  }
}

SignalWatch::~SignalWatch() {
  if (!thread_.joinable()) return;
  int armed = kArmed;
  // No signal came (or signals were put back to ending the process): from
  // now on one ends the process at once.
  if (g_noted.compare_exchange_strong(armed, kEnding) || armed == kEnding) {
    if (::write(wake_[1], &kCloseByte, 1) < 0) {
      // As in the handler: the pipe has room.
    }
  }
  // Otherwise a signal came first: the thread handles it and the process
  // ends by it while this waits.
  thread_.join();
  g_wake_fd.store(-1);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void SignalWatch::Run() {
  char byte = 0;
  ssize_t n;
  do {
    n = ::read(wake_[0], &byte, 1);
  } while (n < 0 && errno == EINTR);
  if (n != 1 || byte != kSignalByte) return;
  on_signal_();
  EndByNotedSignal();
}
