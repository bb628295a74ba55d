// quern: compile, inspect, play and convert scores from the command line.
#include <cstring>
#include <string>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "app/quern/standard_output.h"
#include "files/signal_cleanup.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const Args&);
};

constexpr Subcommand kSubcommands[] = {
    {"compile", RunCompile}, {"tokens", RunTokens}, {"events", RunEvents}, {"play", RunPlay},
    {"trace", RunTrace},     {"export", RunExport}, {"render", RunRender}, {"map", RunMap},
    {"ports", RunPorts},     {"roll", RunRoll},     {"html", RunHtml},     {"import", RunImport},
    {"lsp", RunLsp},
};

// Runs the command the arguments name; its exit status.
int RunCommand(int argc, char** argv, std::string* command) {
  if (argc < 2) {
    PrintUsageLines();
    return 2;
  }
  const std::string first = argv[1];
  const Args rest(argv + 2, argv + argc);
  for (const Subcommand& s : kSubcommands) {
    if (first != s.name) continue;
    *command = first;
    if (WantsHelp(rest)) {
      PrintCommandHelp(first);
      return 0;
    }
    return s.run(rest);
  }
  if (first == "--help" || first == "-h" || first == "help") {
    if (first == "help" && !rest.empty()) {
      if (!IsKnownCommand(rest[0]))
        return ReportUsageError("", "unknown command '" + rest[0] + "'");
      PrintCommandHelp(rest[0]);
    } else {
      PrintProgramHelp();
    }
    return 0;
  }
  if (first == "--version") {
    PrintVersion();
    return 0;
  }
  if (first.size() > 1 && first[0] == '-') {
    return ReportUsageError("", "unknown option '" + first + "'");
  }
  return ReportUsageError("", "unknown command '" + first + "'");
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardStreams();
  // An interrupted command leaves no temporary file behind.
  RemoveTemporariesOnSignals();
  std::string command;
  const int status = RunCommand(argc, argv, &command);
  return FinishStandardOutput(command, status);
}
