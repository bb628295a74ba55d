// quern lsp: the language server on standard input and output. The outputs
// load only when a play command first comes, as for `quern play`.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "app/quern/output_module.h"
#include "files/signal_cleanup.h"
#include "lsp/server.h"
#include "lsp/stdio_loop.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

// Plays through quern's player on the output `quern play` would choose. The
// server's thread plays and stops; a signal's thread silences, so each step
// holds the lock.
class PlayerPort : public PlaybackPort {
 public:
  PlayerPort(std::string device, std::string soundfont)
      : device_(std::move(device)), soundfont_(std::move(soundfont)) {}
  ~PlayerPort() override { Close(); }

  bool Play(std::vector<uint8_t> image, int64_t start, int64_t stop, std::string* error) override {
    std::lock_guard lock(mutex_);
    if (closed_) {
      *error = "the server is ending";
      return false;
    }
    if (!opened_ && !Open(error)) return false;
    StopLocked();
    image_ = std::move(image);
    if (!LoadSong(image_.data(), image_.size(), error)) return false;
    Sequencer& song = DefaultPlayer().Song();
    if (start > 1) song.Seek(start);
    if (stop > 0) song.SetStopTick(stop, false);
    StartPlayback();
    return true;
  }

  int64_t PlayingTick() override {
    std::lock_guard lock(mutex_);
    return opened_ && IsPlaying() && !SongFinished() ? SequencerTickCount() : -1;
  }

  void Stop() override {
    std::lock_guard lock(mutex_);
    StopLocked();
  }

  // Silences what sounds and closes the output for good: nothing plays
  // after. True when a song was playing.
  bool Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    if (!opened_) return false;
    const bool playing = IsPlaying();
    StopLocked();
    CloseMidiDevices();
    opened_ = false;
    return playing;
  }

 private:
  void StopLocked() {
    if (opened_ && IsPlaying()) SilencePlayback();
  }

  bool Open(std::string* error) {
    const OutputModule* outputs = LoadOutputModule(error);
    std::unique_ptr<MidiOutput> output =
        outputs != nullptr ? outputs->open_output(device_, soundfont_, error) : nullptr;
    if (!output) return false;
    OpenMidiDevices(std::move(output));
    SetTimerInterval(4);
    opened_ = true;
    return true;
  }

  std::mutex mutex_;
  std::string device_, soundfont_;
  std::vector<uint8_t> image_;  // the sequencer reads the playing song in place
  bool opened_ = false;
  bool closed_ = false;
};

}  // namespace

int RunLsp(const Args& args) {
  std::string device = "synth", soundfont;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--output" && has_value) {
      device = args[++i];
    } else if (args[i] == "--soundfont" && has_value) {
      soundfont = args[++i];
    } else if (args[i] == "--stdio") {
      // What clients commonly pass; standard input and output is the only way.
    } else {
      return ReportUsageError("lsp", "unknown argument '" + args[i] + "'");
    }
  }
  // A client that goes away must end the server, not kill it mid-write.
  std::signal(SIGPIPE, SIG_IGN);
  PlayerPort playback(device, soundfont);
  // A signal silences what plays before the server ends by it, even while
  // the server waits on its client.
  SignalWatch watch([&playback] {
    if (playback.Close()) {
      std::fprintf(stderr, "quern lsp: SIG%s: playback stopped, every note released\n",
                   sigabbrev_np(NotedSignal()));
    }
  });
  ServerOptions options;
  options.version = QUERN_VERSION;
  Server server(&playback, options);
  return RunServerLoop(server, STDIN_FILENO, STDOUT_FILENO);
}
