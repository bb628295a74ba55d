// Checked file reading and atomic file replacement, without a toolkit: the
// command line uses them for every file it reads or writes, and the editor
// can too.
//
// In: file names as the system's bytes (any name the system can open, in
//   any encoding); for a write, the bytes to store.
// Out: the whole file, or the file replaced as a whole.
// What can go wrong, each reported as one line "PATH: reason" and never as
//   an exception:
// - a file that cannot be read (missing, a folder, no permission, a read
//   error) or that is larger than the caller's limit (such as /dev/zero,
//   which never ends): ReadFileChecked fails and returns no bytes;
// - a write that fails anywhere (no room, a folder that cannot be written,
//   a failed close or sync): the previous file stays exactly as it was and
//   the temporary file is removed.
//
// A replacement goes to a temporary file with a unique name in the target's
// folder, which takes the target's permission bits, is synced, and is then
// renamed over the target; the folder is synced after the rename, so a
// power cut leaves either the old file or the new one. A target that is a
// symbolic link is written through: its final target is replaced and the
// link stays. A path that the system cannot resolve (a loop of links, more
// links than it follows) or that names a folder ("out/", an existing
// folder) is refused, and nothing is replaced. A signal that ends the
// program removes the temporary file (signal_cleanup.h).
#ifndef QUERN_FILES_FILE_IO_H_
#define QUERN_FILES_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The largest score or song image the programs read.
inline constexpr size_t kMaxInputFileBytes = size_t{256} << 20;

// Reads the whole file at path into *bytes. Fails when it cannot be read or
// holds more than limit bytes.
bool ReadFileChecked(const std::string& path, size_t limit, std::string* bytes, std::string* error);

// True when writing output would overwrite input, an existing regular file:
// the same file (device and inode, so hard links and symbolic links count),
// or the same path once links and "." and ".." are resolved.
bool IsSameFile(const std::string& input, const std::string& output);

// Checks, before any work, that a replacement of path could begin: the path
// resolves, names no folder, and its folder lets a temporary file be made.
// A device or a pipe passes. Fails with "PATH: reason".
bool CheckOutputPath(const std::string& path, std::string* error);

// One replacement of a file, written in steps: Open, any Write and WriteAt,
// then Commit. Destroying it before a successful Commit removes the
// temporary file and leaves the target untouched.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file beside the final target of path.
  bool Open(const std::string& path, std::string* error);
  // Appends bytes.
  bool Write(std::string_view bytes, std::string* error);
  // Writes bytes at offset (for headers filled in at the end).
  bool WriteAt(uint64_t offset, std::string_view bytes, std::string* error);
  // False for an output that cannot go back (a pipe, a terminal), where
  // WriteAt fails.
  bool CanWriteAt() const;
  // Syncs and closes the temporary file, renames it over the target and
  // syncs the folder.
  bool Commit(std::string* error);

 private:
  bool Fail(const std::string& reason, std::string* error);
  void Discard();

  std::string path_;       // as the caller named it, for messages
  std::string target_;     // the file replaced: path_ with links followed
  std::string temporary_;  // empty when there is none
  int slot_ = -1;          // of temporary_ in the signal cleanup's table
  int fd_ = -1;
};

// Open, Write and Commit in one call.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

#endif  // QUERN_FILES_FILE_IO_H_
