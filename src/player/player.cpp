// Output ownership, the playback timer and the play-state handshake.
//
// The timer is a thread of the player's own. It sleeps until absolute
// deadlines on the steady clock (start + k * interval), so a late wake-up is
// made up by the next one and song time does not drift, and it wakes only at
// the intervals where a tick with work is due. Each wake-up runs the timer
// callback: while playing, as many sequencer ticks as the time budget owes;
// after a stop request, the stop step and the acknowledgement.
#include "player/player.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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

// The longest the timer sleeps while playing, so that a mute or solo change
// made during a long note is taken up within this time.
constexpr double kMaxSleepMs = 50;

// Milliseconds of song time from now until the next tick with work is due.
double MsToNextWork() {
  const int64_t quiet = TicksToNextWork() - 1;
  return g_budget + static_cast<double>(quiet) * TickLengthMs();
}

// How many intervals to sleep before the next wake: up to the interval
// boundary at which the next tick with work is due, at least one.
int IntervalsToSleep(int interval) {
  const int state = g_play_state.load();
  if (state == kPlaying && !OutputReady()) return 1;  // look again soon
  const double ms = state == kPlaying ? std::min(MsToNextWork(), kMaxSleepMs) : kMaxSleepMs;
  // Rounding may put the due time a hair past a boundary it lies on; waking
  // one interval early only costs a wake, waking late would delay the tick.
  return std::max(1, static_cast<int>(std::ceil((ms - 1e-6) / interval)));
}

// Outputs that take timestamps get each tick's ideal time: the wake's
// deadline plus the budget still owed before the tick, moved one interval
// later. The sequencer so runs one interval ahead of what is heard, and every
// message is queued before it is due.
void StampTick(Clock::time_point deadline) {
  MidiOutput& output = CurrentMidiOutput();
  if (!output.TakesTimestamps()) return;
  const std::chrono::duration<double, std::milli> ahead(g_budget + g_interval.load());
  output.SetSendTime(deadline + std::chrono::duration_cast<Clock::duration>(ahead));
}

// The stop step: messages queued for later are dropped (or, when they must
// not be lost, sent at once), then every scheduled note is released at once.
void SilenceNow() {
  CurrentMidiOutput().DropQueued();
  SilenceNotes();
}

// One wake of the timer at `deadline`, `elapsed_ms` after the previous one (0
// for the wake at the start). While playing: as many sequencer ticks as the
// time budget owes; after a stop request, the stop step and the
// acknowledgement.
void TimerCallback(int elapsed_ms, Clock::time_point deadline) {
  const int state = g_play_state.load();
  if (state == kPlaying) {
    if (!OutputReady()) return;  // a long message is in flight: time stands still
    g_budget -= elapsed_ms;
    while (g_budget <= 0) {
      StampTick(deadline);
      SequencerTick();
      g_budget += TickLengthMs();
    }
  } else if (state == kIdle) {
    SilenceNow();
    g_play_state.store(kStopped);
  }
}

bool StopRequested() {
  return g_play_state.load() == kIdle;
}

// The first wake is at the start itself, so tick 1 goes out at once. Each
// later deadline lies a whole number of intervals after the previous one:
// the timer sleeps through the ticks that send nothing and wakes at the
// boundary where the next tick with work is due, which is the wake at which
// that tick ran when the timer woke every interval. Deadlines count from the
// moment playback was started, so a slow thread start is made up at once. A
// stop request wakes the thread at once.
void RunTimer(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(g_timer.mutex);
  int elapsed_ms = 0;
  while (!g_timer.quit) {
    const bool stop =
        g_timer.wake.wait_until(lock, deadline, [] { return g_timer.quit || StopRequested(); });
    if (g_timer.quit) break;
    lock.unlock();
    TimerCallback(stop ? 0 : elapsed_ms, deadline);
    const int interval = g_interval.load();
    const int intervals = IntervalsToSleep(interval);
    lock.lock();
    elapsed_ms = intervals * interval;
    deadline += std::chrono::milliseconds(elapsed_ms);
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
  CurrentMidiOutput().DropQueued();  // a fresh start for timestamped outputs
  g_play_state.store(kPlaying);
  StartTimer();
}

void StopPlayback() {
  if (g_play_state.load() != kPlaying) return;
  {
    // Under the timer's lock, so that the sleeping thread cannot miss it.
    std::lock_guard<std::mutex> lock(g_timer.mutex);
    g_play_state.store(kIdle);
  }
  g_timer.wake.notify_all();
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
    SilenceNow();
    g_play_state.store(kStopped);
  }
}

bool IsPlaying() {
  return g_play_state.load() == kPlaying;
}
