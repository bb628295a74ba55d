// How the language server plays: the player and the output that `quern play`
// uses, behind an interface so that the server holds no output of its own.
//
// In: a song image and the ticks to play it between.
// Out: the song sounds on the chosen output until it ends or Stop.
// Errors: Play returns false with a one-line reason (no output could be
//   opened, the image is not a song).
// Thread: called from the server's thread only.
#ifndef QUERN_LSP_PLAYBACK_H_
#define QUERN_LSP_PLAYBACK_H_

#include <cstdint>
#include <string>
#include <vector>

class PlaybackPort {
 public:
  virtual ~PlaybackPort() = default;
  // Replaces whatever plays. start 0: from the beginning; stop 0: to the end.
  virtual bool Play(std::vector<uint8_t> image, int64_t start, int64_t stop,
                    std::string* error) = 0;
  virtual void Stop() = 0;
  // The sequencer's tick while a song plays (the song starts at tick 1); -1
  // when nothing plays, the song having ended or been stopped.
  virtual int64_t PlayingTick() = 0;
};

#endif  // QUERN_LSP_PLAYBACK_H_
