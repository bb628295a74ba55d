#include "lsp/stdio_loop.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "lsp/json_rpc.h"

namespace {

// Frames from the reader thread, and whether the input has ended.
struct Inbox {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Frame> frames;
  bool ended = false;
};

void ReadFrames(int fd, std::shared_ptr<Inbox> inbox) {
  FrameReader reader;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) reader.Feed(std::string_view(buffer, static_cast<size_t>(n)));
    std::lock_guard lock(inbox->mutex);
    Frame frame;
    while (reader.Next(&frame)) inbox->frames.push_back(std::move(frame));
    if (n <= 0 || reader.Broken()) inbox->ended = true;
    inbox->ready.notify_one();
    if (inbox->ended) return;
  }
}

// Writes every byte: 0, or the error of the write that failed (EIO for a
// write that took nothing), kept at once before anything else sets errno.
int WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int Send(int fd, const std::vector<nlohmann::json>& messages) {
  for (const nlohmann::json& m : messages) {
    if (const int error = WriteAll(fd, FrameMessage(m))) return error;
  }
  return 0;
}

}  // namespace

int RunServerLoop(Server& server, int in_fd, int out_fd) {
  // The reader blocks in read(); at the end it is detached when the input is
  // still open, and keeps the inbox alive for itself.
  auto shared = std::make_shared<Inbox>();
  Inbox& inbox = *shared;
  std::thread reader(ReadFrames, in_fd, shared);
  int code = 1;
  for (;;) {
    std::unique_lock lock(inbox.mutex);
    const auto due = server.NextDue();
    auto has_work = [&] { return !inbox.frames.empty() || inbox.ended; };
    if (due) {
      inbox.ready.wait_until(lock, *due, has_work);
    } else {
      inbox.ready.wait(lock, has_work);
    }
    std::deque<Frame> frames;
    frames.swap(inbox.frames);
    const bool ended = inbox.ended;
    lock.unlock();
    // A reply that cannot be written ends the loop with status 2, even when
    // the client asked to exit in the same batch.
    int failed = 0;
    for (const Frame& frame : frames) {
      if (frame.kind == Frame::kMessage) {
        failed = Send(out_fd, server.Handle(frame.body, Server::Clock::now()));
      } else {
        std::fprintf(stderr, "quern lsp: %s\n", frame.body.c_str());
        failed = Send(out_fd, {server.FrameError(frame.body)});
      }
      if (failed || server.Finished()) break;
    }
    if (!failed && server.Finished()) {
      code = server.ExitCode();
      break;
    }
    if (!failed) failed = Send(out_fd, server.Flush(Server::Clock::now()));
    if (failed) {
      std::fprintf(stderr, "quern lsp: cannot write standard output: %s\n", std::strerror(failed));
      code = 2;
      break;
    }
    if (ended) break;
  }
  {
    std::lock_guard lock(inbox.mutex);
    if (inbox.ended) {
      reader.join();
    } else {
      reader.detach();
    }
  }
  return code;
}
