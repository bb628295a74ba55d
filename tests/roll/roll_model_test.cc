#include "roll/roll_model.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "live/play_range.h"
#include "player/sequencer.h"

namespace {

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

// What "quern map" prints: TICK TRACK LINE:COL [< LINE:COL]..., from the scan.
std::string ScanLines(const Song& song) {
  std::string out;
  ScanStruckNotes(song.image.data(), song.image.size(), kScanTicks, [&](const StruckNote& n) {
    out += std::to_string(n.tick) + " " + std::to_string(n.track);
    if (const NoteSource* note = song.map.Find(n.track, n.offset)) {
      out += " " + Place(note->place);
      for (const SourcePlace& call : note->calls) out += " < " + Place(call);
    }
    out += "\n";
    return true;
  });
  return out;
}

std::string ModelLines(const RollModel& model) {
  std::string out;
  for (const RollNote& n : model.notes) {
    out += std::to_string(n.tick) + " " + std::to_string(n.track);
    if (const NoteSource* note = model.Source(n)) {
      out += " " + Place(note->place);
      for (const SourcePlace& call : note->calls) out += " < " + Place(call);
    }
    out += "\n";
  }
  return out;
}

// The note-ons "quern trace" prints: TICK CHANNEL KEY VELOCITY, read from the
// messages a plain sequencer sends.
class NoteOnSink : public MessageSink {
 public:
  explicit NoteOnSink(const Sequencer& song) : song_(song) {}
  void SendShort(const uint8_t* b, int length) override {
    if (length == 3 && (b[0] & 0xF0) == 0x90 && b[2] > 0) {
      out += std::to_string(song_.TickCount()) + " " + std::to_string(b[0] & 0x0F) + " " +
             std::to_string(b[1]) + " " + std::to_string(b[2]) + "\n";
    }
  }
  bool SendLong(const uint8_t*, int) override { return true; }
  std::string out;

 private:
  const Sequencer& song_;
};

std::string TraceNoteOns(const Song& song) {
  Sequencer sequencer;
  NoteOnSink sink(sequencer);
  sequencer.SetSink(&sink);
  EXPECT_TRUE(sequencer.Load(song.image.data(), song.image.size()));
  while (!sequencer.Finished() && sequencer.TickCount() < kRollTicks) sequencer.Tick();
  return sink.out;
}

std::string ModelNoteOns(const RollModel& model) {
  std::string out;
  for (const RollNote& n : model.notes) {
    out += std::to_string(n.tick) + " " + std::to_string(n.channel) + " " + std::to_string(n.key) +
           " " + std::to_string(n.velocity) + "\n";
  }
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The model holds exactly the notes the map and the trace show: tick, track
// and place as the scan matches them, channel, key and velocity as sent.
TEST(RollModelTest, NotesEqualTheMapAndTheTrace) {
  const std::vector<std::string> scores = {
      "A c d e f\n",
      "A c&e&g c\n",
      "A [c / d]3 e\n",
      "A [c [d e]2]2 f\n",
      "%M c d\nA %M e %M\n",
      "%In c %1\n%Out %In(%1) g\nA %Out(e)\n",
      "A c\n*A d\n+ e\nB f\n",
      "A c d e f g\nB r c d e\nC r r c&e\n",
      "A t150 c d t90 e\nB c d e f\n",
      "A v60 c v100 d\n",
      "A c4&e4&g4 c2:8&e4 [c&g d]2\n",
      "A \"one\" c d \"two\" e\nB \"one\" f g a \"two\" b\n",
      "%C c&e %1\nA u2 [%C(g) | r]2 o5 ~c _d\nB ch10 @3 l8 [c c+ d]4\n",
      ReadFile(QUERN_SOURCE_DIR "/examples/demo.qrn"),
  };
  for (const std::string& score : scores) {
    const Song song = Compile(score);
    RollModel model;
    ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model));
    EXPECT_FALSE(model.notes.empty()) << score;
    EXPECT_EQ(ScanLines(song), ModelLines(model)) << score;
    EXPECT_EQ(TraceNoteOns(song), ModelNoteOns(model)) << score;
    EXPECT_FALSE(model.bounded) << score;
  }
}

TEST(RollModelTest, AnEndlessSongIsCutAtTheBoundAndSaysSo) {
  const Song song = Compile("A [c d]*\n");
  RollModel model;
  ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model, 4800));
  EXPECT_TRUE(model.bounded);
  ASSERT_FALSE(model.notes.empty());
  EXPECT_LT(model.notes.back().tick, 4800);
  EXPECT_EQ(model.Source(model.notes.front()),
            model.Source(model.notes[2]));  // one place, many passes
}

