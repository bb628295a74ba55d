// A score: compiled, and when it compiles without errors, loaded and run
// for a bounded number of ticks.
#include <string>

#include "compiler/driver/driver.h"
#include "fuzz_support.h"
#include "player/sequencer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool set_up = SetUpCompiler();
  if (!set_up) return 0;
  // The compiler takes zero-terminated text, as the command line gives it.
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (CompileScore(text.c_str()) > 2) return 0;
  // The sequencer reads the image in place: keep a copy of exactly its size.
  const std::string image(reinterpret_cast<const char*>(SongImageBegin()), SongImageLength());
  if (FuzzSequencer().Load(reinterpret_cast<const uint8_t*>(image.data()), image.size())) {
    RunLoadedSong(kFuzzTicks);
  }
  return 0;
}
