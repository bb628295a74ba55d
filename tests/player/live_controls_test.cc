// Seeks, stop ticks, silence and the note-off table, called in any order on
// a sequencer of its own, checked against fixed traces and against plain
// reference models on random songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/midi_output.h"
#include "player/sequencer.h"

namespace {

// Prints every message as "tick bytes" (or "tick tempo N"), as trace does.
class TextSink : public MessageSink {
 public:
  explicit TextSink(const Sequencer& song) : song_(song) {}
  void SendShort(const uint8_t* bytes, int length) override { Add(bytes, length, -1); }
  bool SendLong(const uint8_t* bytes, int length) override {
    Add(bytes, length, -1);
    return true;
  }
  void SetTempo(int tempo) override { Add(nullptr, 0, tempo); }
  std::string Take() { return std::exchange(text_, std::string()); }

 private:
  void Add(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = song_.TickCount();
    if (bytes) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    text_ += FormatMessageLine(m) + "\n";
  }
  const Sequencer& song_;
  std::string text_;
};

std::vector<uint8_t> Compile(const std::string& score) {
  static const bool set_up = SetUpCompiler();
  EXPECT_TRUE(set_up);
  EXPECT_LE(CompileScore(score.c_str()), 2) << ReportText();
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

struct Song {
  explicit Song(const std::string& score) : image(Compile(score)), sink(seq) {
    seq.SetSink(&sink);
    EXPECT_TRUE(seq.Load(image.data(), image.size()));
  }
  // Runs until the song finishes or `ticks` more ticks have run.
  std::string Run(int ticks = 100000) {
    for (int i = 0; i < ticks && !seq.Finished(); ++i) seq.Tick();
    return sink.Take();
  }
  std::vector<uint8_t> image;
  Sequencer seq;
  TextSink sink;
};

TEST(LiveControlsTest, ASeekWhereOnlyANoteStillSoundsSendsTheChase) {
  Song song("A V100 c1:8\n");
  song.seq.Seek(50);
  EXPECT_FALSE(song.seq.Finished());
  EXPECT_EQ("50 b1 07 64\n", song.Run());
  EXPECT_TRUE(song.seq.Finished());
}

TEST(LiveControlsTest, ResetOfAllControllersKeepsWhatAReceiverKeeps) {
  Song song("A Rst=121 Rev=91 Ex=11 V50 P20 M30 Ex40 Rev70 Rst0 c d\n");
  song.seq.Seek(49);
  // Volume, pan and reverb stay; modulation goes to 0 and expression to 127.
  EXPECT_EQ("49 b1 01 00\n49 b1 07 32\n49 b1 0a 14\n49 b1 0b 7f\n49 b1 5b 46\n",
            song.Run().substr(0, 5 * 12));
}

TEST(LiveControlsTest, ParameterSelectIsChasedBeforeItsDataEntry) {
  // The bend range: RPN 0 selected, then data entry 12.
  Song song("A Rh=101 Rl=100 De=6 Rh0 Rl0 De12 c d\n");
  song.seq.Seek(49);
  EXPECT_EQ("49 b1 65 00\n49 b1 64 00\n49 b1 06 0c\n49 91 3e 50\n97 91 3e 00\n", song.Run());
}

TEST(LiveControlsTest, SilentNotesAreNotReported) {
  struct Count : NoteSink {
    void NoteStruck(const StruckNote& n) override { keys += std::to_string(n.note) + " "; }
    std::string keys;
  } struck;
  Song song("A v0 c d v1 e\n");
  song.seq.SetNoteSink(&struck);
  song.Run();
  EXPECT_EQ("64 ", struck.keys);
}

TEST(LiveControlsTest, SeeksComposeWithEachOtherAndWithStopTicks) {
  const std::string score = "A t150 @5 V90 c d e f g a b\nB ch3 P30 c1 c1\n";
  Song fresh(score);
  fresh.seq.Seek(100);
  const std::string from_100 = fresh.Run();
  ASSERT_NE(std::string::npos, from_100.find("100 tempo 150\n"));

  // A second seek starts again from the song's beginning.
  Song twice(score);
  twice.seq.Seek(50);
  twice.seq.Seek(100);
  EXPECT_EQ(from_100, twice.Run());

  // A seek releases what sounds.
  Song playing(score);
  playing.Run(5);
  playing.seq.Seek(300);
  playing.seq.SilenceNotes();
  EXPECT_EQ("5 91 3c 00\n5 92 3c 00\n", playing.sink.Take());

  // A stop tick already passed ends the song on the next tick.
  Song stopped(score);
  stopped.seq.SetStopTick(50, false);
  stopped.seq.Seek(100);
  stopped.Run(500);
  EXPECT_TRUE(stopped.seq.Finished());
  EXPECT_EQ(100, stopped.seq.TickCount());

  // Past the end, nothing is left to send.
  Song ended(score);
  ended.seq.Seek(100000);
  EXPECT_TRUE(ended.seq.Finished());
  ended.seq.Tick();
  EXPECT_EQ("", ended.sink.Take());
}

TEST(LiveControlsTest, ALoopedRangeComesBackInTheChasedTempoAndOutlivesTheSong) {
  // A tempo set from outside before the seek: the loop's start is in the
  // song's own tempo, so going back there sends no tempo.
  Song song("A c d e f\n");
  song.seq.Messages().SetTempo(47);
  song.seq.Seek(30);
  song.seq.SetStopTick(60, true);
  const std::string first_pass = song.Run(30);
  EXPECT_EQ("30 tempo 120\n", first_pass.substr(0, 13));
  EXPECT_EQ(std::string::npos, song.Run(31).find("tempo"));
  EXPECT_EQ(30, song.seq.TickCount());

  // The song ends at 192, before the loop's stop tick: it is not finished,
  // and goes back to the start at 300.
  Song tail("A c d e f\n");
  tail.seq.Seek(180);
  tail.seq.SetStopTick(300, true);
  tail.Run(120);
  EXPECT_FALSE(tail.seq.Finished());
  EXPECT_EQ(299, tail.seq.TickCount());
  tail.seq.Tick();
  EXPECT_EQ(180, tail.seq.TickCount());
  tail.seq.SetStopTick(300, false);
  EXPECT_FALSE(tail.seq.Finished());  // the last note still sounds
  tail.Run();
  EXPECT_TRUE(tail.seq.Finished());
}

TEST(LiveControlsTest, ASeekFarIntoAnEndlessSongCostsItsEventsNotItsTicks) {
  // Only the events before the start run: a billion ticks of one note per
  // whole note are about five million events.
  Song song("A l1 [c]*\n");
  song.seq.Seek(1 + 192 * int64_t{5208333});
  EXPECT_EQ("999999937 91 3c 50\n", song.Run(1));
}

// ---- Random songs against plain models.

// A random score of three tracks on one channel, playing a few keys with
// lengths and gates, so that notes are struck again while they sound.
std::string RandomScore(std::mt19937& rng) {
  static const char* kKeys[] = {"c", "d", "e"};
  static const int kLengths[] = {1, 2, 4, 8, 16};
  std::string score;
  for (const char* track : {"A", "B", "C"}) {
    score += track;
    score += " ";
    const int notes = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < notes; ++i) {
      const int length = kLengths[rng() % 5];
      const bool rest = rng() % 5 == 0;
      score += rest ? std::string("r") : kKeys[rng() % 3];
      score += std::to_string(length);
      // A note's step (":") differs from its length, so notes overlap.
      if (!rest && rng() % 3 == 0) score += ":" + std::to_string(1 + rng() % 6);
      score += " ";
    }
    score += "\n";
  }
  return score;
}

// Groups trace lines by tick, each tick's lines sorted: the order within a
// tick of note-offs from the table is not what is compared.
std::map<int64_t, std::vector<std::string>> ByTick(const std::string& trace) {
  std::map<int64_t, std::vector<std::string>> ticks;
  std::istringstream in(trace);
  std::string line;
  while (std::getline(in, line)) ticks[std::stoll(line)].push_back(line);
  for (auto& [tick, lines] : ticks) std::sort(lines.begin(), lines.end());
  return ticks;
}

// The note-off table as a map from key to end tick: a note struck while its
// key sounds ends the old one first, and every note ends once.
std::string ModelTrace(const std::string& events_trace) {
  std::map<int, int64_t> sounding;  // key -> end tick
  std::string out;
  std::istringstream in(events_trace);
  std::string line;
  auto release_due = [&](int64_t upto) {
    for (bool any = true; any;) {
      any = false;
      auto first = sounding.end();
      for (auto it = sounding.begin(); it != sounding.end(); ++it) {
        if (it->second <= upto && (first == sounding.end() || it->second < first->second))
          first = it;
      }
      if (first != sounding.end()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%lld 91 %02x 00\n", static_cast<long long>(first->second),
                      first->first);
        out += buf;
        sounding.erase(first);
        any = true;
      }
    }
  };
  while (std::getline(in, line)) {
    long long tick = 0;
    int key = 0, gate = 0;
    std::sscanf(line.c_str(), "%lld %d %d", &tick, &key, &gate);
    release_due(tick);
    if (sounding.count(key)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%lld 91 %02x 00\n", tick, key);
      out += buf;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld 91 %02x 50\n", tick, key);
    out += buf;
    sounding[key] = tick + gate;
  }
  release_due(INT64_MAX);
  return out;
}

TEST(LiveControlsTest, NoteOffTableAgreesWithAPlainModelOnRandomSongs) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 300; ++round) {
    const std::string score = RandomScore(rng);
    struct Strikes : NoteSink {
      void NoteStruck(const StruckNote& n) override {
        text += std::to_string(n.tick) + " " + std::to_string(n.note) + " " +
                std::to_string(n.gate) + "\n";
      }
      std::string text;
    } strikes;
    Song song(score);
    song.seq.SetNoteSink(&strikes);
    const std::string trace = song.Run();
    ASSERT_EQ(ByTick(ModelTrace(strikes.text)), ByTick(trace)) << score;
  }
}