// The note-on's own velocity, also for two tracks that strike one key on
// one channel in the same tick, and the grid of each track's "u".
TEST(RollModelTest, VelocityPerNoteAndBarLengthPerTrack) {
  const Song song = Compile("A u1 v40 c\nB u2 v90 c\n");
  RollModel model;
  ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model));
  ASSERT_EQ(2u, model.notes.size());
  EXPECT_EQ(40, model.notes[0].velocity);
  EXPECT_EQ(90, model.notes[1].velocity);
  EXPECT_EQ(192, model.BarTicks(0));
  EXPECT_EQ(96, model.BarTicks(1));
  EXPECT_EQ(192, model.RulerBarTicks());
}

// A damaged image whose octave base puts a note above 127 on channel 16:
// the note keeps its key (the sequencer sends its low eight bits) and its
// velocity, and nothing is written outside the model.
TEST(RollModelTest, NotesAboveTheMidiRangeOfADamagedImage) {
  Song song = Compile("A ch16 v77 o9 g\n");
  bool patched = false;
  for (size_t i = 0; i + 1 < song.image.size() && !patched; ++i) {
    if (song.image[i] == 63 && song.image[i + 1] == 96) {
      song.image[i + 1] = 216;
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  RollModel model;
  ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model));
  ASSERT_EQ(1u, model.notes.size());
  EXPECT_EQ(247, model.notes[0].key);
  EXPECT_EQ(15, model.notes[0].channel);
  EXPECT_EQ(77, model.notes[0].velocity);
  EXPECT_EQ(247, model.highest_key);
}

TEST(RollModelTest, ACancelledBuildGivesAnEmptyModel) {
  const Song song = Compile("A [c d]*\n");
  std::atomic<bool> cancel{true};
  RollModel model;
  EXPECT_FALSE(
      BuildRollModel(song.image.data(), song.image.size(), song.map, &model, kRollTicks, &cancel));
  EXPECT_TRUE(model.notes.empty());
}

// However many ticks are asked for, an endless song stops at the most notes
// a model holds, at the end of the tick that reached it, and says so.
TEST(RollModelTest, AnEndlessSongStopsAtTheMostNotes) {
  const Song song = Compile("A l64 [c&d&e&f]*\n");
  RollModel model;
  ASSERT_TRUE(
      BuildRollModel(song.image.data(), song.image.size(), song.map, &model, int64_t{1} << 40));
  EXPECT_TRUE(model.bounded);
  EXPECT_GE(model.notes.size(), kRollMaxNotes);
  EXPECT_LT(model.notes.size(), kRollMaxNotes + 4);
  EXPECT_GT(model.end_tick, model.notes.back().tick);
}

TEST(RollModelTest, TempoChangesKeepTheirTicks) {
  const Song song = Compile("A t150 c d t90 e\n");
  RollModel model;
  ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model));
  ASSERT_GE(model.tempos.size(), 2u);
  const TempoChange last = model.tempos.back();
  EXPECT_EQ(90, last.quarters_per_minute);
  EXPECT_EQ(model.notes[2].tick, last.tick);  // set in the tick that strikes "e"
  EXPECT_EQ(150, model.tempos[model.tempos.size() - 2].quarters_per_minute);
}

TEST(RollModelTest, NotAnImageGivesAnEmptyModel) {
  const uint8_t junk[] = {1, 2, 3, 4, 5};
  RollModel model;
  model.notes.push_back(RollNote{});
  EXPECT_FALSE(BuildRollModel(junk, sizeof junk, SourceMap{}, &model));
  EXPECT_TRUE(model.notes.empty());
}

// Text to picture: the caret on a note, or on a macro call, finds every pass
// and every expansion.
TEST(RollModelTest, PlacesFindEveryPassAndExpansion) {
  const Song song = Compile("%M g\nA [c d]3 %M %M\n");
  RollModel model;
  ASSERT_TRUE(BuildRollModel(song.image.data(), song.image.size(), song.map, &model));
  auto ticks = [&](SourcePlace caret, SourcePlace end = SourcePlace{}) {
    std::string out;
    for (size_t i : NotesAtPlace(model, caret, end)) {
      out += std::to_string(model.notes[i].tick) + " ";
    }
    return out;
  };
  EXPECT_EQ("1 97 193 ", ticks({1, 3}));                     // "c" in the loop: all three passes
  EXPECT_EQ("49 145 241 ", ticks({1, 5}));                   // on "d"
  EXPECT_EQ("337 ", ticks({1, 13}));                         // the second call
  EXPECT_EQ("289 337 ", ticks({0, 3}));                      // "g" in the macro: both expansions
  EXPECT_EQ("289 337 ", ticks({1, 9}, {1, 14}));             // a selection of both calls
  EXPECT_EQ("1 49 97 145 193 241 ", ticks({1, 0}, {1, 8}));  // the loop selected
  EXPECT_EQ("", ticks({2, 0}));
  EXPECT_EQ("", ticks({1, 0}));  // before the line's first note
}

}  // namespace
