// The parts of the score writer with rules of their own: texts of unknown
// encoding, the bar grid, gradual changes found again, the spelling of
// notes in a key signature, track names, and what the language cannot
// write as it stands (a key struck again at once, a tempo of an odd
// resolution, pressure by the thousand).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/bar_grid.h"
#include "import/import_ramps.h"
#include "import/import_text.h"
#include "import/score_writer.h"
#include "import/smf_reader.h"
#include "import/track_layout.h"

namespace {

std::string Be(uint32_t v, int n) {
  std::string out;
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 255));
  return out;
}

std::string Vlq(uint32_t v) {
  std::string out(1, static_cast<char>(v & 127));
  while (v >>= 7) out.insert(out.begin(), static_cast<char>(128 | (v & 127)));
  return out;
}

// One track of events (delta, bytes), format 0.
ImportResult Import(int division, const std::vector<std::pair<uint32_t, std::string>>& events,
                    int grid = 0) {
  std::string track;
  for (const auto& [delta, bytes] : events) track += Vlq(delta) + bytes;
  track += std::string("\x00\xff\x2f\x00", 4);
  const std::string file = "MThd" + Be(6, 4) + Be(0, 2) + Be(1, 2) + Be(division, 2) + "MTrk" +
                           Be(static_cast<uint32_t>(track.size()), 4) + track;
  SmfSong song;
  std::string error;
  EXPECT_TRUE(ReadSmf(file, &song, &error)) << error;
  const ImportResult r = WriteScore(song, "t", ImportOptions{grid});
  EXPECT_TRUE(r.compiles) << r.score;
  return r;
}

std::string On(int key, int velocity) {
  return std::string{'\x90', static_cast<char>(key), static_cast<char>(velocity)};
}
std::string Off(int key) {
  return On(key, 0);
}
std::string Cc(int number, int value) {
  return std::string{'\xb0', static_cast<char>(number), static_cast<char>(value)};
}

// The lines of the first track, its head included.
std::string Track(const ImportResult& r) {
  const size_t at = r.score.find("\nA ");
  const size_t end = r.score.find("\n\n", at + 1);
  return r.score.substr(at + 1, end == std::string::npos ? std::string::npos : end - at);
}

TEST(ImportTextTest, EncodingsControlsAndLength) {
  EXPECT_EQ(TextLine("Night\nSong\t"), "Night Song");
  EXPECT_EQ(TextLine("\xe5\xa4\x9c\xe3\x81\xae\xe6\xad\x8c"), "夜の歌");  // UTF-8
  EXPECT_EQ(TextLine("\x96\xe9\x82\xcc\x89\xcc"), "夜の歌");              // Shift-JIS
  EXPECT_EQ(TextLine("caf\xe9 \x85"), "caf\xc3\xa9");                     // Latin-1, C1 control
  EXPECT_EQ(TextLine("a\xe2\x80\xa8"
                     "b"),
            "a b");  // line separator
  const std::string cut = TextLine(std::string(600, 'x'));
  EXPECT_EQ(cut, std::string(480, 'x') + "...");
  EXPECT_EQ(TextLine(std::string(479, 'x') + "\xe5\xa4\x9c" + std::string(50, 'y')),
            std::string(479, 'x') + "...");  // not inside a character
}

