// Temporary files that a signal must not leave behind, and how a signal ends
// the process.
//
// In: the names of temporary files while they exist (AtomicFileWriter
//   registers each one it creates and withdraws it once it is renamed or
//   removed).
// Out: once RemoveTemporariesOnSignals() has run, SIGINT, SIGTERM or SIGHUP
//   removes every registered file and then ends the process by the same
//   signal with its default action, so the parent sees the usual status
//   (128 + the signal's number, in a shell). After NoteSignals() a signal is
//   noted instead, for a program that must clean up on its own first (play
//   silences what sounds); EndByNotedSignal() then ends the process by it,
//   and a second signal before that ends it at once.
// A signal that was ignored when the program started (nohup, a background
//   job of a shell without job control) stays ignored.
// What can go wrong: more temporary files at once than kMaxTemporaries, or a
//   name of PATH_MAX bytes or more: that file is written as usual, but a
//   signal does not remove it.
// Threads: any. The signal handler is process-wide by nature, so its table
//   is too: a fixed table of slots with atomic states, filled without
//   allocating. The handler calls only async-signal-safe functions (unlink,
//   sigaction, raise).
#ifndef QUERN_FILES_SIGNAL_CLEANUP_H_
#define QUERN_FILES_SIGNAL_CLEANUP_H_

#include <atomic>

inline constexpr int kMaxTemporaries = 16;

// Enters a temporary file's name; returns its slot, or -1 when it cannot be
// kept (the table is full or the name too long).
int RegisterTemporary(const char* name);
// Takes the slot's name out again (-1 is ignored).
void WithdrawTemporary(int slot);

// Signals remove the temporary files and end the process.
void RemoveTemporariesOnSignals();
// Signals remove the temporary files, set *caught and keep their number;
// the program goes on.
void NoteSignals(std::atomic<bool>* caught);
// The signal noted since NoteSignals(), or 0.
int NotedSignal();
// Ends the process by the noted signal with its default action; returns at
// once when none was noted.
void EndByNotedSignal();

#endif  // QUERN_FILES_SIGNAL_CLEANUP_H_
