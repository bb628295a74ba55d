// Any bytes as a song image: loaded and, when the loader takes them, run for
// a bounded number of ticks.
#include <vector>

#include "fuzz_support.h"
#include "player/sequencer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized copy, so that a read past the image is caught.
  const std::vector<uint8_t> image(data, data + size);
  if (FuzzSequencer().Load(image.data(), image.size())) RunLoadedSong(kFuzzTicks);
  return 0;
}
