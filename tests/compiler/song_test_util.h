// Helpers for the track stream and song image tests: an event table builder
// with a loop table of its own, byte dumps, and a decoder that plays a track
// stream back into timed notes.
#ifndef QUERN_TESTS_COMPILER_SONG_TEST_UTIL_H_
#define QUERN_TESTS_COMPILER_SONG_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/commands/commands.h"

class ByteBuffer;

// "1, 2, 3"
std::string Dump(const ByteBuffer& buffer);
std::string Dump(const std::vector<uint8_t>& bytes);

// Fills the working list and a private loop table, which it installs as the
// stream compiler's loop source for its lifetime.
class TableBuilder {
 public:
  TableBuilder();
  ~TableBuilder();

  // Appends a record; returns its index.
  int Add(int time, int kind, int param = 0, int value = 0);
  int Note(int time, int note, int length, int accent = 255) { return Add(time, note, accent, length); }
  // Loop commands as the score commands record them.
  int Open(int time);  // returns the loop number
  void Break(int loop, int time);
  void Close(int loop, int time, int count);  // loop end at time
  void Exit(int time);
  LoopRecord& Loop(int number);
  // Runs CheckLoop over every live loop start, as the driver walks the table.
  void CheckLoops();
  // Start of track at 0 and end of track at time.
  void End(int time);

 private:
  int next_loop_ = 1;
};

struct PlayedNote {
  int64_t time;
  int note;
  int length;
  int accent;  // 255: none
  bool operator==(const PlayedNote&) const = default;
};
std::string ToString(const std::vector<PlayedNote>& notes);

// Plays the stream: every note with its start, pitch, length and accent. A
// loop end restores the length register and octave base on every pass; an
// endless loop stops after max_endless passes. Sets *error on a malformed
// stream.
std::vector<PlayedNote> DecodeStream(const uint8_t* begin, size_t size, int resolution,
                                     std::string* error, int max_endless = 3);

#endif  // QUERN_TESTS_COMPILER_SONG_TEST_UTIL_H_
