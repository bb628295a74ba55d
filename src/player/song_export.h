// Offline runs of a loaded song: the song as a Standard MIDI File. The
// command line (`quern export`, `quern trace`) and the editor's export
// commands share them, so a song exports the same from either.
//
// In: a sequencer with a song loaded (and maybe moved to its start tick),
//   and a tick limit. Playback of that sequencer must be stopped: when it is
//   a player's, stop the player first.
// Out: the file's bytes (midi_file.h), in memory or streamed, or the
//   messages on the sequencer's own sink (RunSongOffline).
// What can go wrong: a song that never ends (an endless loop) runs to the
//   limit and says so through `endless`; a streamed file stops where a
//   write fails, or is cut where it reaches the 4 GB of a track chunk (the
//   notes that sound are released there). The run leaves the song where it
//   ended: load it again to play it from its start.
// Threads: the caller's; nothing else may run the sequencer meanwhile.
#ifndef QUERN_PLAYER_SONG_EXPORT_H_
#define QUERN_PLAYER_SONG_EXPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "player/midi_file.h"

class Sequencer;

inline constexpr int64_t kDefaultExportTicks = 1000000;

// Runs the song from where it stands (tick 1, or the tick it was moved to)
// until it has finished or its tick count reaches max_ticks, or keep_going
// (asked after every tick, when given) says false; then releases what still
// sounds, on the sequencer's sink. Returns the milliseconds run.
double RunSongOffline(Sequencer& song, int64_t max_ticks,
                      const std::function<bool()>& keep_going = {});

// The song's messages as a Standard MIDI File, streamed: the bytes go to
// write in order, in pieces of about 64 KB, while the song runs, so memory
// stays the same however long the song is. The first bytes are
// kMidiHeaderBytes placeholders; once the run is over, *header holds the
// real ones (the track's length included) to be written over them, or
// header_known, when given, goes out at once in their place (for an output
// that cannot seek, from a first run that only counted).
struct MidiStreamResult {
  bool endless = false;   // the song went on beyond max_ticks
  bool cut = false;       // the file reached the bytes a track chunk can count
  bool too_long = false;  // and went past them even so: the file is no file
  bool write_failed = false;
};
using ByteWriter = std::function<bool(std::string_view bytes)>;
MidiStreamResult StreamSongMidiFile(Sequencer& song, int64_t max_ticks, int64_t start_tick,
                                    const ByteWriter& write, std::string* header,
                                    const std::string& header_known = "",
                                    uint64_t track_limit = kMaxMidiTrackBytes);

// The song's messages as a Standard MIDI File in memory, as
// StreamSongMidiFile makes it; the sequencer's sink is left as it was.
// *endless: the song went on beyond max_ticks. A song started later
// (start_tick > 1) begins the file at its start tick.
std::string BuildSongMidiFile(Sequencer& song, int64_t max_ticks, bool* endless = nullptr,
                              int64_t start_tick = 1);

#endif  // QUERN_PLAYER_SONG_EXPORT_H_
