#include "files/settled_read.h"

#include <sys/stat.h>

#include <limits>

#include "files/file_io.h"

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.size = st.st_size;
  stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.inode = st.st_ino;
  return stamp;
}

std::optional<std::string> DiskProbe::Read() {
  // Only a regular file: a pipe or a device could block the reader forever.
  struct stat st;
  if (stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  // Any size: a file too large to take is the caller's to judge.
  std::string bytes, error;
  if (!ReadFileChecked(path_, std::numeric_limits<size_t>::max(), &bytes, &error)) {
    return std::nullopt;
  }
  return bytes;
}

SettledRead::Result SettledRead::Look() {
  const FileStamp now = probe_->Stamp();
  const bool agreed = last_ && *last_ == now;
  last_ = now;
  if (!agreed) return Result::kWait;
  if (!now.exists) return Result::kGone;
  std::optional<std::string> bytes = probe_->Read();
  const FileStamp after = probe_->Stamp();
  if (after != now) {
    // Written while it was read: what was read may be torn.
    last_ = after;
    return Result::kWait;
  }
  if (!bytes) return Result::kUnreadable;
  if (static_cast<int64_t>(bytes->size()) != now.size) {
    // A write the stamp could not tell (within one tick of the file
    // system's clock) still shows in the length: look again.
    last_.reset();
    return Result::kWait;
  }
  bytes_ = std::move(*bytes);
  return Result::kSettled;
}
