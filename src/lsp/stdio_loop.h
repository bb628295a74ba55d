// Runs a language server on two file descriptors until the client says
// exit, or goes away.
//
// In: the descriptor to read framed messages from, the one to write to.
// Out: the process exit code: 0 after shutdown and exit, 1 after an exit
//   without shutdown, after the input ends (a client that vanished), or
//   after a header that cannot be read (the reason goes to standard error);
//   2 after a failed write.
// A reader thread reads the input into frames; the calling thread runs the
// server, answering messages in order and publishing debounced diagnostics
// when they fall due. A write that fails (the client gone, a full disk)
// ends the loop with code 2 and the reason on standard error.
// Thread: blocks the calling thread; starts and joins one thread of its own.
#ifndef QUERN_LSP_STDIO_LOOP_H_
#define QUERN_LSP_STDIO_LOOP_H_

#include "lsp/server.h"

int RunServerLoop(Server& server, int in_fd, int out_fd);

#endif  // QUERN_LSP_STDIO_LOOP_H_
