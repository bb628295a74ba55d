// Stub until this group of subcommands is built.
#include <cstdio>

#include "app/quern/cli.h"

int RunCompile(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunTokens(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunEvents(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

