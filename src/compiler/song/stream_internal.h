// Internal to the track stream compiler and the song image, and their tests.
#ifndef QUERN_COMPILER_SONG_STREAM_INTERNAL_H_
#define QUERN_COMPILER_SONG_STREAM_INTERNAL_H_

class ByteBuffer;
struct LoopRecord;

// Where CheckLoop and CompileTrackStream find loop records: the loop table of
// the score commands (LoopAt) unless another source is installed. Tests
// install a table of their own to drive the stage without parsing a score.
using LoopSource = LoopRecord* (*)(int number);
// nullptr restores LoopAt.
void SetLoopSource(LoopSource source);

// The track stream buffer that CompileTrackStream fills.
ByteBuffer& TrackStreamBuffer();

#endif  // QUERN_COMPILER_SONG_STREAM_INTERNAL_H_
