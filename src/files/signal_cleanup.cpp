#include "files/signal_cleanup.h"

#include <unistd.h>

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

// The handler reads these from any thread, at any moment.
Slot g_slots[kMaxTemporaries];
std::atomic<std::atomic<bool>*> g_caught{nullptr};  // null: a signal ends the process
std::atomic<int> g_noted{0};
std::atomic<bool> g_installed{false};

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);

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
  std::atomic<bool>* caught = g_caught.load();
  if (caught == nullptr || g_noted.exchange(signo) != 0) {
    EndBy(signo);
  } else {
    caught->store(true);
  }
  errno = saved;
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
  g_caught.store(nullptr);
  Install();
}

void NoteSignals(std::atomic<bool>* caught) {
  g_caught.store(caught);
  Install();
}

int NotedSignal() {
  return g_noted.load();
}

void EndByNotedSignal() {
  const int signo = g_noted.load();
  if (signo != 0) EndBy(signo);
}
