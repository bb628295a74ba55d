// A Standard MIDI File: read, and when it reads, written as a score that
// must compile without errors; when the import says it is exact, the score
// played by the sequencer and exported must send what the file sent.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compiler/driver/driver.h"
#include "import/score_writer.h"
#include "import/smf_compare.h"
#include "import/smf_reader.h"
#include "player/sequencer.h"
#include "player/song_export.h"

namespace {

// Songs longer than this are not played back (a tick costs time even when
// nothing happens in it).
constexpr int64_t kLongestPlayback = 1 << 18;

// The song of an exact import, exported and read again, must send the same.
void CheckPlayedBack(const SmfSong& song, const ImportResult& result) {
  if (result.end_tick > kLongestPlayback) return;
  Compilation compilation;
  if (!compilation.SetUp() || compilation.Compile(result.score.c_str()) > 2) std::abort();
  Sequencer sequencer;
  if (!sequencer.Load(compilation.ImageBegin(), compilation.ImageLength())) std::abort();
  const std::string file = BuildSongMidiFile(sequencer, 2 * kLongestPlayback);
  if (!sequencer.Finished()) std::abort();
  SmfSong back;
  std::string error;
  if (!ReadSmf(file, &back, &error)) std::abort();
  const std::string difference = FirstDifference(song, back);
  if (!difference.empty()) {
    std::fprintf(stderr, "%s\n%s\n", difference.c_str(), result.score.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SmfSong song;
  std::string error;
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  if (!ReadSmf(file, &song, &error)) {
    if (error.find("byte offset ") == std::string::npos)
      std::abort();  // every fault names its place
    return 0;
  }
  for (int grid : {0, 16}) {
    const ImportResult result = WriteScore(song, "fuzz", ImportOptions{grid});
    if (!result.compiles) {
      std::fprintf(stderr, "%s\n", result.score.c_str());
      std::abort();
    }
    if (grid == 0 && result.exact) CheckPlayedBack(song, result);
  }
  return 0;
}
