// File watch: tells when a file has been saved again, and when its content
// has stopped changing, so that a reader never takes a half-written file.
//
// In: the path of a file (it may be missing for a while: editors that save
//   by writing a new file and renaming it replace it).
// Out: WaitForSave says a save happened (the file was written and closed,
//   moved into place, or created); WaitUntilSettled gives the file's stamp
//   once two looks a short time apart agree.
// What can go wrong: a folder that cannot be watched (WatchFile returns
//   nullptr and says why); a file that keeps changing (WaitUntilSettled
//   gives up after its looks run out).
// Threads: one thread at a time per watch; nothing here is shared.
#ifndef QUERN_LIVE_FILE_WATCH_H_
#define QUERN_LIVE_FILE_WATCH_H_

#include <memory>
#include <string>

#include "files/settled_read.h"  // FileStamp, StampOf

// Looks at the file every settle_ms until two looks in a row agree (and the
// file exists); at most max_looks looks. True with *stamp set, or false.
bool WaitUntilSettled(const std::string& path, int settle_ms, int max_looks, FileStamp* stamp);

class FileWatch {
 public:
  virtual ~FileWatch() = default;
  // Waits up to timeout_ms for a save of the file: true when one (or more)
  // happened since the last call.
  virtual bool WaitForSave(int timeout_ms) = 0;
};

// Watches the file's folder through inotify, for saves of this file name.
std::unique_ptr<FileWatch> WatchFile(const std::string& path, std::string* error);

#endif  // QUERN_LIVE_FILE_WATCH_H_
