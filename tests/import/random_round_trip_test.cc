// Random files against themselves: a file imported, compiled, played by the
// sequencer and exported again sends what it sent (smf_compare.h), whatever
// its notes do: keys struck again while they sound, notes of length 0 and
// notes longer than a length can be, more notes at once than the player
// schedules, runs of controller values, fine pitch bends, pressure, SysEx,
// tempo changes, time signatures (some inside a bar), long silences,
// running status, format 0 and 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "import/score_writer.h"
#include "import/smf_compare.h"
#include "import/smf_reader.h"
#include "player/sequencer.h"
#include "player/song_export.h"

namespace {

struct Timed {
  uint64_t tick;
  std::string bytes;  // a channel message, or FF/F0/F7 with its length
};

std::string Vlq(uint64_t v) {
  std::string out(1, static_cast<char>(v & 127));
  while (v >>= 7) out.insert(out.begin(), static_cast<char>(128 | (v & 127)));
  return out;
}

std::string Be(uint32_t v, int n) {
  std::string out;
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 255));
  return out;
}

std::string Chunk(std::vector<Timed> events, bool running) {
  std::stable_sort(events.begin(), events.end(),
                   [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
  std::string out;
  uint64_t last = 0;
  int status = 0;
  for (const Timed& e : events) {
    out += Vlq(e.tick - last);
    last = e.tick;
    const auto first = static_cast<uint8_t>(e.bytes[0]);
    if (running && first < 0xf0 && first == status) {
      out += e.bytes.substr(1);
    } else {
      out += e.bytes;
      status = first < 0xf0 ? first : 0;
    }
  }
  out += std::string("\x00\xff\x2f\x00", 4);
  return "MTrk" + Be(static_cast<uint32_t>(out.size()), 4) + out;
}

std::string Bytes(std::initializer_list<int> b) {
  std::string out;
  for (int x : b) out += static_cast<char>(x);
  return out;
}

// A gradual change as the player sends it, from s to e over d ticks after t.
void Ramp(std::vector<Timed>& out, int status, int number, int s, int e, int d, uint64_t t) {
  const int dir = e > s ? 1 : -1, q = (e - s) / d, r = std::abs(e - s) % d;
  int current = s, last = s, acc = r / 2;
  for (int j = 1; j <= d; ++j) {
    acc += r;
    if (acc >= d) acc -= d, current += dir;
    current += q;
    if (current != last)
      out.push_back({t + static_cast<uint64_t>(j), Bytes({status, number, current})});
    last = current;
  }
}

class RandomSong {
 public:
  explicit RandomSong(unsigned seed) : random_(seed) {}

  std::string File() {
    const int divisions[] = {24, 96, 120, 384, 480, 960, 1000};
    division_ = divisions[Pick(0, 6)];
    const int midi_tracks = Pick(1, 4);
    const bool format1 = midi_tracks > 1 || Pick(0, 1) == 1;
    std::vector<std::vector<Timed>> tracks(static_cast<size_t>(midi_tracks) + (format1 ? 1 : 0));
    Conductor(tracks[0]);
    for (int t = 0; t < midi_tracks; ++t) {
      std::vector<Timed>& out = tracks[static_cast<size_t>(t) + (format1 ? 1 : 0)];
      for (int c = Pick(1, 3); c > 0; --c) Part(out, Pick(0, 15));
    }
    const bool running = Pick(0, 1) == 1;
    std::string body;
    for (auto& t : tracks) body += Chunk(t, running);
    return "MThd" + Be(6, 4) + Be(format1 ? 1 : 0, 2) +
           Be(static_cast<uint32_t>(tracks.size()), 2) + Be(static_cast<uint32_t>(division_), 2) +
           body;
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
  // Mostly within 16 quarters; now and then after a long silence.
  uint64_t Tick() {
    const auto t = static_cast<uint64_t>(Pick(0, 16 * division_));
    return Pick(0, 150) == 0 ? t + static_cast<uint64_t>(Pick(70, 90)) * 4 * division_ : t;
  }

  void Conductor(std::vector<Timed>& out) {
    out.push_back({0, Bytes({0xff, 0x03, 4, 'S', 'o', 'n', 'g'})});
    out.push_back({0, Bytes({0xff, 0x58, 4, Pick(2, 7), 2, 24, 8})});
    for (int n = Pick(0, 3); n > 0; --n) {  // time signatures, some inside a bar
      out.push_back({Tick(), Bytes({0xff, 0x58, 4, Pick(1, 9), Pick(1, 3), 24, 8})});
    }
    out.push_back({0, Bytes({0xff, 0x59, 2, Pick(-7, 7) & 255, 0})});
    out.push_back({Tick(), Bytes({0xff, 0x06, 3, 'A', '\n', 'B'})});
    for (int n = Pick(0, 4); n > 0; --n) {
      const uint32_t us = 60000000u / static_cast<uint32_t>(Pick(30, 240));
      out.push_back({Tick(), "\xff\x51\x03" + Be(us, 3)});
    }
    if (Pick(0, 2) == 0) {  // a tempo ramp as the player sends it
      const uint64_t at = Tick();
      const int from = Pick(60, 180);
      out.push_back({at, "\xff\x51\x03" + Be(60000000u / static_cast<uint32_t>(from), 3)});
      std::vector<Timed> steps;
      Ramp(steps, 0, 0, from, Pick(60, 180), Pick(4, 200), at);
      for (const Timed& step : steps) {
        const auto tempo = static_cast<uint32_t>(static_cast<uint8_t>(step.bytes[2]));
        out.push_back({step.tick, "\xff\x51\x03" + Be(60000000u / tempo, 3)});
      }
    }
  }

  void Notes(std::vector<Timed>& out, int ch) {
    const int low = Pick(30, 90), keys = Pick(1, 6);
    for (int n = Pick(1, 60); n > 0; --n) {
      const int key = low + Pick(0, keys), vel = Pick(1, 127);
      uint64_t start = Tick();
      if (Pick(0, 3) == 0)
        start -= start % static_cast<uint64_t>(division_ / 4 > 0 ? division_ / 4 : 1);
      const int shape = Pick(0, 9);
      uint64_t length = static_cast<uint64_t>(Pick(1, 2 * division_));
      if (shape == 0) length = 0;
      if (shape == 1) length = static_cast<uint64_t>(Pick(15000, 40000));
      out.push_back({start, Bytes({0x90 | ch, key, vel})});
      if (shape == 2) continue;  // never released
      const bool with_off = Pick(0, 1) == 0;
      out.push_back({start + length, with_off ? Bytes({0x80 | ch, key, Pick(0, 127)})
                                              : Bytes({0x90 | ch, key, 0})});
    }
  }

  // Many notes at once: more than the player schedules.
  void Crowd(std::vector<Timed>& out, int ch) {
    const uint64_t at = Tick();
    for (int k = 0; k < 128; ++k) {
      out.push_back({at + static_cast<uint64_t>(k % 3), Bytes({0x90 | ch, k, 64})});
      out.push_back({at + 1000 + static_cast<uint64_t>(k), Bytes({0x80 | ch, k, 0})});
    }
  }

  void Part(std::vector<Timed>& out, int ch) {
    out.push_back({0, Bytes({0xb0 | ch, 0, Pick(0, 3)})});
    out.push_back({0, Bytes({0xb0 | ch, 32, Pick(0, 3)})});
    out.push_back({0, Bytes({0xc0 | ch, Pick(0, 127)})});
    Notes(out, ch);
    if (Pick(0, 5) == 0) Crowd(out, ch);
    const int controllers[] = {1, 7, 10, 11, 64, 74, 91};
    for (int n = Pick(0, 10); n > 0; --n) {
      out.push_back({Tick(), Bytes({0xb0 | ch, controllers[Pick(0, 6)], Pick(0, 127)})});
    }
    if (Pick(0, 1) == 0) {
      const int number = controllers[Pick(0, 6)];
      const int from = Pick(0, 127);
      const uint64_t at = Tick();
      out.push_back({at, Bytes({0xb0 | ch, number, from})});
      Ramp(out, 0xb0 | ch, number, from, Pick(0, 127), Pick(2, 300),
           at + static_cast<uint64_t>(Pick(0, 3)));
    }
    for (int n = Pick(0, 30); n > 0; --n) {
      out.push_back({Tick(), Bytes({0xe0 | ch, Pick(0, 3) == 0 ? 0 : Pick(0, 127), Pick(0, 127)})});
    }
    for (int n = Pick(0, 5); n > 0; --n) out.push_back({Tick(), Bytes({0xd0 | ch, Pick(0, 127)})});
    for (int n = Pick(0, 2); n > 0; --n) {
      out.push_back({Tick(), Bytes({0xa0 | ch, Pick(0, 127), Pick(0, 127)})});
    }
    if (Pick(0, 2) == 0) out.push_back({Tick(), Bytes({0xf0, 5, 0x7e, 0x7f, 9, 1, 0xf7})});
    if (Pick(0, 4) == 0) out.push_back({Tick(), Bytes({0xf7, 2, 0x41, 0x42})});
  }

  std::mt19937 random_;
  int division_ = 96;
};

// The score played as the player plays it, as a file read again.
SmfSong PlayedBack(const std::string& score, std::string* error) {
  SmfSong song;
  Compilation compilation;
  if (!compilation.SetUp() || compilation.Compile(score.c_str()) > 2) {
    *error = "does not compile";
    return song;
  }
  Sequencer sequencer;
  if (!sequencer.Load(compilation.ImageBegin(), compilation.ImageLength(), error)) return song;
  const std::string file = BuildSongMidiFile(sequencer, int64_t{1} << 32);
  if (!ReadSmf(file, &song, error)) *error = "the export does not read: " + *error;
  return song;
}

TEST(RandomRoundTripTest, EveryFileSendsWhatItSent) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr unsigned kFiles = 40;
#else
  constexpr unsigned kFiles = 400;
#endif
  int exact = 0;
  for (unsigned seed = 1; seed <= kFiles; ++seed) {
    const std::string file = RandomSong(seed).File();
    SmfSong song;
    std::string error;
    ASSERT_TRUE(ReadSmf(file, &song, &error)) << "seed " << seed << ": " << error;
    const ImportResult result = WriteScore(song, "random", ImportOptions{});
    ASSERT_TRUE(result.compiles) << "seed " << seed << "\n" << result.score;
    if (!result.exact) continue;
    ++exact;
    const SmfSong back = PlayedBack(result.score, &error);
    ASSERT_EQ(error, "") << "seed " << seed;
    EXPECT_EQ(FirstDifference(song, back), "") << "seed " << seed << "\n" << result.score;
  }
  // Only long SysEx, scaled times or inexact tempos make a file inexact;
  // these files have none.
  EXPECT_EQ(exact, static_cast<int>(kFiles));
}

}  // namespace
