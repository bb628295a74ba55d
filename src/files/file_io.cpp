#include "files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "files/signal_cleanup.h"

namespace {

constexpr int kMaxLinkHops = 40;
constexpr size_t kMaxTemporaryBase = 200;  // keeps the temporary name within NAME_MAX

std::string Reason(int error_number) {
  return std::strerror(error_number);
}

std::string SizeText(size_t bytes) {
  constexpr size_t kMb = size_t{1} << 20;
  if (bytes % kMb == 0) return std::to_string(bytes / kMb) + " MB";
  return std::to_string(bytes) + " bytes";
}

bool NamesFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return base.empty() || base == "." || base == "..";
}

// The file a write to path lands in: path itself, or the end of its chain
// of symbolic links (which may not exist yet). Fails with the system's
// reason when the chain cannot be followed: a loop, or more links than the
// system follows (ELOOP), a link that cannot be read.
bool FinalTarget(const std::string& path, std::string* target, int* error_number) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = current;
      return true;
    }
    if (hop == kMaxLinkHops) break;
    char link[PATH_MAX];
    ssize_t n = ::readlink(current.c_str(), link, sizeof link);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof link) {
      *error_number = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    std::string next(link, static_cast<size_t>(n));
    size_t slash = current.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    current = next;
  }
  *error_number = ELOOP;
  return false;
}

// Where a replacement of path goes, or why it cannot: a path that names a
// folder, or that the system cannot resolve.
bool ResolveOutput(const std::string& path, std::string* target, std::string* reason) {
  constexpr const char* kFolder = "the path names a folder, not a file";
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno == ELOOP) {
    *reason = Reason(ELOOP);
    return false;
  }
  if (NamesFolder(path) || (exists && S_ISDIR(st.st_mode))) {
    *reason = kFolder;
    return false;
  }
  int error_number = 0;
  if (!FinalTarget(path, target, &error_number)) {
    *reason = Reason(error_number);
    return false;
  }
  if (NamesFolder(*target)) {
    *reason = kFolder;
    return false;
  }
  return true;
}

bool IsDeviceOrPipe(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

// Creates a new file with a name no other file has, beside target; the
// mode is the usual 0666 less the umask. The name is registered for removal
// by a signal before the file exists (*slot), so no moment leaves it behind.
int CreateTemporary(const std::string& target, std::string* name, int* slot) {
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.size() > kMaxTemporaryBase) base.resize(kMaxTemporaryBase);
  std::random_device device;
  std::mt19937_64 random(static_cast<uint64_t>(device()) << 32 ^ device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xffffffffffffull));
    *name = folder + "." + base + suffix;
    *slot = RegisterTemporary(name->c_str());
    int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    const int saved = errno;
    WithdrawTemporary(*slot);
    *slot = -1;
    if (saved != EEXIST) {
      errno = saved;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

bool WriteAll(int fd, std::string_view bytes, int64_t offset) {
  while (!bytes.empty()) {
    ssize_t n = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                           : ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    if (offset >= 0) offset += n;
  }
  return true;
}

// Syncs the folder that holds path, so that a rename in it is durable. A
// file system that cannot sync folders (EINVAL) is not an error.
bool SyncFolder(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

}  // namespace

bool ReadFileChecked(const std::string& path, size_t limit, std::string* bytes,
                     std::string* error) {
  bytes->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + Reason(errno);
    return false;
  }
  struct stat st;
  std::string problem;
  if (::fstat(fd, &st) != 0) {
    problem = Reason(errno);
  } else if (S_ISDIR(st.st_mode)) {
    problem = Reason(EISDIR);
  } else if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > limit) {
    problem = "larger than " + SizeText(limit) + "; not read";
  } else if (S_ISREG(st.st_mode)) {
    // Room for the whole file at once (one byte more to see its end), so a
    // large score is not copied as the string grows.
    bytes->reserve(static_cast<size_t>(st.st_size) + 1);
  }
  char buffer[65536];
  while (problem.empty()) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) problem = Reason(errno);
    if (n <= 0) break;
    if (bytes->size() + static_cast<size_t>(n) > limit) {
      problem = "larger than " + SizeText(limit) + "; not read";
    } else {
      bytes->append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  if (problem.empty()) return true;
  bytes->clear();
  *error = path + ": " + problem;
  return false;
}

