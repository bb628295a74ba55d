// The options of the player commands (play, trace, export, render, map and
// roll), parsed from the arguments after the command's name.
//
// In: the command's name, its arguments and the set of options it takes.
// Out: Options, or the usage error status 2 once the one-line usage error is
//   printed (an unknown option, a wrong value, a missing input or output,
//   two options that give the same end of the range).
// Ticks count from the song's start, tick 1 being its first: --ticks N
//   bounds every command at tick N, and --from-tick, --to-tick and the ticks
//   of --from and --to are counted the same way.
// Threads: the caller's.
#ifndef QUERN_APP_QUERN_CLI_OPTIONS_H_
#define QUERN_APP_QUERN_CLI_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/quern/cli.h"
#include "compiler/song/source_map.h"

// The bound when --ticks is not given (play has none: it plays to the end).
constexpr int64_t kDefaultMaxTicks = 1000000;
// The highest tick an option takes.
constexpr int64_t kMaxOptionTick = 1000000000;

struct Options {
  std::string input;
  std::string output_file;  // -o
  std::string output = "synth";
  std::string soundfont;
  int interval = 4;
  int64_t max_ticks = kDefaultMaxTicks;  // 0: no bound
  // Where to start and stop, and which tracks to hear.
  int64_t from_tick = 0;  // 0: from the start
  int64_t to_tick = 0;    // 0: to the end
  SourcePlace from, to;   // line -1: not given
  std::vector<std::string> mute, solo;
  int width = 1600;    // roll: the picture's width in pixels
  bool watch = false;  // play: swap in each good save of the score
};

// Which options a command takes.
enum OptionSet {
  kTicks = 1,
  kOutputFile = 2,
  kDevice = 4,
  kSoundFont = 8,
  kInterval = 16,
  kRange = 32,
  kWidth = 64,
  kWatch = 128,
};

// Returns 0, or 2 after the usage error. Options already set in *o (such as
// a command's own default bound) stay unless an argument changes them.
int ParseOptions(const char* command, const Args& args, int allowed, Options* o);

// A decimal number from low to high, of at most 12 digits.
bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* value);

// Whether the input is loaded as a song image (.xrt, in any case) rather
// than compiled.
bool IsSongImagePath(const std::string& path);

#endif  // QUERN_APP_QUERN_CLI_OPTIONS_H_
