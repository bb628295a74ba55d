// Message operations: the sequencer's requests turned into MIDI bytes on the
// current output, and the song-time values the sequencer sets (tempo and
// resolution).
//
// Channels are 0 to 15; data values go out as their low byte, unchanged.
// Templates are a length byte n and n bytes with 253-escapes:
//   253 0 the byte 253; 253 1 reset the checksum; 253 2 insert the checksum
//   ((-sum) mod 128); 253 3 the value's low byte; 253 other: nothing.
//   Any other byte 128..239 gets the channel in its low four bits.
// Every appended byte, checksums included, adds to the running checksum.
#ifndef QUERN_PLAYER_MESSAGES_H_
#define QUERN_PLAYER_MESSAGES_H_

#include <cstddef>
#include <cstdint>

// The attribute definition list: entry k is the template of attribute 131+k.
// Set by LoadSong; entries are pointers to the length byte of each template,
// each checked to lie wholly inside the image.
void SetAttributeTemplates(const uint8_t* const* entries, int count);

void SendNoteOn(int channel, int note, int velocity);
void SendNoteOff(int channel, int note);
// Bank select when bank <= 16383, then the program change when program < 128.
void SendProgram(int channel, int program, int bank);
// 0..127 control change; 128 tempo; 129 nothing; 130 pitch bend (value as
// the most significant byte); 131..255 the attribute's template.
void SendAttribute(int channel, int number, int value);
// Builds the template (length byte first) into a long message and sends it;
// the ready flag is false until the output reports it done.
void SendTemplate(int channel, const uint8_t* tmpl, int value);

// Builds the long message of a template into out (room for 255 bytes);
// returns its length.
int BuildTemplateMessage(const uint8_t* tmpl, int channel, int value, uint8_t* out);

// Song time. The resolution is ticks per whole note (1..65535; 192 before any
// song); the tempo quarter notes per minute (120 at every start, taken as at
// least 1). Tick length = 240000 / (tempo * resolution) milliseconds.
void SetSongResolution(int ticks_per_whole_note);
int SongResolution();
void SetTempo(int quarters_per_minute);
int CurrentTempo();
double TickLengthMs();

// The ready flag: true while no long message is in flight. The output's
// completion callback calls MarkLongMessageDone.
bool OutputReady();
void MarkLongMessageDone();

#endif  // QUERN_PLAYER_MESSAGES_H_
