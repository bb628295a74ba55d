// The stream compiler and the song image inside whole compilations.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/song/events.h"
#include "compile_helpers.h"

namespace {

std::vector<uint8_t> Image() {
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

TEST(SongCompile, SameTextTwiceGivesTheSameImageAndReport) {
  ASSERT_TRUE(SetUpCompiler());
  const char* text =
      "#clock 480\r\n"
      "%R r1r1r1r1r1r1r1r1r1r1\r\n"
      "B [c d [e]0 / f]3 o9 c&e&g %R%R%R c\r\n"
      "A l8 [cd2d2d2e]2 [ ]4 [c/d] r\r\n"
      "C [c d\r\n";
  int severity = CompileScore(text);
  std::vector<uint8_t> image = Image();
  std::string report = ReportText();
  EXPECT_EQ(3, severity);  // the open loop of track C
  EXPECT_EQ(severity, CompileScore(text));
  EXPECT_EQ(Dump(image), Dump(Image()));
  EXPECT_EQ(report, ReportText());
  // Every stream decodes and ends with 255, 0.
  size_t at = 14;
  int tracks = 0;
  while (at + 2 <= image.size()) {
    size_t size = image[at] | image[at + 1] << 8;
    if (size == 0) break;
    std::string error;
    DecodeStream(image.data() + at + 2, size - 2, 480, &error);
    if (tracks < 2) {
      EXPECT_EQ("", error) << "track " << tracks;
    }
    EXPECT_EQ(255, image[at + size - 2]);
    EXPECT_EQ(0, image[at + size - 1]);
    at += size;
    ++tracks;
  }
  EXPECT_EQ(3, tracks);
  EXPECT_EQ(at + 5, image.size());
}

TEST(SongCompile, ScoreWithoutTracksGivesTheNineteenByteImage) {
  ASSERT_TRUE(SetUpCompiler());
  EXPECT_EQ(0, CompileScore("#clock 192\r\n"));
  EXPECT_EQ("0, 2, 255, 253, 192, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0", Dump(Image()));
}

TEST(SongCompile, RepeatedLoopsWithoutTimeBecomeTheirBodyOnce) {
  ASSERT_TRUE(SetUpCompiler());
  const std::pair<const char*, const char*> cases[] = {
      {"A [[[V1]255]255]20 c d e\n", "A V1 c d e\n"},
      {"A [ [[V1]255]255 r1 ]*\n", "A [ V1 r1 ]*\n"},
      {"A [v100 / ch3]4 [[c]0 V2]3 c\n", "A v100 ch3 V2 c\n"},
  };
  for (const auto& [looped, once] : cases) {
    SCOPED_TRACE(looped);
    EXPECT_EQ(0, CompileScore(once));
    const std::vector<uint8_t> expected = Image();
    EXPECT_EQ(2, CompileScore(looped));
    EXPECT_EQ(Dump(expected), Dump(Image()));
  }
}

// Walks the track list; false when an entry runs past the image.
bool TracksFit(const std::vector<uint8_t>& image, int* tracks) {
  size_t at = 14;
  *tracks = 0;
  while (at + 2 <= image.size()) {
    size_t size = image[at] | image[at + 1] << 8;
    if (size == 0) return at + 5 <= image.size();
    if (size < 4 || at + size > image.size()) return false;
    at += size;
    ++*tracks;
  }
  return false;
}

TEST(SongCompile, LoopLimitsAndStrayLoopCommandsGiveWellFormedImages) {
  ASSERT_TRUE(SetUpCompiler());
  std::string many = "A ";
  for (int i = 0; i < 1100; ++i) many += "[c/d]3 ";
  std::string deep = "B ";
  for (int i = 0; i < 40; ++i) deep += "[c ";
  for (int i = 0; i < 45; ++i) deep += "d]2 / ";
  std::string wide = "D ";  // passes beyond any time a track can hold
  for (int i = 0; i < 30; ++i) wide += "[c ";
  wide += "[c]0";
  for (int i = 0; i < 30; ++i) wide += "]255 ";
  std::string text =
      many + "\r\n" + deep + "\r\nC ]3 / [[/]0 e]*\r\n" + wide + "\r\n";
  EXPECT_EQ(3, CompileScore(text.c_str()));
  int tracks = 0;
  EXPECT_TRUE(TracksFit(Image(), &tracks));
  EXPECT_EQ(4, tracks);
}

// Writes random score text and, beside it, what a listener hears: notes
// with their times, pitches and lengths through loops of every kind.
class ScoreWriter {
 public:
  explicit ScoreWriter(uint32_t seed) : rng_(seed) {}

  std::string Track(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += Item(0);
    return text;
  }
  const std::vector<PlayedNote>& Heard() const { return heard_; }
  int64_t End() const { return time_; }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string Length(int* ticks) {
    static const char* kNames[] = {"", "1", "2", "4", "8", "16", "32", "4.", "8."};
    static const int kTicks[] = {0, 192, 96, 48, 24, 12, 6, 72, 36};
    int i = Pick(0, 8);
    *ticks = i == 0 ? default_length_ : kTicks[i];
    return kNames[i];
  }
  // Appends one command; notes go into the current pass list.
  std::string Item(int depth) {
    int roll = Pick(0, 19);
    int ticks;
    if (roll < 10) {
      static const char kLetters[] = "cdefgab";
      static const int kSemitones[] = {0, 2, 4, 5, 7, 9, 11};
      int letter = Pick(0, 6);
      std::string text = std::string(1, kLetters[letter]) + Length(&ticks) + " ";
      Emit(PlayedNote{0, 12 * (octave_ + 1) + kSemitones[letter], ticks, 255}, ticks);
      return text;
    }
    if (roll < 12) {
      std::string text = "r" + Length(&ticks) + " ";
      Emit(PlayedNote{0, -1, 0, 255}, ticks);
      return text;
    }
    if (roll == 12) {
      octave_ = Pick(1, 8);
      return "o" + std::to_string(octave_) + " ";
    }
    if (roll == 13) {
      static const int kDefaults[] = {192, 96, 48, 24, 12};
      int i = Pick(0, 4);
      default_length_ = kDefaults[i];
      return "l" + std::to_string(192 / kDefaults[i]) + " ";
    }
    if (roll < 17 || depth >= 3) {
      static const char* kControls[] = {"ch3 ", "V100 ", "v90 ", "q6 ", "q-2 ", "@5 "};
      return kControls[Pick(0, 5)];
    }
    return Loop(depth);
  }
  std::string Loop(int depth) {
    static const int kCounts[] = {0, 1, 2, 2, 3, 4};
    const int count = kCounts[Pick(0, 5)];
    const int saved_length = default_length_;
    std::vector<Event>* outer = current_;
    std::vector<Event> body;
    current_ = &body;
    std::string text = "[";
    const int n = Pick(0, 5);
    const int break_at = Pick(0, 2) == 0 ? Pick(0, n) : -1;
    for (int i = 0; i <= n; ++i) {
      if (i == break_at) {
        text += "/ ";
        body.push_back(Event{true, {}, 0});
      }
      if (i < n) text += Item(depth + 1);
    }
    text += "]" + (count == 1 ? std::string() : std::to_string(count)) + " ";
    default_length_ = saved_length;
    current_ = outer;
    for (int pass = 1; pass <= count; ++pass) {
      for (const Event& e : body) {
        if (e.is_break && pass == count) break;
        if (!e.is_break) Emit(e.note, e.step);
      }
    }
    return text;
  }
  struct Event {
    bool is_break;
    PlayedNote note;
    int step;
  };
  void Emit(const PlayedNote& note, int step) {
    if (current_) {
      current_->push_back(Event{false, note, step});
      return;
    }
    if (note.note >= 0) heard_.push_back(PlayedNote{time_, note.note, note.length, 255});
    time_ += step;
  }

  std::mt19937 rng_;
  int default_length_ = 48;
  int octave_ = 4;
  std::vector<Event>* current_ = nullptr;
  std::vector<PlayedNote> heard_;
  int64_t time_ = 0;
};

// Lines of the track, each well below the 4000 bytes a line may hold, cut
// between commands.
std::string TrackLines(const std::string& name, const std::string& commands) {
  std::string text;
  size_t at = 0;
  while (at < commands.size()) {
    size_t end = std::min(commands.size(), at + 1000);
    if (end < commands.size()) end = commands.rfind(' ', end) + 1;
    text += name + " " + commands.substr(at, end - at) + "\r\n";
    at = end;
  }
  return text;
}

TEST(SongCompile, GeneratedScoresPlayBackAsWritten) {
  ASSERT_TRUE(SetUpCompiler());
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    ScoreWriter writer(seed);
    std::string text = TrackLines("A", writer.Track(seed % 50 == 0 ? 3000 : 20 + seed % 60));
    ASSERT_GE(2, CompileScore(text.c_str())) << text << ReportText();
    const uint8_t* image = SongImageBegin();
    size_t size = image[14] | image[15] << 8;
    std::string error;
    std::vector<PlayedNote> heard = DecodeStream(image + 16, size - 2, 192, &error);
    ASSERT_EQ("", error) << text;
    ASSERT_EQ(ToString(writer.Heard()), ToString(heard)) << text;
    int count = 0;
    const EventRecord* events = CompiledTrackEvents(0, &count);
    ASSERT_EQ(writer.End(), events[count - 1].time) << text;
  }
}

}  // namespace
