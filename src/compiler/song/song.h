// Track stream compiler and song image.
//
// In: the compilation (compilation.h) with one track's final event records
//   in its event table and the loop records they refer to (both owned by this
//   stage, events.h); the resolution; for the image, the three song lists.
// Out: the track stream byte code (see bytecode.h) and the song image: a
//   14-byte header, one sized entry per track, a zero word and three lists;
//   both buffers are this stage's SongPart of the compilation.
// Reports unclosed loops and the values the format cannot hold.
#ifndef QUERN_COMPILER_SONG_SONG_H_
#define QUERN_COMPILER_SONG_SONG_H_

#include <cstdint>

#include "compiler/driver/work_areas.h"

struct CompileContext;

// The song stage's buffers in a compilation.
struct SongPart {
  ByteBuffer stream;  // the track stream CompileTrackStream writes
  ByteBuffer image;
};

// Settles loop number n after its track was parsed: unclosed, count 0, a
// single pass with a break, an empty body.
void CheckLoop(CompileContext& cc, int loop_number);
// Every void record takes the time of the record that follows it.
void SettleVoidTimes(CompileContext& cc);
// Translates the working list into the track stream, whose length register
// starts at resolution / 4; returns the stream's length.
int CompileTrackStream(CompileContext& cc, uint16_t resolution);
const ByteBuffer& TrackStream(const CompileContext& cc);

void BeginSongImage(CompileContext& cc, uint16_t resolution);
void AppendTrackStream(CompileContext& cc);
// Ends the image with the three song lists: attribute templates, direct-out
// templates and gradual-change records.
void FinishSongImage(CompileContext& cc, const StringTable& definitions,
                     const StringTable& direct_out, const StringTable& gradual);
const ByteBuffer& SongImage(const CompileContext& cc);
// Empties the track stream and song image buffers.
void ResetSongBuffers(CompileContext& cc);

#endif  // QUERN_COMPILER_SONG_SONG_H_
