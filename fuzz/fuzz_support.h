// Helpers the fuzz targets share: a sequencer of their own and a bounded run
// of its song through a recording sink.
//
// In: a song loaded into FuzzSequencer().
// Out: nothing; the run must end without a crash, a hang or unbounded
//   memory. The recorder keeps the text of the latest messages only, so a
//   song that floods messages cannot grow the process without bound.
#ifndef QUERN_FUZZ_FUZZ_SUPPORT_H_
#define QUERN_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>

class Sequencer;

// libFuzzer's entry point, also called by the replay driver.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Ticks a fuzzed song runs for: enough for loops, phases and gradual
// changes to turn over several times, few enough to keep runs fast.
inline constexpr int kFuzzTicks = 4000;

// The sequencer the targets load their songs into, made once (its tables
// are large) and sending to the bounded recorder.
Sequencer& FuzzSequencer();

// Runs the song loaded into FuzzSequencer() for up to ticks ticks (or until
// it ends), then the stop step, with every message formatted as a trace
// line.
void RunLoadedSong(int ticks);

#endif  // QUERN_FUZZ_FUZZ_SUPPORT_H_
