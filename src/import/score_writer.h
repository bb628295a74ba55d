// Score writer: a read Standard MIDI File becomes score text that a person
// could have written, and that compiles back to the same MIDI events at the
// same ticks.
//
// In: an `SmfSong` (smf_reader.h), the file's base name for a missing
//   title, and `ImportOptions` (an optional grid).
// Out: `ImportResult`: the score as UTF-8 text (the caller chooses the
//   encoding of the file) and the report lines for the user: tracks, notes,
//   and everything moved, changed or left out.
// Layout: one score track per MIDI track and channel (joined by channel when
//   a file has more than 63 of them; a track too long for one stream is cut
//   into tracks that take turns in time), one bar per line following the
//   time signatures, texts and markers as comments, runs of up to sixteen
//   bars that repeat as loops (the key signature's "ks" in the text),
//   the most common length as the track's default length, relative octaves
//   in the key signature, velocity written where it changes, a note's
//   sounding time only where it differs from its step, runs of values that a
//   gradual change sends as one.
// Exactness: without a grid every note-on and note-off keeps its tick and
//   its order among those of its channel and key, and every other message
//   its tick and its order among those of its kind; lengths that are no
//   plain note value are joined from exact terms with "^". Notes the player
//   would release otherwise than the file does (notes of one key that
//   overlap, a note of length 0, notes longer than the longest length, more
//   notes at once than the player schedules) are written held ("hit") with
//   their note-offs sent through a template. What the language cannot hold
//   (a tempo that is no whole number of quarters a minute, more byte lists
//   than a song holds, a division whose resolution does not fit) is changed
//   or left out and counted; `exact` says that nothing was. A song that
//   needs more tracks than a score holds is written all the same and does
//   not compile: the report says why.
// The score is compiled before it is handed out: that measures the tracks'
//   streams and tells whether it compiles (it always should; `compiles` and
//   `compiler_messages` say otherwise).
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
  int notes = 0;                    // in the song
  int written_notes = 0;            // in the score's text (a loop's body counts once)
  int notes_with_tick_lengths = 0;  // written notes whose lengths are joined tick terms
  int moved = 0;                    // note starts and ends moved by the grid
  int largest_move = 0;             // in score ticks
  int64_t end_tick = 0;             // where the song's last event is
  bool exact = false;               // every event comes back as it was (nothing above changed)
  bool compiles = true;
  std::vector<std::string> compiler_messages;  // of the written score, when it has any
};

// The song is taken by value (move it in): its events are let go as soon as
// they are read into the plan, so that planning and writing reuse their
// memory.
ImportResult WriteScore(SmfSong song, const std::string& file_title, const ImportOptions& options);

#endif  // QUERN_IMPORT_SCORE_WRITER_H_
