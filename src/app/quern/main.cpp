// quern: compile, inspect, play and convert scores from the command line.
#include <cstdio>
#include <cstring>

#include "app/quern/cli.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const Args&);
  const char* usage;
};

// RANGE: where to start and stop, and which tracks to hear.
#define QUERN_RANGE                                                                \
  "[--from LINE:COL|--from-tick N] [--to LINE:COL|--to-tick N] [--mute NAME,...] " \
  "[--solo NAME,...]"

constexpr Subcommand kSubcommands[] = {
    {"compile", RunCompile,
     "compile SCORE [-o OUT.xrt] [--encoding auto|cp932|utf-8] [--report-encoding utf-8|cp932]"},
    {"tokens", RunTokens, "tokens SCORE"},
    {"events", RunEvents, "events SCORE"},
    {"play", RunPlay,
     "play SCORE|SONG.xrt [--output synth|alsa:PORT|none] [--soundfont FILE] [--interval "
     "MS] " QUERN_RANGE},
    {"trace", RunTrace, "trace SCORE|SONG.xrt [--ticks N] " QUERN_RANGE},
    {"export", RunExport, "export SCORE|SONG.xrt -o OUT.mid " QUERN_RANGE},
    {"render", RunRender, "render SCORE|SONG.xrt -o OUT.wav [--soundfont FILE] " QUERN_RANGE},
    {"map", RunMap, "map SCORE"},
    {"ports", RunPorts, "ports"},
    {"html", RunHtml, "html [--form 1|2] FILE"},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Subcommand& s : kSubcommands) std::fprintf(stderr, "  quern %s\n", s.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const Subcommand& s : kSubcommands) {
    if (std::strcmp(argv[1], s.name) == 0) return s.run(Args(argv + 2, argv + argc));
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "quern: unknown command '%s'\n", argv[1]);
  return Usage();
}
