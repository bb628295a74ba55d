// A new song taking over from the playing one: fixed cases, and random
// edits swapped in at random ticks, checked against the note pairing and the
// channel state that a fresh seek into the new song sets up.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/chase.h"
#include "player/messages.h"
#include "player/midi_output.h"
#include "player/sequencer.h"
#include "player/song_swap.h"

namespace {

std::vector<uint8_t> Compile(const std::string& score) {
  static const bool set_up = SetUpCompiler();
  EXPECT_TRUE(set_up);
  EXPECT_LE(CompileScore(score.c_str()), 2) << score << ReportText();
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

// Records messages as trace lines, and keeps what a receiver holds: the
// sounding keys and the channel state.
class Receiver : public MessageSink {
 public:
  explicit Receiver(const Sequencer& song) : song_(song) {}
  void SendShort(const uint8_t* bytes, int length) override {
    Line(bytes, length, -1);
    const int kind = bytes[0] & 0xf0;
    const int key = (bytes[0] & 15) << 8 | bytes[1];
    if (kind == 0x90 && bytes[2] > 0) {
      if (!sounding_.insert(key).second) faults += Where() + " note-on while it sounds\n";
    } else if (kind == 0x80 || kind == 0x90) {
      if (!sounding_.erase(key)) faults += Where() + " note-off without its note-on\n";
    }
    state.TakeShort(bytes, length);
  }
  bool SendLong(const uint8_t* bytes, int length) override {
    Line(bytes, length, -1);
    return true;
  }
  void SetTempo(int tempo) override {
    Line(nullptr, 0, tempo);
    this->tempo = tempo;
  }
  std::string Where() const { return std::to_string(song_.TickCount()); }
  bool Sounding(int channel, int key) const { return sounding_.count(channel << 8 | key) > 0; }
  size_t SoundingCount() const { return sounding_.size(); }

  std::string text, faults;
  ChaseState state;
  int tempo = 120;

 private:
  void Line(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = song_.TickCount();
    if (bytes) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    text += FormatMessageLine(m) + "\n";
  }
  const Sequencer& song_;
  std::set<int> sounding_;
};

// The whole channel state a state stands for, with General MIDI defaults
// where it sets nothing: "ch:what=value" items.
std::string Effective(const ChaseState& state) {
  ChaseState empty;
  struct Lines final : ChaseTarget {
    void SendShort(const uint8_t* b, int length) override {
      text += std::to_string(b[0]) + ":" + std::to_string(b[1]) +
              (length > 2 ? "=" + std::to_string(b[2]) : "") + " ";
    }
    void SendAttribute(int, int, int) override {}
    std::string text;
  } lines;
  // The changes from nothing set are the values that differ from defaults.
  state.SendChangesFrom(empty, lines);
  return lines.text;
}

struct Playing {
  explicit Playing(const std::string& score) : out(seq) {
    images.push_back(Compile(score));
    seq.SetSink(&out);
    EXPECT_TRUE(seq.Load(image().data(), image().size()));
  }
  // The playing song's image; every image swapped in stays alive here.
  const std::vector<uint8_t>& image() const { return images.back(); }
  void Run(int ticks) {
    for (int i = 0; i < ticks && !seq.Finished(); ++i) seq.Tick();
  }
  // Swaps in the new song when the playing one has reached `at` - 1.
  int64_t SwapTo(const std::vector<uint8_t>& next, int64_t at) {
    const std::vector<uint8_t>& old = images.back();
    images.push_back(next);
    swap = std::make_unique<SongSwap>(old.data(), old.size(), image().data(), image().size());
    EXPECT_TRUE(swap->Prepared()) << swap->Error();
    swap->PrepareAt(at);
    seq.OfferSwap(&swap->Offer());
    seq.Tick();
    EXPECT_EQ(kSwapTaken, swap->Offer().outcome.load());
    return at;
  }
  std::deque<std::vector<uint8_t>> images;
  Sequencer seq;
  Receiver out;
  std::unique_ptr<SongSwap> swap;
};

TEST(SongSwapTest, TheSameNoteSoundsOnAndOnlyWhatChangedIsSent) {
  Playing song("A V100 @3 c1 d1\n");
  song.Run(96);
  const std::vector<uint8_t> next = Compile("A V50 @3 c1 e1\n");
  song.SwapTo(next, 97);
  song.Run(1000);
  song.seq.SilenceNotes();
  EXPECT_EQ(
      "1 b1 07 64\n1 c1 03\n1 91 3c 50\n"
      "97 b1 07 32\n"  // only the volume differs; c sounds on
      "193 91 3c 00\n193 91 40 50\n385 91 40 00\n",
      song.out.text);
}

// A range that ends at a tick ends there in the song that takes over too.
TEST(SongSwapTest, TheEndOfARangeCarriesOverToTheNewSong) {
  Playing song("A c d e f g a b\n");
  song.seq.SetStopTick(100, false);
  const std::vector<uint8_t> next = Compile("A c d e f g a b >c\n");
  SongSwap swap(song.image().data(), song.image().size(), next.data(), next.size());
  swap.SetStopTick(100);
  ASSERT_TRUE(RunSwapOffline(song.seq, swap, 50, 1000));
  EXPECT_TRUE(song.seq.Finished());
  EXPECT_EQ("1 91 3c 50\n49 91 3c 00\n49 91 3e 50\n97 91 3e 00\n97 91 40 50\n100 91 40 00\n",
            song.out.text);
}

TEST(SongSwapTest, NotesThatDifferAreReleasedAndNewOnesStartedBeforeAreNotStruck) {
  Playing song("A c1 d1\nB r2 g2\n");
  song.Run(49);
  const std::vector<uint8_t> next = Compile("A c2 r2 d1\nB r4 a2.\n");
  song.SwapTo(next, 50);
  song.Run(1000);
  // A's c ends at 97 in the new song, not at 193: a different note, released.
  // B's a started at 49 in the new song: not struck; g of the old is gone.
  EXPECT_EQ("1 91 3c 50\n50 91 3c 00\n193 91 3e 50\n385 91 3e 00\n", song.out.text);
  EXPECT_EQ("", song.out.faults);
}

TEST(SongSwapTest, AnOfferForATickAlreadyPassedIsMissedAndChangesNothing) {
  Playing song("A c1 d1\n");
  song.Run(60);
  const std::vector<uint8_t> next = Compile("A e1 f1\n");
  SongSwap swap(song.image().data(), song.image().size(), next.data(), next.size());
  song.seq.OfferSwap(&swap.PrepareAt(50));
  song.Run(1000);
  EXPECT_EQ(kSwapMissed, swap.Offer().outcome.load());
  EXPECT_EQ("1 91 3c 50\n193 91 3c 00\n193 91 3e 50\n385 91 3e 00\n", song.out.text);

  // SwapInto prepares again further on and the song changes at once.
  Playing again("A c1 d1\n");
  again.Run(60);
  SongSwap later(again.image().data(), again.image().size(), next.data(), next.size());
  int steps = 0;
  const int64_t at = SwapInto(again.seq, later, [&] {
    again.seq.Tick();
    return ++steps < 100;
  });
  EXPECT_EQ(62, at);
  EXPECT_EQ("1 91 3c 50\n62 91 3c 00\n", again.out.text);
}

// The timer side runs on its own thread, one tick per step of a fake clock,
// while the control thread prepares a swap slowly (it holds the preparation
// until the timer has run well past the offered tick). Every step must run
// its tick: the timer never waits on the preparation, and an offer made
// ready too late is missed and made again further on.
TEST(SongSwapTest, TheTimerThreadNeverWaitsOnASlowPreparation) {
  Playing song("A t240 l8 [c d e f]*\nB ch3 P30 [c1]*\n");
  const std::vector<uint8_t> next = Compile("A t240 l8 [c d e f]*\nB ch3 P40 [c1]*\n");
  constexpr int kMaxSteps = 2000000;
  std::atomic<int> fake_now{0};  // the fake clock: steps done
  std::atomic<bool> held{true};  // the preparation is held up
  std::atomic<bool> taken{false};
  std::vector<int64_t> tick_at(1, 0);
  std::thread timer([&] {
    int last = kMaxSteps;
    for (int step = 1; step <= last; ++step) {
      song.seq.Tick();
      tick_at.push_back(song.seq.TickCount());
      fake_now.store(step, std::memory_order_release);
      if (step == 3000) held.store(false);
      if (taken.load() && last == kMaxSteps) last = step + 100;  // a few more, then stop
    }
  });
  SongSwap swap(song.image().data(), song.image().size(), next.data(), next.size());
  // A slow preparation: offered for tick 100, but made ready only after the
  // timer has gone past it.
  SwapOffer& late = swap.PrepareAt(100);
  while (held.load()) std::this_thread::yield();
  song.seq.OfferSwap(&late);
  const int64_t at = SwapInto(song.seq, swap, [&] {
    std::this_thread::yield();
    return fake_now.load() < kMaxSteps;
  });
  taken.store(true);
  timer.join();
  for (size_t step = 1; step < tick_at.size(); ++step) ASSERT_EQ(step, tick_at[step]) << step;
  EXPECT_GT(at, 3000);
  EXPECT_NE(std::string::npos, song.out.text.find(std::to_string(at) + " b2 0a 28\n"));
  EXPECT_EQ("", song.out.faults);
}

// ---- Random edits.

struct Score {
  std::vector<std::vector<std::string>> tracks;
  std::string Text() const {
    std::string text;
    for (size_t t = 0; t < tracks.size(); ++t) {
      text += std::string(1, static_cast<char>('A' + t)) + " ch" + std::to_string(1 + t % 4);
      for (const std::string& token : tracks[t]) text += " " + token;
      text += "\n";
    }
    return text;
  }
};

std::string RandomToken(std::mt19937& rng) {
  static const char* kNotes[] = {"c", "d", "e", "g", "a"};
  static const int kLengths[] = {1, 2, 4, 8};
  switch (rng() % 10) {
    case 0:
      return "@" + std::to_string(rng() % 128);
    case 1:
      return "V" + std::to_string(rng() % 128);
    case 2:
      return "P" + std::to_string(rng() % 128);
    case 3:
      return "t" + std::to_string(60 + rng() % 120);
    case 4:
      return "r" + std::to_string(kLengths[rng() % 4]);
    default:
      return kNotes[rng() % 5] + std::to_string(kLengths[rng() % 4]);
  }
}

void Edit(Score& score, std::mt19937& rng) {
  const int kind = static_cast<int>(rng() % 6);
  if (kind == 0 && score.tracks.size() < 6) {
    score.tracks.emplace_back(1, "c4");
    return;
  }
  if (kind == 1 && score.tracks.size() > 1) {
    score.tracks.erase(score.tracks.begin() + static_cast<long>(rng() % score.tracks.size()));
    return;
  }
  std::vector<std::string>& track = score.tracks[rng() % score.tracks.size()];
  const size_t at = rng() % (track.size() + 1);
  if (kind % 2 == 0 || track.size() < 2) {
    track.insert(track.begin() + static_cast<long>(at), RandomToken(rng));
  } else {
    track.erase(track.begin() + static_cast<long>(at % track.size()));
  }
}

// The notes sounding when tick `at` begins: per channel and key, the last
// strike before it (a strike cuts the one before), while it has not ended.
std::map<std::pair<int, int>, std::pair<int64_t, int64_t>> SoundingAt(
    const std::vector<uint8_t>& image, int64_t at) {
  struct Notes : NoteSink {
    void NoteStruck(const StruckNote& n) override {
      if (n.gate > 0 && n.tick < at) last[{n.channel, n.note}] = {n.tick, n.tick + n.gate};
    }
    int64_t at = 0;
    std::map<std::pair<int, int>, std::pair<int64_t, int64_t>> last;
  } notes;
  notes.at = at;
  Sequencer song;
  song.SetNoteSink(&notes);
  song.Load(image.data(), image.size());
  for (int64_t i = 1; i < at && !song.Finished(); ++i) song.Tick();
  std::erase_if(notes.last, [&](const auto& note) { return note.second.second <= at; });
  return notes.last;
}

TEST(SongSwapTest, RandomEditsSwappedInAtRandomTicksKeepNotesPairedAndStateRight) {
  std::mt19937 rng(12);
  int swaps = 0;
  int slips = 0;
  for (int run = 0; run < 200; ++run) {
    Score score;
    score.tracks = {{"c4", "e4", "g2"}, {"@5", "c1"}};
    for (int i = 0; i < 10; ++i) Edit(score, rng);
    Playing song(score.Text());
    for (int edit = 0; edit < 25; ++edit) {
      song.Run(static_cast<int>(rng() % 60));
      if (song.seq.Finished()) break;
      if (rng() % 8 == 0) {
        // A slip that breaks the score: it has errors, so nothing is swapped
        // and the last good song plays on; the next edit starts again from
        // the good text, which repairs it.
        Score broken = score;
        broken.tracks[rng() % broken.tracks.size()].push_back("x");
        EXPECT_EQ(3, CompileScore(broken.Text().c_str())) << broken.Text();
        ++slips;
        continue;
      }
      Edit(score, rng);
      const std::vector<uint8_t> next = Compile(score.Text());
      const int64_t at = song.seq.TickCount() + 1;
      // The notes sounding now that the new song has the same: not struck
      // again, nor released.
      const auto now_sounding = SoundingAt(song.image(), at);
      const auto next_sounding = SoundingAt(next, at);
      std::set<std::pair<int, int>> kept;
      for (const auto& [key, span] : now_sounding) {
        auto same = next_sounding.find(key);
        if (same != next_sounding.end() && same->second == span) kept.insert(key);
      }
      const size_t before = song.out.text.size();
      song.SwapTo(next, at);
      ++swaps;
      const std::string sent = song.out.text.substr(before);
      for (const auto& [channel, key] : kept) {
        char on[32];
        std::snprintf(on, sizeof on, "%lld 9%x %02x ", static_cast<long long>(at), channel, key);
        const size_t found = sent.find(on);
        // Only the new song's own strike of that key at the swap tick, if any.
        EXPECT_TRUE(found == std::string::npos || sent.compare(found + 10, 2, "00") != 0)
            << score.Text() << " at " << at << "\n"
            << sent;
      }
      // The channel state now equals what a fresh seek into the new song sets up.
      Sequencer fresh;
      fresh.Load(next.data(), next.size());
      fresh.RunSilently(at + 1);  // the swap tick's own messages went out too
      EXPECT_EQ(Effective(fresh.SilentState()), Effective(song.out.state))
          << score.Text() << " at " << at;
      EXPECT_EQ(fresh.Messages().Tempo(), song.seq.Messages().Tempo());
    }
    song.seq.SilenceNotes();
    EXPECT_EQ("", song.out.faults) << score.Text();
    EXPECT_EQ(0u, song.out.SoundingCount());
    if (HasFailure()) break;
  }
  EXPECT_GE(swaps, 1000);
  EXPECT_GE(slips, 100);
}

// A range's end carries over whatever the edit: the song that takes over
// stops at the same tick, releasing what sounds, and sends nothing later.
TEST(SongSwapTest, RandomEditsSwappedInBeforeARangeEndStopThere) {
  std::mt19937 rng(33);
  int stopped_early = 0;
  for (int run = 0; run < 300; ++run) {
    Score score;
    score.tracks = {{"c4", "e4", "g2"}, {"@5", "c1"}};
    for (int i = 0; i < 10; ++i) Edit(score, rng);
    Playing song(score.Text());
    const int64_t stop = 3 + static_cast<int64_t>(rng() % 500);
    song.seq.SetStopTick(stop, false);
    for (int i = 0; i < 3; ++i) Edit(score, rng);
    const std::vector<uint8_t> next = Compile(score.Text());
    SongSwap swap(song.image().data(), song.image().size(), next.data(), next.size());
    swap.SetStopTick(stop);
    const int64_t at = 2 + static_cast<int64_t>(rng() % (stop - 2));
    if (!RunSwapOffline(song.seq, swap, at, 100000)) {
      ++stopped_early;  // the first song ended before `at`
      continue;
    }
    EXPECT_TRUE(song.seq.Finished()) << score.Text();
    EXPECT_LE(song.seq.TickCount(), stop) << score.Text();
    std::istringstream lines(song.out.text);
    for (std::string line; std::getline(lines, line);) {
      ASSERT_LE(std::stoll(line), stop) << score.Text() << " swapped at " << at << "\n"
                                        << song.out.text;
    }
    EXPECT_EQ("", song.out.faults) << score.Text();
    EXPECT_EQ(0u, song.out.SoundingCount()) << score.Text();
  }
  EXPECT_LT(stopped_early, 150);
}

}  // namespace