bool IsSameFile(const std::string& input, const std::string& output) {
  struct stat in, out;
  // Only a regular file can be destroyed by a replacement. An input that is
  // missing or a folder fails when it is read, with its own reason; a device
  // such as /dev/zero is not harmed by a write.
  if (::stat(input.c_str(), &in) != 0 || !S_ISREG(in.st_mode)) return false;
  if (::stat(output.c_str(), &out) == 0) {
    return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
  }
  std::error_code ec_in, ec_out;
  std::filesystem::path a = std::filesystem::weakly_canonical(input, ec_in);
  std::filesystem::path b = std::filesystem::weakly_canonical(output, ec_out);
  return !ec_in && !ec_out && a == b;
}

bool CheckOutputPath(const std::string& path, std::string* error) {
  if (IsDeviceOrPipe(path)) return true;
  std::string target, reason;
  if (!ResolveOutput(path, &target, &reason)) {
    *error = path + ": " + reason;
    return false;
  }
  // The temporary file is made in the target's folder, which must let us.
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    *error = path + ": " + Reason(errno);
    return false;
  }
  return true;
}

AtomicFileWriter::~AtomicFileWriter() {
  Discard();
}

bool AtomicFileWriter::Open(const std::string& path, std::string* error) {
  Discard();
  path_ = path;
  if (IsDeviceOrPipe(path)) {
    // A device or a pipe (/dev/null, /dev/stdout) cannot be replaced: the
    // bytes go straight to it.
    fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd_ >= 0 || Fail(Reason(errno), error);
  }
  std::string reason;
  if (!ResolveOutput(path, &target_, &reason)) return Fail(reason, error);
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  fd_ = CreateTemporary(target_, &temporary_, &slot_);
  if (fd_ < 0) {
    temporary_.clear();
    return Fail(Reason(errno), error);
  }
  if (exists && S_ISREG(st.st_mode)) {
    // The replacement keeps the permission bits, and where allowed the
    // owner, of the file it replaces.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // Not allowed for an ordinary user on another's file: the mode still
      // applies.
    }
    if (::fchmod(fd_, st.st_mode & 07777) != 0) return Fail(Reason(errno), error);
  }
  return true;
}

bool AtomicFileWriter::Write(std::string_view bytes, std::string* error) {
  if (fd_ < 0) return Fail(Reason(EBADF), error);
  return WriteAll(fd_, bytes, -1) || Fail(Reason(errno), error);
}

bool AtomicFileWriter::WriteAt(uint64_t offset, std::string_view bytes, std::string* error) {
  if (fd_ < 0) return Fail(Reason(EBADF), error);
  return WriteAll(fd_, bytes, static_cast<int64_t>(offset)) || Fail(Reason(errno), error);
}

bool AtomicFileWriter::CanWriteAt() const {
  return fd_ >= 0 && (!temporary_.empty() || ::lseek(fd_, 0, SEEK_CUR) >= 0);
}

bool AtomicFileWriter::Commit(std::string* error) {
  if (fd_ < 0) return Fail(Reason(EBADF), error);
  if (::fsync(fd_) != 0 && !(temporary_.empty() && errno == EINVAL)) {
    return Fail(Reason(errno), error);
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(Reason(errno), error);
  if (temporary_.empty()) return true;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) return Fail(Reason(errno), error);
  temporary_.clear();
  WithdrawTemporary(slot_);
  slot_ = -1;
  if (!SyncFolder(target_)) {
    *error = path_ + ": written, but its folder could not be synced: " + Reason(errno);
    return false;
  }
  return true;
}

bool AtomicFileWriter::Fail(const std::string& reason, std::string* error) {
  if (error) *error = path_ + ": " + reason;
  Discard();
  return false;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  WithdrawTemporary(slot_);
  slot_ = -1;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  AtomicFileWriter file;
  return file.Open(path, error) && file.Write(bytes, error) && file.Commit(error);
}
