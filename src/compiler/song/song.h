// Track stream compiler and song image.
//
// In: one track's final event records (TrackEvents()) and its loop records;
//   the three song lists.
// Out: the track stream byte code (see bytecode.h) and the song image: a
//   14-byte header, one sized entry per track, a zero word and three lists.
// Reports unclosed loops and the values the format cannot hold.
#ifndef QUERN_COMPILER_SONG_SONG_H_
#define QUERN_COMPILER_SONG_SONG_H_

#include <cstdint>

class ByteBuffer;

// Settles loop number n after its track was parsed: unclosed, count 0, a
// single pass with a break, an empty body.
void CheckLoop(int loop_number);
// Every void record takes the time of the record that follows it.
void SettleVoidTimes();
// Translates the working list into the track stream; returns its length.
int CompileTrackStream();
const ByteBuffer& TrackStream();

void BeginSongImage(uint16_t resolution);
void AppendTrackStream();
void FinishSongImage();
const ByteBuffer& SongImage();
// Empties the track stream and song image buffers.
void ResetSongBuffers();

#endif  // QUERN_COMPILER_SONG_SONG_H_
