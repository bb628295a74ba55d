// Tick arithmetic of the score commands, internal to them.
//
// Track times are signed 32-bit tick counts from the start of the track.
// Nested loops of 255 passes can multiply a body far beyond that range, so
// every sum that moves a time is taken in 64 bits and held in 0..INT32_MAX
// instead of wrapping around.
#ifndef QUERN_COMPILER_COMMANDS_TICKS_H_
#define QUERN_COMPILER_COMMANDS_TICKS_H_

#include <cstdint>
#include <limits>

inline int32_t ClampTicks(int64_t ticks) {
  if (ticks < 0) return 0;
  if (ticks > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(ticks);
}

#endif  // QUERN_COMPILER_COMMANDS_TICKS_H_
