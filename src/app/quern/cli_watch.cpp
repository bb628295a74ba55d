#include "app/quern/cli_watch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "app/quern/score_input.h"
#include "compiler/driver/driver.h"
#include "live/track_names.h"
#include "player/player.h"
#include "player/song_swap.h"

namespace {

// How long a file must stay the same before it is read, and how long a
// save may take to settle before it is given up.
constexpr int kSettleMs = 40;
constexpr int kSettleLooks = 100;
// How far ahead of the playing tick the swap is offered, in milliseconds:
// enough to make the offer ready before the song gets there.
constexpr double kLeadMs = 20;

// The tracks of the song just compiled that the names stand for, matched as
// the compiler tells tracks apart.
std::vector<int> TracksNamed(const std::vector<std::string>& names) {
  std::vector<std::string> tracks;
  for (int i = 0; i < CompiledTrackCount(); ++i) tracks.push_back(CompiledTrackFullName(i));
  return ::TracksNamed(tracks, names);
}

}  // namespace

PlayWatch::PlayWatch(std::string path, std::vector<std::string> mute, std::vector<std::string> solo,
                     std::unique_ptr<FileWatch> watch, std::vector<uint8_t> playing,
                     const std::atomic<bool>& interrupted)
    : path_(std::move(path)),
      mute_(std::move(mute)),
      solo_(std::move(solo)),
      watch_(std::move(watch)),
      playing_(std::move(playing)),
      interrupted_(interrupted) {}

std::string PlayWatch::Poll(int timeout_ms) {
  if (!watch_->WaitForSave(timeout_ms)) return {};
  return TakeSave();
}

// Reads the score once it has stopped changing (and again if it changed
// while it was read), compiles it and swaps it in.
std::string PlayWatch::TakeSave() {
  std::string text, error, warning;
  for (int tries = 0;; ++tries) {
    FileStamp stamp;
    if (!WaitUntilSettled(path_, kSettleMs, kSettleLooks, &stamp)) {
      return "quern play: " + path_ + ": the file keeps changing or is gone; the song plays on";
    }
    if (!ReadScoreFile(path_, Encoding::kAuto, &text, &error, &warning)) {
      return "quern play: " + error + "; the song plays on";
    }
    if (StampOf(path_) == stamp) break;
    if (tries == 10) return "quern play: " + path_ + ": the file keeps changing; the song plays on";
  }
  if (text == last_text_) return {};  // saved again unchanged
  last_text_ = text;
  const int severity = CompileScore(text.c_str());
  if (severity > 2) {
    return ReportInEncoding(ReportText(), ReportEncoding::kUtf8) + "quern play: " + path_ +
           " has errors; the last good version plays on";
  }
  return SwapIn(std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength()));
}

std::string PlayWatch::SwapIn(std::vector<uint8_t> image) {
  Sequencer& song = DefaultPlayer().Song();
  if (song.Finished()) {
    playing_ = std::move(image);
    Restart();
    return "quern play: " + path_ + " saved: the new song plays from its start";
  }
  SongSwap swap(playing_.data(), playing_.size(), image.data(), image.size());
  if (!swap.Prepared()) return "quern play: " + path_ + ": " + swap.Error();
  for (int track : TracksNamed(mute_)) swap.SetTrackMuted(track, true);
  for (int track : TracksNamed(solo_)) swap.SetTrackSoloed(track, true);
  if (stop_ > 0) swap.SetStopTick(stop_);
  const double tick_ms = std::max(song.Messages().TickLengthMs(), 1e-3);
  const auto lead = static_cast<int64_t>(std::ceil(kLeadMs / tick_ms)) + 1;
  const int64_t at = SwapInto(
      song, swap,
      [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !interrupted_.load() && IsPlaying();
      },
      lead);
  if (at == 0) return "quern play: " + path_ + ": the song stopped before the new one took over";
  // The player now reads the new image, which moving keeps in place.
  playing_ = std::move(image);
  return "quern play: " + path_ + " saved: swapped in at tick " + std::to_string(at);
}

void PlayWatch::Restart() {
  std::string error;
  if (!LoadSong(playing_.data(), playing_.size(), &error)) return;
  for (int track : TracksNamed(mute_)) SetTrackMuted(track, true);
  for (int track : TracksNamed(solo_)) SetTrackSoloed(track, true);
  if (stop_ > 0) ::SetStopTick(stop_, false);
  StartPlayback();
}
