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
#include <cmath>
#include <system_error>
#include <utility>

#include "player/chase.h"

namespace {

constexpr int kPlaying = -1;
constexpr int kIdle = 0;  // also: stop requested
constexpr int kStopped = 1;

constexpr int kDefaultInterval = 4;
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 1000;

// The longest the timer sleeps while playing, so that a mute or solo change
// made during a long note is taken up within this time.
constexpr double kMaxSleepMs = 50;

}  // namespace

Player::Player() : song_(this), play_state_(kIdle), interval_(kDefaultInterval) {}

Player::~Player() {
  Close();
}

// Milliseconds of song time from now until the next tick with work is due.
double Player::MsToNextWork() {
  const int64_t quiet = song_.TicksToNextWork() - 1;
  return budget_ + static_cast<double>(quiet) * song_.Messages().TickLengthMs();
}

// How many intervals to sleep before the next wake: up to the interval
// boundary at which the next tick with work is due, at least one.
int Player::IntervalsToSleep(int interval) {
  const int state = play_state_.load();
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
void Player::StampTick(Clock::time_point deadline) {
  MidiOutput& output = Output();
  if (!output.TakesTimestamps()) return;
  const std::chrono::duration<double, std::milli> ahead(budget_ + interval_.load());
  output.SetSendTime(deadline + std::chrono::duration_cast<Clock::duration>(ahead));
}

// The stop step: messages queued for later are dropped (or, when they must
// not be lost, sent at once), then every scheduled note is released at once.
void Player::SilenceNow() {
  Output().DropQueued();
  song_.SilenceNotes();
}

// One wake of the timer at `deadline`, `elapsed_ms` after the previous one (0
// for the wake at the start). While playing: as many sequencer ticks as the
// time budget owes; after a stop request, the stop step and the
// acknowledgement.
void Player::TimerCallback(int elapsed_ms, Clock::time_point deadline) {
  const int state = play_state_.load();
  if (state == kPlaying) {
    if (!OutputReady()) return;  // a long message is in flight: time stands still
    budget_ -= elapsed_ms;
    while (budget_ <= 0) {
      StampTick(deadline);
      song_.Tick();
      budget_ += song_.Messages().TickLengthMs();
    }
  } else if (state == kIdle) {
    SilenceNow();
    play_state_.store(kStopped);
  }
}

bool Player::StopRequested() const {
  return play_state_.load() == kIdle;
}

// The first wake is at the start itself, so tick 1 goes out at once. Each
// later deadline lies a whole number of intervals after the previous one:
// the timer sleeps through the ticks that send nothing and wakes at the
// boundary where the next tick with work is due, which is the wake at which
// that tick ran when the timer woke every interval. Deadlines count from the
// moment playback was started, so a slow thread start is made up at once. A
// stop request wakes the thread at once.
void Player::RunTimer(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(timer_.mutex);
  int elapsed_ms = 0;
  while (!timer_.quit) {
    const bool stop =
        timer_.wake.wait_until(lock, deadline, [this] { return timer_.quit || StopRequested(); });
    if (timer_.quit) break;
    lock.unlock();
    TimerCallback(stop ? 0 : elapsed_ms, deadline);
    const int interval = interval_.load();
    const int intervals = IntervalsToSleep(interval);
    lock.lock();
    elapsed_ms = intervals * interval;
    deadline += std::chrono::milliseconds(elapsed_ms);
    // After a stall of more than a second (a suspended machine), start
    // afresh instead of racing through the missed periods.
    if (Clock::now() - deadline > std::chrono::seconds(1)) deadline = Clock::now();
  }
}

bool Player::TimerRunning() const {
  return timer_.thread.joinable();
}

bool Player::StartTimer() {
  {
    std::lock_guard<std::mutex> lock(timer_.mutex);
    timer_.quit = false;
  }
  try {
    timer_.thread = std::thread(&Player::RunTimer, this, Clock::now());
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Player::KillTimer() {
  if (!TimerRunning()) return;
  {
    std::lock_guard<std::mutex> lock(timer_.mutex);
    timer_.quit = true;
  }
  timer_.wake.notify_all();
  timer_.thread.join();
}

MidiOutput& Player::Output() {
  return output_ ? *output_ : null_output_;
}

bool Player::Open(std::unique_ptr<MidiOutput> output) {
  Close();
  const bool opened = output != nullptr;
  output_ = std::move(output);
  Output().SetLongDone([this] { MarkLongMessageDone(); });
  MarkLongMessageDone();
  play_state_.store(kIdle);
  interval_.store(kDefaultInterval);
  return opened;
}

void Player::Close() {
  Stop();
  MarkLongMessageDone();
  output_.reset();
}

void Player::SetInterval(int milliseconds) {
  if (milliseconds < kMinInterval) milliseconds = kMinInterval;
  if (milliseconds > kMaxInterval) milliseconds = kMaxInterval;
  // The timer thread takes the new period from its next deadline on.
  interval_.store(milliseconds);
}

int Player::Interval() const {
  return interval_.load();
}

void Player::Start() {
  KillTimer();  // never two timers: a second start restarts the one timer
  song_.Messages().SetTempo(120);
  budget_ = 0;
  Output().DropQueued();  // a fresh start for timestamped outputs
  play_state_.store(kPlaying);
  StartTimer();
}

void Player::Stop() {
  if (play_state_.load() != kPlaying) return;
  {
    // Under the timer's lock, so that the sleeping thread cannot miss it.
    std::lock_guard<std::mutex> lock(timer_.mutex);
    play_state_.store(kIdle);
  }
  timer_.wake.notify_all();
  if (TimerRunning()) {
    // The callback acknowledges within one interval; the limit only guards
    // against a timer thread that no longer runs its callbacks.
    const Clock::time_point limit =
        Clock::now() + std::chrono::seconds(2) + std::chrono::milliseconds(2 * interval_.load());
    while (play_state_.load() != kStopped && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  KillTimer();
  // No callback acknowledged (the timer never started): with no timer thread
  // left, the notes are released here.
  if (play_state_.load() != kStopped) {
    SilenceNow();
    play_state_.store(kStopped);
  }
}

bool Player::Playing() const {
  return play_state_.load() == kPlaying;
}

bool Player::Load(const uint8_t* image, size_t size, std::string* error) {
  Stop();
  return song_.Load(image, size, error);
}

void Player::SendShort(const uint8_t* bytes, int length) {
  Output().SendShort(bytes, length);
}

bool Player::SendLong(const uint8_t* bytes, int length) {
  ready_.store(false);
  // An output that refuses the message never reports it done; song time
  // would stand still until playback stops, so the flag comes back now.
  const bool taken = Output().SendLong(bytes, length);
  if (!taken) ready_.store(true);
  return taken;
}

void Player::SetTempo(int quarters_per_minute) {
  Output().SetTempo(quarters_per_minute);
}

// ---- The default player and its named operations.

Player& DefaultPlayer() {
  static Player player;
  return player;
}

bool OpenMidiDevices(std::unique_ptr<MidiOutput> output) {
  return DefaultPlayer().Open(std::move(output));
}

void CloseMidiDevices() {
  DefaultPlayer().Close();
}

MidiOutput& CurrentMidiOutput() {
  return DefaultPlayer().Output();
}

void SetTimerInterval(int milliseconds) {
  DefaultPlayer().SetInterval(milliseconds);
}

int TimerInterval() {
  return DefaultPlayer().Interval();
}

void StartPlayback() {
  DefaultPlayer().Start();
}

void StopPlayback() {
  DefaultPlayer().Stop();
}

void SilencePlayback() {
  StopPlayback();
  constexpr int kAllNotesOff = 123;
  for (int channel = 0; channel < 16; ++channel) SendAttribute(channel, kAllNotesOff, 0);
}

bool IsPlaying() {
  return DefaultPlayer().Playing();
}

bool LoadSong(const uint8_t* image, size_t size, std::string* error) {
  return DefaultPlayer().Load(image, size, error);
}

bool SongFinished() {
  return DefaultPlayer().Song().Finished();
}

bool OutputReady() {
  return DefaultPlayer().OutputReady();
}

void MarkLongMessageDone() {
  DefaultPlayer().MarkLongMessageDone();
}

// The default player's sequencer (sequencer.h).

void SequencerTick() {
  DefaultPlayer().Song().Tick();
}

void SilenceNotes() {
  DefaultPlayer().Song().SilenceNotes();
}

int64_t TicksToNextWork() {
  return DefaultPlayer().Song().TicksToNextWork();
}

int64_t SequencerTickCount() {
  return DefaultPlayer().Song().TickCount();
}

int LoadedTrackCount() {
  return DefaultPlayer().Song().TrackCount();
}

std::vector<TrackCut> TrackCuts() {
  return DefaultPlayer().Song().Cuts();
}

void SetNoteSink(NoteSink* sink) {
  DefaultPlayer().Song().SetNoteSink(sink);
}

void SequencerSeek(int64_t start) {
  DefaultPlayer().Song().Seek(start);
}

void SetStopTick(int64_t stop, bool loop) {
  DefaultPlayer().Song().SetStopTick(stop, loop);
}

void SetTrackMuted(int track, bool muted) {
  DefaultPlayer().Song().SetTrackMuted(track, muted);
}

void SetTrackSoloed(int track, bool soloed) {
  DefaultPlayer().Song().SetTrackSoloed(track, soloed);
}

void SetMessageCapture(ChaseState* capture) {
  DefaultPlayer().Song().SetMessageCapture(capture);
}

ChaseState* MessageCapture() {
  return DefaultPlayer().Song().MessageCapture();
}

// The default player's message builder (messages.h).

void SendNoteOn(int channel, int note, int velocity) {
  DefaultPlayer().Song().Messages().SendNoteOn(channel, note, velocity);
}

void SendNoteOff(int channel, int note) {
  DefaultPlayer().Song().Messages().SendNoteOff(channel, note);
}

void SendProgram(int channel, int program, int bank) {
  DefaultPlayer().Song().Messages().SendProgram(channel, program, bank);
}

void SendAttribute(int channel, int number, int value) {
  DefaultPlayer().Song().Messages().SendAttribute(channel, number, value);
}

void SendTemplate(int channel, const uint8_t* tmpl, int value) {
  DefaultPlayer().Song().Messages().SendTemplate(channel, tmpl, value);
}

int SongResolution() {
  return DefaultPlayer().Song().Messages().Resolution();
}

void SetTempo(int quarters_per_minute) {
  DefaultPlayer().Song().Messages().SetTempo(quarters_per_minute);
}

int CurrentTempo() {
  return DefaultPlayer().Song().Messages().Tempo();
}

double TickLengthMs() {
  return DefaultPlayer().Song().Messages().TickLengthMs();
}
