// What two read Standard MIDI Files send, compared: the measure of the
// import's exactness (its tests and the smf fuzz target use it).
//
// In: two SmfSongs (smf_reader.h).
// Out: an empty string when they send the same, else what differs first.
// The same means: the same division; for every channel and key the same
// note-ons (with their velocities) and note-offs in the same order at the
// same ticks (a note-off is a note-off, whatever its form); for every
// controller of a channel, a channel's program, pitch bend and pressure and
// a key's pressure the same messages in order at the same ticks; the same
// System Exclusive messages and escapes in order at the same ticks (the
// bytes of one tick taken together: a message sent in parts is the same
// message); and the
// same tempo map (the last tempo of a tick, where it changes). The order of
// things that do not act on one another (two keys, two controllers) is free.
// Thread: any.
#ifndef QUERN_IMPORT_SMF_COMPARE_H_
#define QUERN_IMPORT_SMF_COMPARE_H_

#include <string>

#include "import/smf_reader.h"

std::string FirstDifference(const SmfSong& a, const SmfSong& b);

#endif  // QUERN_IMPORT_SMF_COMPARE_H_
