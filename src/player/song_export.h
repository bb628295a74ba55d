// Offline runs of the loaded song: the song as a Standard MIDI File. The
// command line (`quern export`, `quern trace`) and
// the editor's export commands share them, so a song exports the same from
// either.
//
// In: a song loaded with LoadSong (player.h) and a tick limit.
// Out: the file's bytes (midi_file.h).
// What can go wrong: a song that never ends (an endless loop) runs to the
//   limit and says so through `endless`. Each run takes the player's output
//   for itself and closes it at the end: the caller opens its own output
//   again afterwards.
#ifndef QUERN_PLAYER_SONG_EXPORT_H_
#define QUERN_PLAYER_SONG_EXPORT_H_

#include <cstdint>
#include <string>

inline constexpr int64_t kDefaultExportTicks = 1000000;

// Runs the song from where it stands (tick 1, or the tick it was moved to)
// until it has finished or its tick count reaches max_ticks, then releases
// what still sounds, on whatever output is open. Returns the milliseconds
// run.
double RunSongOffline(int64_t max_ticks);

// The song's messages as a Standard MIDI File. *endless: the song went on
// beyond max_ticks. A song started later (start_tick > 1) begins the file
// at its start tick.
std::string BuildSongMidiFile(int64_t max_ticks, bool* endless = nullptr, int64_t start_tick = 1);

#endif  // QUERN_PLAYER_SONG_EXPORT_H_
