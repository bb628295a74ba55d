// Score writer: a read Standard MIDI File becomes score text that a person
// could have written, and that compiles back to the same MIDI events at the
// same ticks.
//
// In: an `SmfSong` (smf_reader.h), the file's base name for a missing
//   title, and `ImportOptions` (an optional grid).
// Out: `ImportResult`: the score as UTF-8 text (the caller chooses the
//   encoding of the file) and the report lines for the user: tracks, notes,
//   and everything moved, changed or left out.
// Layout: one score track per MIDI track and channel (a second one on the
//   same channel where notes of one key overlap), one bar per line following
//   the time signatures, repeated bars as loops, the most common length as
//   the track's default length, relative octaves, velocity written where it
//   changes and a note's sounding time only where it differs from its step.
// Exactness: without a grid every event keeps its tick; lengths that are no
//   plain note value are joined from exact terms with "^". What the language
//   cannot hold (a zero-length note, a note longer than the longest length,
//   a System Exclusive message over 255 bytes, a tempo that is no whole
//   number of quarters a minute) is changed or left out and counted.
// Thread: any; no state outside the call.
#ifndef QUERN_IMPORT_SCORE_WRITER_H_
#define QUERN_IMPORT_SCORE_WRITER_H_

#include <string>
#include <vector>

#include "import/smf_reader.h"

struct ImportOptions {
  int grid = 0;  // 0 keeps every tick; N moves note starts and ends to 1/N notes
};

struct ImportResult {
  std::string score;                // UTF-8
  std::vector<std::string> report;  // one line each, without line ends
  int resolution = 0;
  int tracks = 0;
  int notes = 0;
  int notes_with_tick_lengths = 0;  // notes whose written lengths are joined tick terms
  int moved = 0;                    // note starts and ends moved by the grid
  int largest_move = 0;             // in score ticks
};

ImportResult WriteScore(const SmfSong& song, const std::string& file_title,
                        const ImportOptions& options);

#endif  // QUERN_IMPORT_SCORE_WRITER_H_