TEST(BarGridTest, SignaturesMakeRunsOfBars) {
  // 4/4 at 192 ticks a whole note, 3/4 from tick 456 (inside the third bar),
  // up to tick 1000.
  const BarGrid grid({{0, 192}, {456, 144}}, 1000);
  ASSERT_EQ(grid.Count(), 7u);
  EXPECT_EQ(grid.Start(2), 384);
  EXPECT_EQ(grid.End(2), 456);  // cut short where the new signature starts
  EXPECT_EQ(grid.Start(3), 456);
  EXPECT_EQ(grid.End(6), 1000);  // the last one ends at the end
  EXPECT_EQ(grid.BarAt(455), 2u);
  EXPECT_EQ(grid.BarAt(456), 3u);
  EXPECT_EQ(grid.BarAt(999), 6u);
  EXPECT_EQ(grid.SameLengthUntil(0), 2u);  // bar 2 is shorter
  EXPECT_EQ(grid.SameLengthUntil(3), 6u);  // and so is bar 6
  // A song hundreds of millions of ticks long costs nothing to count.
  const BarGrid long_one({{0, 96}}, int64_t{1} << 31);
  EXPECT_EQ(long_one.Count(), static_cast<size_t>((int64_t{1} << 31) / 96 + 1));
}

TEST(TrackNameTest, NamesSortInTheOrderOfTheTracks) {
  EXPECT_EQ(TrackName(0), "A");
  EXPECT_EQ(TrackName(25), "Z");
  EXPECT_EQ(TrackName(26), "ZA");
  EXPECT_EQ(TrackName(51), "ZZ");
  EXPECT_EQ(TrackName(52), "ZZA");
  for (size_t i = 1; i < 127; ++i) EXPECT_LT(TrackName(i - 1), TrackName(i)) << i;
}

ImportCommand Value(int64_t time, int value) {
  ImportCommand c;
  c.time = time;
  c.seq = static_cast<uint32_t>(time + 1);
  c.kind = CommandKind::kAttribute;
  c.number = 7;
  c.value = value;
  return c;
}

// What the player sends for a change from s to e over d ticks after t.
std::vector<ImportCommand> Stepped(int s, int e, int d, int64_t t) {
  std::vector<ImportCommand> out;
  const int dir = e > s ? 1 : -1, q = (e - s) / d, r = std::abs(e - s) % d;
  int current = s, last = s, acc = r / 2;
  for (int j = 1; j <= d; ++j) {
    acc += r;
    if (acc >= d) acc -= d, current += dir;
    current += q;
    if (current != last) out.push_back(Value(t + j, current));
    last = current;
  }
  return out;
}

TEST(RampsTest, RunsThePlayerSendsBecomeOneChange) {
  const std::vector<bool> skip(131, false);
  // Fast: 0 to 100 over 40 ticks, a value every tick, from the value before.
  {
    std::vector<ImportCommand> c = {Value(10, 0)};
    for (const ImportCommand& x : Stepped(0, 100, 40, 10)) c.push_back(x);
    RampBudget budget;
    std::vector<int> values(131, 0);
    FindRamps(c, 0, skip, budget, values, 0);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].kind, CommandKind::kRamp);
    EXPECT_EQ(c[1].time, 10);
    EXPECT_EQ(c[1].from, 0);
    EXPECT_EQ(c[1].value, 100);
    EXPECT_EQ(c[1].length, 40);
    EXPECT_EQ(values[7], 100);
  }
  // Slow: 64 to 70 over 300 ticks; the first step waits, so the change's
  // start is solved from it (and lies after the value before it).
  {
    std::vector<ImportCommand> c = {Value(5, 64)};
    for (const ImportCommand& x : Stepped(64, 70, 300, 20)) c.push_back(x);
    RampBudget budget;
    std::vector<int> values(131, 0);
    FindRamps(c, 0, skip, budget, values, 0);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].kind, CommandKind::kRamp);
    // Any start that sends the same values at the same ticks will do.
    std::vector<ImportCommand> again = Stepped(64, 70, static_cast<int>(c[1].length), c[1].time);
    std::vector<ImportCommand> want = Stepped(64, 70, 300, 20);
    ASSERT_EQ(again.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(again[i].time, want[i].time) << i;
  }
  // Values that no change from the value before sends stay as they are, and
  // so does an attribute another track of the channel sends.
  {
    std::vector<ImportCommand> c = {Value(0, 10), Value(1, 20), Value(2, 25), Value(3, 40)};
    RampBudget budget;
    std::vector<int> values(131, 0);
    FindRamps(c, 0, skip, budget, values, 0);
    EXPECT_EQ(c.size(), 4u);
    std::vector<ImportCommand> d = {Value(0, 0)};
    for (const ImportCommand& x : Stepped(0, 100, 40, 0)) d.push_back(x);
    std::vector<bool> shared(131, false);
    shared[7] = true;
    FindRamps(d, 0, shared, budget, values, 0);
    EXPECT_EQ(d.size(), 41u);
  }
}

