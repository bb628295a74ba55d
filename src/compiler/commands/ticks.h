// Tick arithmetic of the score commands, internal to them.
//
// Track times are signed 32-bit tick counts from the start of the track.
// Nested loops of 255 passes can multiply a body far beyond that range, so
// every sum that moves a time is taken in 64 bits and held in 0..INT32_MAX
// instead of wrapping around. A track that would run past INT32_MAX ticks
// cannot keep its times: the first such sum of a track reports an error, so
// that the song is never played with its later notes piled up at one tick.
#ifndef QUERN_COMPILER_COMMANDS_TICKS_H_
#define QUERN_COMPILER_COMMANDS_TICKS_H_

#include <cstdint>

struct CompileContext;

int32_t ClampTicks(CompileContext& cc, int64_t ticks);

#endif  // QUERN_COMPILER_COMMANDS_TICKS_H_
