#include "app/quern/standard_output.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The reason of the first failed write to standard output, once seen.
int g_reason = 0;

bool NoteFailure() {
  if (std::ferror(stdout) == 0) return false;
  if (g_reason == 0) g_reason = errno;
  return true;
}

}  // namespace

void HoldClosedStandardStreams() {
  // Reading descriptor 0 and writing 1 and 2 fail on these: EBADF.
  const int modes[] = {O_WRONLY, O_RDONLY, O_RDONLY};
  for (int fd = 0; fd < 3; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/dev/null", modes[fd]);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

bool StandardOutputFailed() {
  return NoteFailure();
}

bool FlushStandardOutput() {
  errno = 0;
  std::fflush(stdout);
  return !NoteFailure();
}

int FinishStandardOutput(const std::string& command, int status) {
  const bool pending = __fpending(stdout) != 0;
  errno = 0;
  const bool failed_before = NoteFailure();
  errno = 0;
  const bool close_failed = std::fclose(stdout) != 0;
  const int reason = g_reason != 0 ? g_reason : errno;
  // Closing a standard output that was closed from the start fails with
  // EBADF; that matters only when there was something to write.
  if (!failed_before && !(close_failed && (pending || reason != EBADF))) return status;
  const std::string who = command.empty() ? "quern" : "quern " + command;
  std::fprintf(stderr, "%s: cannot write standard output: %s\n", who.c_str(),
               reason != 0 ? std::strerror(reason) : "a write failed");
  return 2;
}
