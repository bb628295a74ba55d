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
//   and a second signal before that ends it at once. While a SignalWatch
//   exists, a signal is handed to a thread of its own instead, which cleans
//   up and ends the process, whatever the other threads are doing (a server
//   waiting on its client).
// A signal that was ignored when the program started (nohup, a background
//   job of a shell without job control) stays ignored.
// What can go wrong: more temporary files at once than kMaxTemporaries, or a
//   name of PATH_MAX bytes or more: that file is written as usual, but a
//   signal does not remove it.
// Threads: any. The signal handler is process-wide by nature, so its table
//   is too: a fixed table of slots with atomic states, filled without
//   allocating. The handler calls only async-signal-safe functions (unlink,
//   sigaction, raise, write).
#ifndef QUERN_FILES_SIGNAL_CLEANUP_H_
#define QUERN_FILES_SIGNAL_CLEANUP_H_

#include <atomic>
#include <functional>
#include <thread>

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

// While it exists, SIGINT, SIGTERM or SIGHUP removes the temporary files,
// runs on_signal on the watch's own thread and then ends the process by the
// signal; a second signal meanwhile ends it at once. on_signal may take the
// locks the program's other threads take, and must leave nothing to go on
// after it: the process ends as it returns. Destroying the watch without a
// signal puts signals back to ending the process at once; when a signal
// came first, the destructor waits for on_signal and the end. Make one at a
// time, and not together with NoteSignals. Should the watch's pipe not
// open, signals end the process at once.
class SignalWatch {
 public:
  explicit SignalWatch(std::function<void()> on_signal);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  void Run();

  std::function<void()> on_signal_;
  int wake_[2] = {-1, -1};  // the handler writes a byte, Run reads it
  std::thread thread_;
};

#endif  // QUERN_FILES_SIGNAL_CLEANUP_H_
