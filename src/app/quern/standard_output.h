// Standard output of the quern commands, checked: a report, a trace or a
// listing that does not reach its reader is a failure, never a success.
//
// In: what a command writes to standard output through stdio.
// Out: FinishStandardOutput flushes and closes standard output once the
//   command is done. When a write failed on the way (a full disk, /dev/full,
//   a closed descriptor) or the flush or close fails, it says so on standard
//   error, "quern COMMAND: cannot write standard output: REASON", and gives
//   exit status 2; otherwise the command's own status. A closed standard
//   output that nothing was written to is no failure.
// HoldClosedStandardStreams, first thing in main: a standard descriptor
//   that is closed is held by /dev/null opened the wrong way round, so that
//   no file the command opens takes its number (and gets its output), and a
//   write to it still fails.
// StandardOutputFailed tells a command that writes much (trace, map) to
//   stop early; FlushStandardOutput flushes before a message on standard
//   error. Both keep the reason of the first failure for the message.
// Threads: the main thread.
#ifndef QUERN_APP_QUERN_STANDARD_OUTPUT_H_
#define QUERN_APP_QUERN_STANDARD_OUTPUT_H_

#include <string>

void HoldClosedStandardStreams();

// True once a write to standard output has failed.
bool StandardOutputFailed();

// fflush(stdout); false when standard output has failed.
bool FlushStandardOutput();

// The exit status after standard output is flushed and closed: status, or
// 2 (with the message) when standard output failed. An empty command names
// the program itself.
int FinishStandardOutput(const std::string& command, int status);

#endif  // QUERN_APP_QUERN_STANDARD_OUTPUT_H_
