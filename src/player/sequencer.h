// Sequencer: runs a loaded song image one tick at a time.
//
// In: the image given to LoadSong (player.h), read in place.
// Out: note, program, attribute and template messages through the message
//   operations (messages.h), tempo changes to the timer layer.
// Every cursor and list access is checked against the image, so no image,
// however malformed, makes the sequencer read outside it; a track that runs
// off its stream, jumps outside it or spins without ever waiting ends.
//
// Runs on the timer thread while a song plays; offline drivers (trace,
// export, render, tests) call it directly with playback stopped.
#ifndef QUERN_PLAYER_SEQUENCER_H_
#define QUERN_PLAYER_SEQUENCER_H_

#include <cstdint>

constexpr int kMaxTracks = 64;
constexpr int kNoteOffEntries = 64;
constexpr int kGradualSlots = 64;
constexpr int kLoopFrames = 32;
constexpr int kListIndexEntries = 1024;

// One tick of the whole song: due note-offs, shared gradual changes, then
// every track in order.
void SequencerTick();
// The stop step: every scheduled note gets its note-off now.
void SilenceNotes();
// Ticks run since the last LoadSong; the tick of the messages being sent.
int64_t SequencerTickCount();
// Number of tracks loaded (at most 64).
int LoadedTrackCount();

#endif  // QUERN_PLAYER_SEQUENCER_H_
