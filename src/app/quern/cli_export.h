// quern export's file: the song streamed into a Standard MIDI File through
// the atomic writer, the chunk lengths filled in at the end, so memory stays
// the same however long the song is.
//
// In: a sequencer with the song loaded and moved to its start, the output
//   path, the tick bound and the start tick; restart puts the song back
//   where it was loaded (for an output that cannot seek, such as a pipe:
//   the song is then run once to count its bytes and once to write them).
// Out: 0 with the file in place, or 2 after a message on standard error
//   (the output cannot be written, the song is too long for a MIDI file);
//   nothing is replaced then. *endless: the song goes on beyond the bound.
//   A song cut at the 4 GB a MIDI file can count is said on standard error
//   and written up to the cut.
// Threads: the caller's.
#ifndef QUERN_APP_QUERN_CLI_EXPORT_H_
#define QUERN_APP_QUERN_CLI_EXPORT_H_

#include <cstdint>
#include <functional>
#include <string>

class Sequencer;

int ExportSongMidiFile(Sequencer& song, const std::string& path, int64_t max_ticks,
                       int64_t start_tick, const std::function<void(Sequencer&)>& restart,
                       bool* endless);

#endif  // QUERN_APP_QUERN_CLI_EXPORT_H_