TEST(LiveControlsTest, AnyRunOfControlsThenASeekPlaysAsASeekAfterAFreshLoad) {
  std::mt19937 rng(7);
  const std::vector<std::string> scores = {
      "A t150 @5.1.2 V100 M10 D70 c d t90 e [f g]3\nB ch3 @7 V30 c1 c1 Rst=121 Rst0 c\n",
      "A l8 [c d e f]8\nB o3 l2 P10 [c g]4 P100 c\nC r1 v0 c v90 c1:3\n",
      "A Rh=101 Rl=100 De=6 Rh0 Rl0 De12 l16 [c e g]10\nB ch10 [c r c c]6\n",
  };
  for (int round = 0; round < 400; ++round) {
    const std::string& score = scores[rng() % scores.size()];
    Song song(score);
    for (int step = rng() % 8; step > 0; --step) {
      switch (rng() % 5) {
        case 0:
          song.Run(static_cast<int>(rng() % 200));
          break;
        case 1:
          song.seq.Seek(1 + rng() % 600);
          break;
        case 2:
          song.seq.SetStopTick(rng() % 3 ? 0 : 1 + rng() % 600, rng() % 2);
          break;
        case 3:
          song.seq.SilenceNotes();
          break;
        case 4:
          song.seq.SetTrackMuted(static_cast<int>(rng() % 3), rng() % 2);
          break;
      }
    }
    // After a stop tick, mute or a tempo left behind, a seek still starts
    // the song as a fresh load would; compare with mute and stop cleared.
    song.seq.SetStopTick(0, false);
    for (int t = 0; t < 3; ++t) song.seq.SetTrackMuted(t, false);
    const int64_t start = 1 + rng() % 600;
    song.seq.Seek(start);
    song.sink.Take();  // the release of what sounded
    const std::string again = song.Run();

    Song fresh(score);
    fresh.seq.Seek(start);
    std::string expected = fresh.Run();
    // The start tempo is chased too when the tempo in effect differed.
    const std::string tempo_line = std::to_string(start) + " tempo 120\n";
    std::string got = again;
    if (got.rfind(tempo_line, 0) == 0 && expected.rfind(tempo_line, 0) != 0) {
      got.erase(0, tempo_line.size());
    }
    ASSERT_EQ(expected, got) << score << " from " << start;
  }
}

}  // namespace
