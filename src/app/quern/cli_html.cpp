// Stub until this group of subcommands is built.
#include <cstdio>

#include "app/quern/cli.h"

int RunHtml(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

