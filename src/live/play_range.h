// Play ranges: the ticks that "play from the caret", "play to the caret" and
// "play the selection" stand for, found by running the song silently and
// matching each struck note against the source map.
//
// In: a song image with the source map of the same compilation, and places
//   in the score (line and byte column as the report counts them).
// Out: start and stop ticks for SequencerSeek and SetStopTick; -1 when no
//   note lies at or after the caret (the caller reports it).
// A note counts for a caret when its own place, or one of its macro call
// sites, lies at or after the caret on a line of the caret's context: on a
// track line or its continuations, any line of that track; on a macro or
// common line (or its continuations), that line. A caret on a line of no
// context (a comment, a header, a blank line) stands for the start of the
// next line that has one.
//
// Scanning runs the image on a sequencer of its own: whatever plays goes on
// undisturbed, and nothing is sent on the way.
#ifndef QUERN_LIVE_PLAY_RANGE_H_
#define QUERN_LIVE_PLAY_RANGE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "compiler/song/source_map.h"
#include "player/sequencer.h"

// The default bound of a scan: songs that go on beyond it (endless loops)
// are searched that far.
constexpr int64_t kScanTicks = 1000000;

// Runs the image silently from its start, handing each struck note to
// on_note until it returns false, the song ends or max_ticks have run.
// Returns false when the image is not a song. *at_bound (when given): the
// scan stopped at max_ticks with the song still going, so notes may follow.
bool ScanStruckNotes(const uint8_t* image, size_t size, int64_t max_ticks,
                     const std::function<bool(const StruckNote&)>& on_note,
                     bool* at_bound = nullptr);

// Whether a note written at `note` is at or after `caret` in its context; with
// `end` (line >= 0), also before `end`.
bool NoteFromCaret(const SourceMap& map, const NoteSource& note, SourcePlace caret,
                   SourcePlace end = SourcePlace{});

// The tick at which the first note at or after the caret is struck, up to
// tick max_ticks; -1 when there is none. *at_bound as for ScanStruckNotes.
int64_t TickFromCaret(const uint8_t* image, size_t size, const SourceMap& map, SourcePlace caret,
                      int64_t max_ticks = kScanTicks, bool* at_bound = nullptr);

struct TickRange {
  int64_t start = -1;  // -1: no note in the selection
  int64_t stop = 0;    // the tick at which the last note has ended
};
// The notes written in [from, to) in from's context, first pass each: from
// the tick the first is struck to the tick the last one ends.
TickRange SelectionTicks(const uint8_t* image, size_t size, const SourceMap& map, SourcePlace from,
                         SourcePlace to, int64_t max_ticks = kScanTicks);

#endif  // QUERN_LIVE_PLAY_RANGE_H_
