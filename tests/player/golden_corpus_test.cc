// The golden corpus: 2,000 random scores (scripts/golden-corpus.py), and a
// few written by hand for faults the random ones missed (case 2000 on), with
// what `quern compile`, `quern events` and `quern trace` made of them when
// they were recorded. Every case is compiled and traced again in process and
// must give the same bytes: report and exit status, final event records, song
// image and the bounded trace.
//
// With QUERN_GOLDEN_RECORD=1 in the environment the test writes what it
// made back into the corpus instead of comparing (for a behaviour that is
// meant to change; check the difference with git diff before committing).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/song/events.h"
#include "player/messages.h"
#include "player/midi_output.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

constexpr int kShards = 8;
constexpr int64_t kTraceTicks = 800;  // as the corpus script passes to --ticks

struct GoldenCase {
  std::string id, score, compile, events, image, trace;
  bool has_image = false;
};

// Reads "@@ NAME LENGTH\n" sections, each followed by LENGTH bytes and "\n".
// A malformed file gives what was read before the fault and sets *ok false.
std::vector<GoldenCase> ReadShard(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<GoldenCase> cases;
  *ok = in.good() || in.eof();
  size_t at = 0;
  while (*ok && at < all.size()) {
    const size_t line_end = all.find('\n', at);
    char name[16] = {};
    size_t length = 0;
    if (line_end == std::string::npos ||
        std::sscanf(all.c_str() + at, "@@ %15s %zu", name, &length) != 2 ||
        line_end + 1 + length >= all.size() + 1) {
      *ok = false;
      break;
    }
    std::string data = all.substr(line_end + 1, length);
    at = line_end + 1 + length + 1;
    const std::string section = name;
    if (section == "case") {
      cases.emplace_back().id = data;
    } else if (cases.empty()) {
      *ok = false;
    } else if (section == "score") {
      cases.back().score = data;
    } else if (section == "compile") {
      cases.back().compile = data;
    } else if (section == "events") {
      cases.back().events = data;
    } else if (section == "image") {
      cases.back().image = data;
      cases.back().has_image = true;
    } else if (section == "trace") {
      cases.back().trace = data;
    }
  }
  return cases;
}

// What `quern compile --report-encoding cp932` prints: its exit status on
// the first line (as the corpus stores it), the report, and the image size.
std::string CompileOutput(int severity) {
  std::string out = severity > 2 ? "1\n" : "0\n";
  out += ReportText();
  if (severity <= 2) out += "Object Size : " + std::to_string(SongImageLength()) + " bytes\n";
  return out;
}

// What `quern events` prints.
std::string EventsOutput() {
  std::string out;
  for (int track = 0; track < CompiledTrackCount(); ++track) {
    out += std::string("Track ") + CompiledTrackName(track) + "\n";
    int count = 0;
    const EventRecord* records = CompiledTrackEvents(track, &count);
    for (int i = 0; i < count; ++i) {
      out += std::to_string(records[i].time) + " " + std::to_string(records[i].kind) + " " +
             std::to_string(records[i].param) + " " + std::to_string(records[i].value) + "\n";
    }
  }
  return out;
}

std::string Hex(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

// What `quern trace SONG.xrt --ticks 800` prints for the image.
std::string TraceOutput(const std::vector<uint8_t>& image) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  std::string text;
  if (LoadSong(image.data(), image.size())) {
    SetTempo(120);
    for (int64_t tick = 0; tick < kTraceTicks && !SongFinished(); ++tick) SequencerTick();
    SilenceNotes();
    text = out->Text();
  }
  CloseMidiDevices();
  return text;
}

std::string Section(const std::string& name, const std::string& data) {
  return "@@ " + name + " " + std::to_string(data.size()) + "\n" + data + "\n";
}

class GoldenCorpusTest : public ::testing::TestWithParam<int> {};

TEST_P(GoldenCorpusTest, ReportEventsImageAndTraceUnchanged) {
  char name[32];
  std::snprintf(name, sizeof name, "/corpus-%02d.txt", GetParam());
  bool ok = false;
  const std::vector<GoldenCase> cases = ReadShard(QUERN_GOLDEN_DIR + std::string(name), &ok);
  ASSERT_TRUE(ok) << name << " is malformed or missing";
  ASSERT_GT(cases.size(), 200u);
  ASSERT_TRUE(SetUpCompiler());
  const bool record = std::getenv("QUERN_GOLDEN_RECORD") != nullptr;
  std::string recorded;
  int failures = 0;
  for (const GoldenCase& c : cases) {
    const int severity = CompileScore(c.score.c_str());
    std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
    const std::string compile = CompileOutput(severity);
    const std::string events = EventsOutput();
    if (record) {
      recorded += Section("case", c.id) + Section("score", c.score) + Section("compile", compile) +
                  Section("events", events);
      if (severity <= 2) {
        recorded += Section("image", Hex(image.data(), image.size())) +
                    Section("trace", TraceOutput(image));
      }
      continue;
    }
    EXPECT_EQ(c.compile, compile) << "case " << c.id;
    EXPECT_EQ(c.events, events) << "case " << c.id;
    EXPECT_EQ(c.has_image, severity <= 2) << "case " << c.id;
    if (c.has_image && severity <= 2) {
      EXPECT_EQ(c.image, Hex(image.data(), image.size())) << "case " << c.id;
      EXPECT_EQ(c.trace, TraceOutput(image)) << "case " << c.id;
    }
    if (HasFailure() && ++failures >= 5) break;  // a few cases say enough
  }
  ReleaseCompiler();
  if (record) {
    std::ofstream out(QUERN_GOLDEN_DIR + std::string(name), std::ios::binary | std::ios::trunc);
    out << recorded;
    EXPECT_TRUE(out.flush().good()) << name << " could not be written";
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, GoldenCorpusTest, ::testing::Range(0, kShards));

}  // namespace
