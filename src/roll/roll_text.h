// Roll facts: the words and colours a piano roll shows for a note, shared by
// the SVG picture and the editor's roll so that both say the same.
//
// In: a roll model (roll_model.h) and one of its notes, or a key or a tick.
// Out: plain ASCII text (track names are given as they should be shown) and
//   "#rrggbb" colours. Nothing can fail; any thread.
#ifndef QUERN_ROLL_ROLL_TEXT_H_
#define QUERN_ROLL_ROLL_TEXT_H_

#include <cstdint>
#include <string>

#include "roll/roll_model.h"

// A note's name with its octave in the score's numbering, where o4 c is key
// 60: "c4", "f+3", "c-1" for key 0, "b9" for key 131.
std::string RollNoteName(int key);
// Whether the key is a black one on a keyboard (an accidental of c major).
bool RollIsBlackKey(int key);
// "bar:beat" of a tick (the first tick is 1:1) for a bar of bar_ticks ticks
// and beats of a quarter note.
std::string RollBarBeat(int64_t tick, int bar_ticks, int resolution);
// A track's colour as "#rrggbb" and as 0xRRGGBB: the same for the same
// index everywhere.
std::string RollTrackColour(int track);
uint32_t RollTrackRgb(int track);
// What a note is, on one line: its track, name, bar:beat (from its own
// track's bar length), length in ticks, velocity and the place it was
// written at, line:col counted from 0 as the compiler's report counts them,
// followed by " < line:col" for each macro call site it came through,
// innermost first: "A d4 1:2 length 48 velocity 100 line 0:4 < 1:9".
std::string RollNoteTitle(const RollModel& model, const RollNote& note,
                          const std::string& track_name);
// The name the model gives a track, or its number from 1 when it has none.
std::string RollTrackName(const RollModel& model, int track);

#endif  // QUERN_ROLL_ROLL_TEXT_H_
