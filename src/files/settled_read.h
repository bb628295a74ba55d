// Settled reading: a file that another program is writing is read only once
// it has stopped changing, and read again when it changed while it was
// read, so that a reader never takes a half-written file for the whole.
//
// In: looks at one file, a short time apart, each through a FileProbe (the
//   file's stamp and its bytes; tests hand in a fake). The caller owns the
//   clock: it calls Look once per interval, and Restart whenever it hears
//   that the file changed.
// Out: for each look, kWait (look again after the interval), kSettled with
//   the bytes of one whole version of the file, kGone (the file has been
//   missing on two looks in a row) or kUnreadable (it stayed in place but
//   could not be read).
// What can go wrong: a file that never stops changing gives kWait for as
//   long as it changes; nothing is read from it meanwhile.
// Threads: one thread at a time per SettledRead; nothing here is shared.
#ifndef QUERN_FILES_SETTLED_READ_H_
#define QUERN_FILES_SETTLED_READ_H_

#include <cstdint>
#include <optional>
#include <string>

// What identifies one version of a file: a later write changes at least one
// field (the size, the modification time or, for a file replaced by
// renaming another over it, the inode).
struct FileStamp {
  bool exists = false;
  int64_t size = 0;
  int64_t modified_ns = 0;
  uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path (the system's bytes); exists is false when
// there is no such file.
FileStamp StampOf(const std::string& path);

// How a SettledRead looks at its file.
class FileProbe {
 public:
  virtual ~FileProbe() = default;
  virtual FileStamp Stamp() = 0;
  // The whole file, or nothing when it cannot be read.
  virtual std::optional<std::string> Read() = 0;
};

// The file at a path on disk.
class DiskProbe final : public FileProbe {
 public:
  explicit DiskProbe(std::string path) : path_(std::move(path)) {}
  FileStamp Stamp() override { return StampOf(path_); }
  std::optional<std::string> Read() override;

 private:
  std::string path_;
};

class SettledRead {
 public:
  enum class Result { kWait, kSettled, kGone, kUnreadable };

  explicit SettledRead(FileProbe* probe) : probe_(probe) {}

  // The file changed: the next two looks must agree again before a read.
  void Restart() { last_.reset(); }
  // One look. kSettled when this look agrees with the one before and the
  // file did not change while it was read; the bytes are then in Bytes().
  Result Look();
  const std::string& Bytes() const { return bytes_; }

 private:
  FileProbe* probe_;
  std::optional<FileStamp> last_;  // the previous look's stamp
  std::string bytes_;
};

#endif  // QUERN_FILES_SETTLED_READ_H_
