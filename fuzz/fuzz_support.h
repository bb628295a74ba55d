// Helpers the fuzz targets share: a bounded run of the loaded song through
// a recording output.
//
// In: a song already loaded with LoadSong.
// Out: nothing; the run must end without a crash, a hang or unbounded
//   memory. The recorder keeps the text of the latest messages only, so a
//   song that floods messages cannot grow the process without bound.
#ifndef QUERN_FUZZ_FUZZ_SUPPORT_H_
#define QUERN_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>

// libFuzzer's entry point, also called by the replay driver.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Ticks a fuzzed song runs for: enough for loops, phases and gradual
// changes to turn over several times, few enough to keep runs fast.
inline constexpr int kFuzzTicks = 4000;

// Runs the loaded song for up to ticks ticks (or until it ends), then the
// stop step, with every message formatted as a trace line.
void RunLoadedSong(int ticks);

#endif  // QUERN_FUZZ_FUZZ_SUPPORT_H_