TEST(ScoreLayoutTest, NotesAreSpelledInTheKeySignature) {
  // D major (2 sharps): F sharp is f, F natural f=; then B flat major
  // (2 flats): B flat is b, C sharp d-.
  const ImportResult r = Import(48, {{0, std::string("\xff\x59\x02\x02\x00", 5)},
                                     {0, On(66, 80)},
                                     {48, Off(66)},
                                     {0, On(65, 80)},
                                     {48, Off(65)},
                                     {0, std::string("\xff\x59\x02\xfe\x00", 5)},
                                     {0, On(70, 80)},
                                     {48, Off(70)},
                                     {0, On(61, 80)},
                                     {48, Off(61)}});
  EXPECT_EQ(Track(r), "A ch1\nA ks+2 f f= ks-2 b d-\n");
}

TEST(ScoreLayoutTest, WhatThePlayerWouldReleaseOtherwiseIsHeld) {
  // A key struck again at its own tick: a chord of the key with itself. A
  // note of length 0 alone, and one longer than a length can be, are held
  // with their note-offs sent through Off.
  const ImportResult r = Import(48, {{0, On(60, 80)},
                                     {0, Off(60)},
                                     {0, On(60, 90)},
                                     {48, Off(60)},
                                     {0, On(62, 80)},
                                     {0, Off(62)},
                                     {48, On(64, 80)},
                                     {20000, Off(64)}});
  EXPECT_NE(Track(r).find("c& c'90"), std::string::npos) << r.score;
  EXPECT_NE(Track(r).find("hit d& Off62"), std::string::npos) << r.score;
  EXPECT_NE(Track(r).find("Off64"), std::string::npos) << r.score;
  EXPECT_NE(r.score.find("A Off={144 v 0}\n"), std::string::npos) << r.score;
  EXPECT_TRUE(r.exact);
}

TEST(ScoreLayoutTest, ATitleInQuotesAndPressureAsATemplate) {
  std::vector<std::pair<uint32_t, std::string>> e = {{0, "\xff\x03\x08Say \"hi\""}};
  for (int i = 0; i < 300; ++i) e.push_back({4, std::string{'\xd0', static_cast<char>(i % 128)}});
  const ImportResult r = Import(96, e);
  EXPECT_EQ(r.score.substr(0, 18), "#title \"Say 'hi'\"\n");
  EXPECT_NE(r.score.find("A Press={208 v}\n"), std::string::npos) << r.score;
  EXPECT_NE(r.score.find("Press0 r96 Press1"), std::string::npos) << r.score;
}

// An export of a song of odd resolution above 32767 scales its tempos to
// the nearest whole division: imported at that odd resolution, they come
// back exactly.
TEST(ScoreLayoutTest, TheTemposOfAnOddResolution) {
  // 40001 ticks a whole note export as division 10000 and tempo 120 as
  // 240000000 * 10000 / (120 * 40001) = 499987 microseconds a quarter.
  const ImportResult r =
      Import(10000, {{0, "\xff\x51\x03" + Be(499987, 3)}, {0, On(60, 80)}, {10000, Off(60)}});
  EXPECT_NE(r.score.find("#clock 40001\n"), std::string::npos) << r.score;
  EXPECT_NE(r.score.find("A ch1 t120\n"), std::string::npos) << r.score;
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(r.report[1],
            "resolution 40001: the tempos of the file are those of this odd resolution");
}

}  // namespace
