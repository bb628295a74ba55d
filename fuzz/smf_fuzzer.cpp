// A Standard MIDI File: read, and when it reads, written as a score that
// must compile without errors.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compiler/driver/driver.h"
#include "import/score_writer.h"
#include "import/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool set_up = SetUpCompiler();
  if (!set_up) return 0;
  SmfSong song;
  std::string error;
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  if (!ReadSmf(file, &song, &error)) {
    if (error.find("byte offset ") == std::string::npos) std::abort();  // every fault names its place
    return 0;
  }
  for (int grid : {0, 16}) {
    const ImportResult result = WriteScore(song, "fuzz", ImportOptions{grid});
    if (CompileScore(result.score.c_str()) > 2) {
      std::fprintf(stderr, "%s\n", result.score.c_str());
      std::abort();
    }
  }
  return 0;
}
