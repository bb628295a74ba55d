// Help, usage and version texts of the quern command line, and the one-line
// usage errors every subcommand prints.
//
// In: a command name, or nothing for the program as a whole.
// Out: help on standard output (the caller exits 0); usage lines and usage
//   errors on standard error (the caller exits 2).
// Nothing here can fail: an unknown command name is itself a usage error.
#ifndef QUERN_APP_QUERN_HELP_H_
#define QUERN_APP_QUERN_HELP_H_

#include <string>

#include "app/quern/cli.h"

// The program's version, from the build's project version.
const char* QuernVersion();

// True when the arguments ask for help: "--help" or "-h" among them.
bool WantsHelp(const Args& args);

// True when command is a subcommand that has a help text.
bool IsKnownCommand(const std::string& command);

// "quern --help": what the program does, its commands, exit statuses.
void PrintProgramHelp();
// "quern COMMAND --help": the command's usage, what it does, its options.
void PrintCommandHelp(const std::string& command);
// "quern --version".
void PrintVersion();
// One "usage:" line per command, on standard error.
void PrintUsageLines();

// Prints "quern COMMAND: PROBLEM (see 'quern COMMAND --help')" as one line on
// standard error and returns the usage error status, 2. An empty command
// names the program itself.
int ReportUsageError(const std::string& command, const std::string& problem);

#endif  // QUERN_APP_QUERN_HELP_H_
