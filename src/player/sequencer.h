// Sequencer: runs a loaded song image one tick at a time.
//
// In: the image given to LoadSong (player.h), read in place.
// Out: note, program, attribute and template messages through the message
//   operations (messages.h), tempo changes to the timer layer.
// Every cursor and list access is checked against the image, so no image,
// however malformed, makes the sequencer read outside it; a track that runs
// off its stream, jumps outside it or spins without ever waiting ends. A
// track ended for spinning (more than kMaxBytesPerTick bytes in one tick,
// which only a malformed image can hold) is logged as a TrackCut, so that
// the driver can say what was lost.
//
// Runs on the timer thread while a song plays; offline drivers (trace,
// export, render, tests) call it directly with playback stopped.
#ifndef QUERN_PLAYER_SEQUENCER_H_
#define QUERN_PLAYER_SEQUENCER_H_

#include <cstdint>
#include <vector>

// As many track players as the compiler writes tracks.
constexpr int kMaxTracks = 128;
// Notes sounding at once; when all are taken, the one that would end
// soonest is released to make room for the new note.
constexpr int kNoteOffEntries = 512;
constexpr int kGradualSlots = 64;
constexpr int kLoopFrames = 32;
constexpr int kListIndexEntries = 1024;
// A track that executes this many bytes in one tick without waiting is
// spinning (a loop without time, or a malformed jump) and ends.
constexpr int kMaxBytesPerTick = 1 << 20;

// A track ended by the per-tick byte limit: its entry number in the image
// (from 1) and the tick it was cut in.
struct TrackCut {
  int track = 0;
  int64_t tick = 0;
  bool operator==(const TrackCut&) const = default;
};

// One tick of the whole song: due note-offs, shared gradual changes, then
// every track in order.
void SequencerTick();
// The stop step: every scheduled note gets its note-off now.
void SilenceNotes();
// Ticks run since the last LoadSong; the tick of the messages being sent.
int64_t SequencerTickCount();
// Number of tracks loaded (at most kMaxTracks).
int LoadedTrackCount();
// The tracks cut since the last LoadSong, in the order they were cut. May be
// called from another thread while the song plays.
std::vector<TrackCut> TrackCuts();

#endif  // QUERN_PLAYER_SEQUENCER_H_
