// The player as the editor and the command line use it: a MIDI output, a
// playback timer and a sequencer with the song to play.
//
// In: a MIDI output (see midi_output.h; the device backends and the choice by
//   name are in player/output/outputs.h) and a song image.
// Out: the song's messages on the output, in real time, from a timer thread
//   of the player's own that wakes on absolute deadlines. The player is its
//   sequencer's message sink: it hands every message on to the output and
//   keeps the ready flag, which is false while a long message is in flight.
// What can go wrong: no output (Open returns false and the player runs on a
//   null output: playing sends nothing); an image that is not a song (Load
//   returns false with a message and keeps the previous song); a timer
//   thread that cannot start (Stop still returns, releasing the notes
//   itself); an output that refuses a long message (the ready flag comes
//   back at once, so song time goes on).
//
// Threads: call the control operations from one control thread (the UI
// thread). The sequencer runs on the timer thread while a song plays; the
// play state and the ready flag are atomics shared with it, and the output's
// completion callback may set the ready flag from any thread.
//
// The process has one default player, which the named operations below
// drive; a Player of one's own plays independently of it.
//
// Typical use:
//   OpenMidiDevices(OpenOutput("synth", "", &error));   // at start-up
//   SetTimerInterval(4);
//   StopPlayback(); LoadSong(copy, size, &error); StartPlayback();   // Play
//   StopPlayback();                                                   // Stop
//   CloseMidiDevices();                                               // at exit
#ifndef QUERN_PLAYER_PLAYER_H_
#define QUERN_PLAYER_PLAYER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "player/messages.h"
#include "player/midi_output.h"
#include "player/sequencer.h"

class Player : public MessageSink {
 public:
  Player();
  // Stops playback and closes the output.
  ~Player() override;
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Takes the output for all messages from now on (closing any previous
  // one); ready flag := true, play state := idle, interval := 4 ms. Returns
  // false when output is null; the player then uses a null output.
  bool Open(std::unique_ptr<MidiOutput> output);
  // Stops playback and closes the output (a null output takes its place).
  void Close();
  // The output messages go to now (never null).
  MidiOutput& Output();

  // Timer period in milliseconds, taken within 1 to 1000. A playing song
  // goes on at the new interval without a break.
  void SetInterval(int milliseconds);
  int Interval() const;

  // Tempo 120, time budget 0, then the timer thread starts ticking the
  // sequencer. Continues the loaded song from where it stopped.
  void Start();
  // When playing: asks the timer thread to release every scheduled note,
  // waits for its acknowledgement and stops the thread. Never hangs: when no
  // timer thread runs, the notes are released here. Harmless when nothing
  // plays.
  void Stop();
  bool Playing() const;

  // Stops playback, then loads the image into the sequencer (Sequencer::Load).
  // The image must stay unchanged and alive while it plays.
  bool Load(const uint8_t* image, size_t size, std::string* error = nullptr);
  // The sequencer, for seeking, stop ticks, mute and solo, and offline runs
  // with playback stopped.
  Sequencer& Song() { return song_; }

  // The ready flag: true while no long message is in flight.
  bool OutputReady() const { return ready_.load(); }
  void MarkLongMessageDone() { ready_.store(true); }

  // The sequencer's messages, handed on to the output.
  void SendShort(const uint8_t* bytes, int length) override;
  bool SendLong(const uint8_t* bytes, int length) override;
  void SetTempo(int quarters_per_minute) override;

 private:
  using Clock = std::chrono::steady_clock;

  double MsToNextWork();
  int IntervalsToSleep(int interval);
  void StampTick(Clock::time_point deadline);
  void SilenceNow();
  void TimerCallback(int elapsed_ms, Clock::time_point deadline);
  bool StopRequested() const;
  void RunTimer(Clock::time_point deadline);
  bool TimerRunning() const;
  bool StartTimer();
  void KillTimer();

  Sequencer song_;
  std::unique_ptr<MidiOutput> output_;
  NullOutput null_output_;
  std::atomic<bool> ready_{true};
  std::atomic<int> play_state_;
  std::atomic<int> interval_;
  // Milliseconds of song time still owed to the sequencer. Touched by the
  // timer thread only, and by Start before the thread starts.
  double budget_ = 0;
  struct Timer {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
  };
  Timer timer_;
};

// The one default player, made on first use.
Player& DefaultPlayer();

// ---- The default player's named operations.

bool OpenMidiDevices(std::unique_ptr<MidiOutput> output);
void CloseMidiDevices();
MidiOutput& CurrentMidiOutput();
void SetTimerInterval(int milliseconds);
int TimerInterval();
void StartPlayback();
void StopPlayback();
// Stops playback, then sends All Notes Off (controller 123) on all 16
// channels: the stop releases the notes the song scheduled to end, but a
// note struck in hit mode has no end, and an instrument on a port would hold
// it after the program has gone.
void SilencePlayback();
bool IsPlaying();
bool LoadSong(const uint8_t* image, size_t size, std::string* error = nullptr);
bool SongFinished();
// The output's completion callback calls MarkLongMessageDone.
bool OutputReady();
void MarkLongMessageDone();

#endif  // QUERN_PLAYER_PLAYER_H_
