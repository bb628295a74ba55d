// Stub until this group of subcommands is built.
#include <cstdio>

#include "app/quern/cli.h"

int RunPlay(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunTrace(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunExport(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunRender(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

int RunPorts(const Args&) {
  std::fprintf(stderr, "quern: not available yet\n");
  return 2;
}

