// The player as the editor and the command line use it: the MIDI output, the
// playback timer and the song to play.
//
// In: a MIDI output (see midi_output.h; the device backends and the choice by
//   name are in player/output/outputs.h) and a song image.
// Out: the song's messages on the output, in real time, from a timer thread
//   of the player's own that wakes on absolute deadlines.
// What can go wrong: no output (OpenMidiDevices returns false and the player
//   runs on a null output: playing sends nothing); an image that is not a
//   song (LoadSong returns false with a message and keeps the previous song).
//
// Threads: call these from one control thread (the UI thread). The sequencer
// runs on the timer thread while a song plays; the play state and the ready
// flag are atomics shared with it.
//
// Typical use:
//   OpenMidiDevices(OpenOutput("synth", "", &error));   // at start-up
//   SetTimerInterval(4);
//   StopPlayback(); LoadSong(copy, size, &error); StartPlayback();   // Play
//   StopPlayback();                                                   // Stop
//   CloseMidiDevices();                                               // at exit
#ifndef QUERN_PLAYER_PLAYER_H_
#define QUERN_PLAYER_PLAYER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "player/midi_output.h"

// Takes the output for all messages from now on (closing any previous one);
// ready flag := true, play state := idle, interval := 4 ms. Returns false when
// output is null; the player then uses a null output.
bool OpenMidiDevices(std::unique_ptr<MidiOutput> output);
// Stops playback and closes the output (a null output takes its place).
void CloseMidiDevices();
// The output messages go to now (never null).
MidiOutput& CurrentMidiOutput();

// Timer period in milliseconds, taken within 1 to 1000. A playing song goes
// on at the new interval without a break.
void SetTimerInterval(int milliseconds);
int TimerInterval();

// Tempo 120, time budget 0, then the timer thread starts calling the
// sequencer. Continues the loaded song from where it stopped.
void StartPlayback();
// When playing: asks the timer thread to release every scheduled note, waits
// for its acknowledgement and stops the thread. Never hangs: when no timer
// thread runs, the notes are released here. Harmless when nothing plays.
void StopPlayback();
bool IsPlaying();

// Stops playback, then loads the image: up to 128 tracks, the three lists,
// fresh state for every track and empty note-off and gradual-change tables.
// Returns false and keeps the previous song when the image is not a song
// (wrong first word, resolution 0, a track list that runs past the end); *error then says why. The
// image must stay unchanged and alive while it plays: the sequencer reads it in place.
bool LoadSong(const uint8_t* image, size_t size, std::string* error = nullptr);

// True when every loaded track has ended and no note-off or gradual change
// is pending: nothing more will be sent (an endless loop never finishes).
bool SongFinished();

#endif  // QUERN_PLAYER_PLAYER_H_
