#include "live/file_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

class InotifyWatch final : public FileWatch {
 public:
  InotifyWatch(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~InotifyWatch() override { close(fd_); }

  bool WaitForSave(int timeout_ms) override {
    pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return false;
    return ReadEvents();
  }

 private:
  // Reads every event waiting; true when one names the watched file.
  bool ReadEvents() {
    bool saved = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;  // nonblocking: nothing more now
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        if (e->len > 0 && name_ == std::string(e->name, strnlen(e->name, e->len))) saved = true;
        at += sizeof(inotify_event) + e->len;
      }
    }
    return saved;
  }

  int fd_;
  std::string name_;
};

}  // namespace

bool WaitUntilSettled(const std::string& path, int settle_ms, int max_looks, FileStamp* stamp) {
  FileStamp last = StampOf(path);
  for (int look = 1; look < max_looks; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
    const FileStamp now = StampOf(path);
    if (now.exists && now == last) {
      *stamp = now;
      return true;
    }
    last = now;
  }
  return false;
}

std::unique_ptr<FileWatch> WatchFile(const std::string& path, std::string* error) {
  const std::filesystem::path file(path);
  std::string folder = file.parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    *error = std::string("cannot watch files: ") + std::strerror(errno);
    return nullptr;
  }
  // A save writes the file in place (close after writing), or writes another
  // file and moves it over this one, or removes and creates it again.
  const uint32_t events = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY;
  if (inotify_add_watch(fd, folder.c_str(), events) < 0) {
    *error = "cannot watch " + folder + ": " + std::strerror(errno);
    close(fd);
    return nullptr;
  }
  return std::make_unique<InotifyWatch>(fd, file.filename().string());
}
