#include "live/play_range.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/chase.h"
#include "player/player.h"

namespace {

// A compiled score with its source map, kept alive while the sequencer
// reads the image.
struct Song {
  std::vector<uint8_t> image;
  SourceMap map;
};

Song Compile(const std::string& text) {
  static const bool set_up = SetUpCompiler();
  EXPECT_TRUE(set_up);
  Song song;
  EXPECT_LE(CompileScore(text.c_str(), &song.map), 2) << ReportText();
  song.image.assign(SongImageBegin(), SongImageBegin() + SongImageLength());
  return song;
}

std::string Place(const SourcePlace& p) {
  return std::to_string(p.line) + ":" + std::to_string(p.column);
}

// The lines "quern map" prints: TICK TRACK LINE:COL [< LINE:COL]...
std::string MapLines(const std::string& text) {
  Song song = Compile(text);
  std::string out;
  ScanStruckNotes(song.image.data(), song.image.size(), kScanTicks, [&](const StruckNote& n) {
    out += std::to_string(n.tick) + " " + CompiledTrackName(n.track);
    const NoteSource* note = song.map.Find(n.track, n.offset);
    if (!note) {
      out += " -\n";
      return true;
    }
    out += " " + Place(note->place);
    for (const SourcePlace& call : note->calls) out += " < " + Place(call);
    out += "\n";
    return true;
  });
  return out;
}

TEST(SourceMapTest, NotesCarryTheirFirstTokensPlace) {
  struct Case {
    const char* name;
    const char* score;
    const char* lines;
  } cases[] = {
      {"plain notes, prefixes and accidentals", "A c ~d e+ _f4\n",
       "1 A 0:2\n49 A 0:4\n97 A 0:7\n145 A 0:10\n"},
      {"a group with &", "A c&e&g c\n", "1 A 0:2\n1 A 0:4\n1 A 0:6\n49 A 0:8\n"},
      {"every pass of a loop with a break strikes the same place", "A [c / d]3 e\n",
       "1 A 0:3\n49 A 0:7\n97 A 0:3\n145 A 0:7\n193 A 0:3\n241 A 0:11\n"},
      {"a note after an unrolled single pass", "A [c / d]1 e\n", "1 A 0:3\n49 A 0:11\n"},
      {"common and continuation lines", "A c\n*A d\n+ e\nB f\n",
       "1 A 0:2\n1 B 3:2\n49 A 1:3\n97 A 2:2\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.lines, MapLines(c.score)) << c.name;
}

TEST(SourceMapTest, MacroNotesListTheirCallSitesInnermostFirst) {
  EXPECT_EQ("1 A 0:3 < 1:2\n49 A 0:5 < 1:2\n97 A 1:5\n", MapLines("%M c d\nA %M e\n"));
  // Nested calls with arguments: a note written in an argument stands where
  // it is written, and comes through the call that was given it.
  EXPECT_EQ(
      "1 A 0:4 < 1:5 < 2:2\n"  // "c" of %In, called from %Out, called from A
      "49 A 2:7 < 2:2\n"       // the argument "e", handed on by %Out to %In
      "97 A 1:13 < 2:2\n",     // "g" of %Out
      MapLines("%In c %1\n%Out %In(%1) g\nA %Out(e)\n"));
}

// The caret rule: same track (or same macro or common line), at or after.
TEST(PlayRangeTest, CaretFindsTheFirstNoteAtOrAfterItInItsContext) {
  Song song = Compile("%M g\nA c d %M\nB e e e e\n*A f\n");
  const uint8_t* image = song.image.data();
  const size_t size = song.image.size();
  struct Case {
    SourcePlace caret;
    int64_t tick;
  } cases[] = {
      {{1, 0}, 1},    // start of A's line
      {{1, 3}, 49},   // just behind "c": "d"
      {{1, 6}, 97},   // on the call: the macro's note
      {{1, 8}, -1},   // behind every note of A on its own lines
      {{2, 4}, 49},   // B's second note
      {{0, 0}, 97},   // the macro line: its note, struck from A
      {{3, 0}, 145},  // the common line
      {{4, 0}, -1},   // beyond the text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.tick, TickFromCaret(image, size, song.map, c.caret)) << Place(c.caret);
  }
}

TEST(PlayRangeTest, SelectionRunsFromItsFirstNoteToItsLastNotesEnd) {
  Song song = Compile("A c d [e]2 f\n");
  TickRange range = SelectionTicks(song.image.data(), song.image.size(), song.map, {0, 4}, {0, 10});
  EXPECT_EQ(49, range.start);  // "d"
  EXPECT_EQ(145, range.stop);  // the first pass of "e" ends at 145
  range = SelectionTicks(song.image.data(), song.image.size(), song.map, {0, 12}, {0, 12});
  EXPECT_EQ(-1, range.start);  // an empty selection holds no note
}

TEST(PlayRangeTest, ScanningLeavesWhatPlaysWhereItStands) {
  Song playing = Compile("A c d e f g a b\n");
  ASSERT_TRUE(LoadSong(playing.image.data(), playing.image.size()));
  for (int i = 0; i < 60; ++i) SequencerTick();
  Song scanned = Compile("A c d e\n");
  int notes = 0;
  ScanStruckNotes(scanned.image.data(), scanned.image.size(), kScanTicks,
                  [&](const StruckNote&) { return ++notes < 2; });
  EXPECT_EQ(2, notes);
  EXPECT_EQ(60, SequencerTickCount());
  EXPECT_FALSE(SongFinished());
}

// The caret's note is searched as far as the caller's bound: past the
// default million ticks when asked, and not past a smaller one.
TEST(PlayRangeTest, CaretSearchGoesAsFarAsItsBound) {
  Song song = Compile("A o4 [[r1]100]60 c d\n");  // c at 6000 whole rests
  const uint8_t* image = song.image.data();
  const size_t size = song.image.size();
  bool at_bound = false;
  EXPECT_EQ(-1, TickFromCaret(image, size, song.map, {0, 17}, kScanTicks, &at_bound));
  EXPECT_TRUE(at_bound);  // the song goes on: a note may lie beyond
  EXPECT_EQ(1152001, TickFromCaret(image, size, song.map, {0, 17}, 3000000, &at_bound));
  EXPECT_FALSE(at_bound);
  EXPECT_EQ(1152001, TickFromCaret(image, size, song.map, {0, 17}, 1152001, &at_bound));
  EXPECT_EQ(-1, TickFromCaret(image, size, song.map, {0, 17}, 1152000, &at_bound));
  EXPECT_TRUE(at_bound);
  // Behind every note: the song ends before the bound, so there is none.
  EXPECT_EQ(-1, TickFromCaret(image, size, song.map, {0, 21}, 3000000, &at_bound));
  EXPECT_FALSE(at_bound);
  // A caret of no context has no note, however far the song goes.
  EXPECT_EQ(-1, TickFromCaret(image, size, song.map, {5, 0}, 3000000, &at_bound));
  EXPECT_FALSE(at_bound);
}

// ---- The scan jumps over quiet ticks: it must strike what a tick-by-tick
// run strikes, on random songs and bounds.

std::string RandomScore(std::mt19937& rng) {
  static const char* kItems[] = {"c",      "d4",    "e8",  "r1",  "r2",   "c16",
                                 "[r1]40", "g2:1",  "V90", "v60", "t90",  "t200",
                                 "[c e]3", "a1&c1", "l32", "o5",  "r1 r1"};
  std::string score;
  for (const char* track : {"A", "B"}) {
    score += track;
    score += " ";
    const int items = 1 + static_cast<int>(rng() % 10);
    for (int i = 0; i < items; ++i) score += std::string(kItems[rng() % 17]) + " ";
    if (rng() % 4 == 0) score += "[c r2]*";
    score += "\n";
  }
  return score;
}

// What the scan did before it jumped: every tick run, one by one.
std::vector<StruckNote> PlainScan(const Song& song, int64_t max_ticks, bool* at_bound) {
  struct Collect : NoteSink {
    void NoteStruck(const StruckNote& note) override { notes.push_back(note); }
    std::vector<StruckNote> notes;
  } sink;
  auto sequencer = std::make_unique<Sequencer>();
  EXPECT_TRUE(sequencer->Load(song.image.data(), song.image.size()));
  ChaseState silence;
  sequencer->SetMessageCapture(&silence);
  sequencer->SetNoteSink(&sink);
  while (sequencer->TickCount() < max_ticks && !sequencer->Finished()) sequencer->Tick();
  *at_bound = !sequencer->Finished();
  return sink.notes;
}

std::string Lines(const std::vector<StruckNote>& notes) {
  std::string out;
  for (const StruckNote& n : notes) {
    out += std::to_string(n.tick) + " " + std::to_string(n.track) + " " + std::to_string(n.offset) +
           " " + std::to_string(n.gate) + " " + std::to_string(n.channel) + " " +
           std::to_string(n.note) + "\n";
  }
  return out;
}

TEST(PlayRangeTest, JumpingScanStrikesWhatATickByTickRunStrikes) {
  std::mt19937 rng(21);
  for (int round = 0; round < 300; ++round) {
    const std::string score = RandomScore(rng);
    Song song = Compile(score);
    const int64_t max_ticks = 1 + static_cast<int64_t>(rng() % 20000);
    bool plain_at_bound = false, at_bound = false;
    const std::string want = Lines(PlainScan(song, max_ticks, &plain_at_bound));
    std::vector<StruckNote> notes;
    ASSERT_TRUE(ScanStruckNotes(
        song.image.data(), song.image.size(), max_ticks,
        [&](const StruckNote& n) {
          notes.push_back(n);
          return true;
        },
        &at_bound));
    ASSERT_EQ(want, Lines(notes)) << score << "bound " << max_ticks;
    ASSERT_EQ(plain_at_bound, at_bound) << score << "bound " << max_ticks;
  }
}

}  // namespace
