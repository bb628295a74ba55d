// Standard MIDI File writer: the messages of an offline run as one track
// (format 0) that any MIDI player plays as the player plays the song.
//
// In: recorded messages (tick from 1, bytes or tempo) and the song's
//   resolution (ticks per whole note, 1 to 65535).
// Out: the file's bytes. Song tick k lies at file time (k - 1) * s. The
//   file's division is ticks per quarter note, at most 32767: resolution / 4
//   when 4 divides it (s = 1); otherwise the resolution itself (s = 4) up to
//   32767, half of it (s = 2) for an even one above. An odd resolution above
//   32767 has no exact division: the division is the nearest whole quarter
//   (s = 1) and every tempo is scaled to it, so that times stay within a
//   microsecond per quarter. The file starts with tempo 120; tempo changes
//   become tempo events (a tempo below 1 is taken as 1). Long messages
//   framed by F0 ... F7 become System Exclusive events, the channel messages
//   of other long messages channel events, and any bytes left over an F7
//   escape. Data bytes are written as their low seven bits.
#ifndef QUERN_PLAYER_MIDI_FILE_H_
#define QUERN_PLAYER_MIDI_FILE_H_

#include <string>
#include <vector>

#include "player/midi_output.h"

std::string BuildMidiFile(const std::vector<RecordedMessage>& messages, int resolution);

#endif  // QUERN_PLAYER_MIDI_FILE_H_
