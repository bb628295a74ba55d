// Offline runs of a loaded song: the song as a Standard MIDI File. The
// command line (`quern export`, `quern trace`) and the editor's export
// commands share them, so a song exports the same from either.
//
// In: a sequencer with a song loaded (and maybe moved to its start tick),
//   and a tick limit. Playback of that sequencer must be stopped: when it is
//   a player's, stop the player first.
// Out: the file's bytes (midi_file.h), or the messages on the sequencer's own
//   sink (RunSongOffline).
// What can go wrong: a song that never ends (an endless loop) runs to the
//   limit and says so through `endless`. The run leaves the song where it
//   ended: load it again to play it from its start.
// Threads: the caller's; nothing else may run the sequencer meanwhile.
#ifndef QUERN_PLAYER_SONG_EXPORT_H_
#define QUERN_PLAYER_SONG_EXPORT_H_

#include <cstdint>
#include <string>

class Sequencer;

inline constexpr int64_t kDefaultExportTicks = 1000000;

// Runs the song from where it stands (tick 1, or the tick it was moved to)
// until it has finished or its tick count reaches max_ticks, then releases
// what still sounds, on the sequencer's sink. Returns the milliseconds run.
double RunSongOffline(Sequencer& song, int64_t max_ticks);

// The song's messages as a Standard MIDI File; the sequencer's sink is left
// as it was. *endless: the song went on beyond max_ticks. A song started
// later (start_tick > 1) begins the file at its start tick.
std::string BuildSongMidiFile(Sequencer& song, int64_t max_ticks, bool* endless = nullptr,
                              int64_t start_tick = 1);

#endif  // QUERN_PLAYER_SONG_EXPORT_H_
