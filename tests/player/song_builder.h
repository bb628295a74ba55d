// Builds song images by hand for the player tests.
#ifndef QUERN_TESTS_PLAYER_SONG_BUILDER_H_
#define QUERN_TESTS_PLAYER_SONG_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SongLayout {
  int resolution = 192;
  std::vector<Bytes> tracks;
  std::vector<Bytes> attribute_templates;  // list 1, without length bytes
  std::vector<Bytes> direct_outs;          // list 2, without length bytes
  struct Gradual {
    int start, end, duration;
  };
  std::vector<Gradual> graduals;  // list 3
};

Bytes BuildImage(const SongLayout& song);

// A word as two little-endian bytes, for writing streams inline.
inline Bytes Word(int v) {
  return {static_cast<uint8_t>(v & 255), static_cast<uint8_t>((v >> 8) & 255)};
}
Bytes Cat(std::initializer_list<Bytes> parts);

// Loads image into the player with a fresh recording output and runs up to
// max_ticks ticks, stopping once the song has finished; with stop, the stop
// step runs at the end. Returns the recorded lines.
std::string Play(const Bytes& image, int max_ticks = 100000, bool stop = false);

#endif  // QUERN_TESTS_PLAYER_SONG_BUILDER_H_
