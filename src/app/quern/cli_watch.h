// quern play --watch: the score is watched while it plays. Each save that
// compiles without errors takes over from the playing song at the tick it
// has reached (the song swap: notes that stay the same sound on); a save
// with errors prints its report, and the last good song plays on. When the
// song has ended, a good save starts the new one from its beginning.
//
// In: the score's path, the whole names of the tracks to mute or solo (they
//   carry over by name, matched as the compiler tells tracks apart), a file
//   watch, and the image the default player is playing.
// Out: notes for standard error, one line each.
// What can go wrong: a score that cannot be read or keeps changing, or has
//   errors (said in the note; nothing changes); a player that has stopped.
// Threads: the control thread; the swap never makes the timer thread wait.
#ifndef QUERN_APP_QUERN_CLI_WATCH_H_
#define QUERN_APP_QUERN_CLI_WATCH_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "live/file_watch.h"

class PlayWatch {
 public:
  PlayWatch(std::string path, std::vector<std::string> mute, std::vector<std::string> solo,
            std::unique_ptr<FileWatch> watch, std::vector<uint8_t> playing,
            const std::atomic<bool>& interrupted);

  // Where the range ends (0: nowhere): each new song ends there too.
  void SetStopTick(int64_t stop) { stop_ = stop; }
  // Waits up to timeout_ms for a save and takes it in. Returns what to tell
  // the user (empty when nothing happened).
  std::string Poll(int timeout_ms);
  // The image playing now.
  const std::vector<uint8_t>& Playing() const { return playing_; }

 private:
  std::string TakeSave();
  std::string SwapIn(std::vector<uint8_t> image);
  void Restart();

  std::string path_;
  std::vector<std::string> mute_, solo_;
  std::unique_ptr<FileWatch> watch_;
  std::vector<uint8_t> playing_;  // the image the player reads in place
  std::string last_text_;         // the score last compiled
  int64_t stop_ = 0;
  const std::atomic<bool>& interrupted_;
};

#endif  // QUERN_APP_QUERN_CLI_WATCH_H_
