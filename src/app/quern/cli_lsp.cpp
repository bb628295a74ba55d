// quern lsp: the language server on standard input and output. The outputs
// load only when a play command first comes, as for `quern play`.
#include <unistd.h>
#include <csignal>
#include <cstdio>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "app/quern/output_module.h"
#include "lsp/server.h"
#include "lsp/stdio_loop.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

// Plays through quern's player on the output `quern play` would choose.
class PlayerPort : public PlaybackPort {
 public:
  PlayerPort(std::string device, std::string soundfont)
      : device_(std::move(device)), soundfont_(std::move(soundfont)) {}
  ~PlayerPort() override {
    if (!opened_) return;
    Stop();
    CloseMidiDevices();
  }

  bool Play(std::vector<uint8_t> image, int64_t start, int64_t stop, std::string* error) override {
    if (!opened_ && !Open(error)) return false;
    Stop();
    image_ = std::move(image);
    if (!LoadSong(image_.data(), image_.size(), error)) return false;
    Sequencer& song = DefaultPlayer().Song();
    if (start > 1) song.Seek(start);
    if (stop > 0) song.SetStopTick(stop, false);
    StartPlayback();
    return true;
  }

  int64_t PlayingTick() override {
    return opened_ && IsPlaying() && !SongFinished() ? SequencerTickCount() : -1;
  }

  void Stop() override {
    if (!opened_ || !IsPlaying()) return;
    StopPlayback();
    // Notes struck in hit mode have no scheduled end; release every channel.
    for (int channel = 0; channel < 16; ++channel) SendAttribute(channel, 123, 0);
  }

 private:
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

  std::string device_, soundfont_;
  std::vector<uint8_t> image_;  // the sequencer reads the playing song in place
  bool opened_ = false;
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
  ServerOptions options;
  options.version = QUERN_VERSION;
  Server server(&playback, options);
  return RunServerLoop(server, STDIN_FILENO, STDOUT_FILENO);
}
