// Output ownership, the playback timer and the play-state handshake.
//
// The timer is a thread of the player's own. It sleeps until absolute
// deadlines on the steady clock (start + k * interval), so a late wake-up is
// made up by the next one and song time does not drift. Each wake-up runs the
// timer callback: while playing, as many sequencer ticks as the time budget
// owes; after a stop request, the stop step and the acknowledgement.
#include "player/player.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "player/messages.h"
#include "player/sequencer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPlaying = -1;
constexpr int kIdle = 0;  // also: stop requested
constexpr int kStopped = 1;

constexpr int kDefaultInterval = 4;
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 1000;

std::unique_ptr<MidiOutput> g_output;
NullOutput g_null_output;

std::atomic<int> g_play_state{kIdle};
std::atomic<int> g_interval{kDefaultInterval};
// Milliseconds of song time still owed to the sequencer. Touched by the
// timer thread only, and by StartPlayback before the thread starts.
double g_budget = 0;

struct TimerThread {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable wake;
  bool quit = false;
};
TimerThread g_timer;

void TimerCallback(int interval) {
  const int state = g_play_state.load();
  if (state == kPlaying) {
    if (!OutputReady()) return;  // a long message is in flight: time stands still
    g_budget -= interval;
    while (g_budget <= 0) {
      SequencerTick();
      g_budget += TickLengthMs();
    }
  } else if (state == kIdle) {
    SilenceNotes();
    g_play_state.store(kStopped);
  }
}

// Deadlines count from the moment playback was started, not from when the
// thread got going, so a slow thread start is made up at once.
void RunTimer(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(g_timer.mutex);
  while (!g_timer.quit) {
    const int interval = g_interval.load();
    deadline += std::chrono::milliseconds(interval);
    g_timer.wake.wait_until(lock, deadline, [] { return g_timer.quit; });
    if (g_timer.quit) break;
    lock.unlock();
    TimerCallback(interval);
    lock.lock();
    // After a stall of more than a second (a suspended machine), start
    // afresh instead of racing through the missed periods.
    if (Clock::now() - deadline > std::chrono::seconds(1)) deadline = Clock::now();
  }
}

bool TimerRunning() {
  return g_timer.thread.joinable();
}

bool StartTimer() {
  {
    std::lock_guard<std::mutex> lock(g_timer.mutex);
    g_timer.quit = false;
  }
  try {
    g_timer.thread = std::thread(RunTimer, Clock::now());
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void KillTimer() {
  if (!TimerRunning()) return;
  {
    std::lock_guard<std::mutex> lock(g_timer.mutex);
    g_timer.quit = true;
  }
  g_timer.wake.notify_all();
  g_timer.thread.join();
}

}  // namespace

MidiOutput& CurrentMidiOutput() {
  return g_output ? *g_output : g_null_output;
}

bool OpenMidiDevices(std::unique_ptr<MidiOutput> output) {
  CloseMidiDevices();
  const bool opened = output != nullptr;
  g_output = std::move(output);
  CurrentMidiOutput().SetLongDone(MarkLongMessageDone);
  MarkLongMessageDone();
  g_play_state.store(kIdle);
  g_interval.store(kDefaultInterval);
  return opened;
}

void CloseMidiDevices() {
  StopPlayback();
  MarkLongMessageDone();
  g_output.reset();
}

void SetTimerInterval(int milliseconds) {
  if (milliseconds < kMinInterval) milliseconds = kMinInterval;
  if (milliseconds > kMaxInterval) milliseconds = kMaxInterval;
  // The timer thread takes the new period from its next deadline on.
  g_interval.store(milliseconds);
}

int TimerInterval() {
  return g_interval.load();
}

void StartPlayback() {
  KillTimer();  // never two timers: a second start restarts the one timer
  SetTempo(120);
  g_budget = 0;
  g_play_state.store(kPlaying);
  StartTimer();
}

void StopPlayback() {
  if (g_play_state.load() != kPlaying) return;
  g_play_state.store(kIdle);
  if (TimerRunning()) {
    // The callback acknowledges within one interval; the limit only guards
    // against a timer thread that no longer runs its callbacks.
    const Clock::time_point limit =
        Clock::now() + std::chrono::seconds(2) + std::chrono::milliseconds(2 * g_interval.load());
    while (g_play_state.load() != kStopped && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  KillTimer();
  // No callback acknowledged (the timer never started): with no timer thread
  // left, the notes are released here.
  if (g_play_state.load() != kStopped) {
    SilenceNotes();
    g_play_state.store(kStopped);
  }
}

bool IsPlaying() {
  return g_play_state.load() == kPlaying;
}
