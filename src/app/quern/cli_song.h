// The song a player command works on, and its range options resolved
// against it.
//
// In: the input path (a score is compiled, a .xrt file is loaded byte for
//   byte) and the parsed options (cli_options.h).
// Out: the song's image, with the source map and the tracks' whole names
//   when it was compiled from a score; the range as ticks and track indices.
// What can go wrong, each said on standard error with its exit status: a
//   file that cannot be read (2), a score with errors (1), an image that is
//   not a song (2); a caret with no note after it, a start at or past the
//   --ticks bound, an end at or before the start, a track name that names no
//   track or several (usage errors, 2). All of them are found before the
//   song is moved to its start, so a refused range costs no seek.
// Threads: the caller's; the compiler is the process's default compilation.
#ifndef QUERN_APP_QUERN_CLI_SONG_H_
#define QUERN_APP_QUERN_CLI_SONG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/quern/cli_options.h"
#include "compiler/song/source_map.h"
#include "player/sequencer.h"

struct LoadedSong {
  std::vector<uint8_t> image;  // the sequencer reads it in place
  SourceMap map;
  bool have_map = false;                 // compiled from a score
  std::vector<std::string> track_names;  // whole names, when compiled
};

// The range and track switches resolved against the loaded song.
struct LiveRange {
  int64_t start = 0;  // 0: from the start
  int64_t stop = 0;   // 0: to the end
  std::vector<int> mute, solo;
  // The whole names of those tracks, for a song that takes over later.
  std::vector<std::string> mute_names, solo_names;
};

// Reads a .xrt file or compiles a score into *loaded and loads it into
// song. Returns 0, or the exit status after printing why not.
int LoadInput(const std::string& path, LoadedSong* loaded, Sequencer& song);

// Resolves the range options: carets to ticks through the source map
// (searched up to the --ticks bound), track names to track indices.
// Returns 0, or the exit status after printing why not.
int ResolveRange(const char* command, const Options& o, const LoadedSong& loaded, LiveRange* range);

// Moves the song just loaded to the range's start and sets its stop tick,
// mute and solo.
void ApplyRange(const LiveRange& range, Sequencer& song);

#endif  // QUERN_APP_QUERN_CLI_SONG_H_
