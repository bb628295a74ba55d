// Live-editing benchmarks, all offline on sequencers of their own:
//   SwapLatency/<song>: an edit swapped in at 80 % of the song. Song 0 is the
//     bundled demo, song 1 a generated score of 10,000 notes on 8 tracks.
//     Each repetition changes one note of the text, compiles it, prepares the
//     swap (both songs run silently to the swap tick and their channel state
//     is compared) and hands it to a playing sequencer, which takes it at its
//     next tick. Reported: the median and p95 of that work in milliseconds,
//     and the same plus the two ticks of lead the player leaves (lead_ms):
//     the time from the edit being compiled to hearing it.
//   SeekTo80Percent/<song>: a fresh load seeked to 80 % of the song, in ms.
//   SilentTicks: ticks per second of a dense 16-track song running silently
//     (a seek to its end), the work a swap or seek does per tick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "files/score_text.h"
#include "player/sequencer.h"
#include "player/song_length.h"
#include "player/song_swap.h"

#ifndef QUERN_SOURCE_DIR
#define QUERN_SOURCE_DIR "."
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::string DemoScore() {
  std::ifstream in(QUERN_SOURCE_DIR "/examples/demo.qrn", std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ScoreForCompiler(file, ScoreReading::kAuto).bytes;
}

// 10,000 notes: 8 tracks of 1,250 eighth notes, with a loop and a macro so
// the source map and the chase have something to do.
std::string TenThousandNotes() {
  std::string text = "#clock 192\n%Run c8 d8 e8 f8 g8\n";
  for (int t = 0; t < 8; ++t) {
    std::string line(1, static_cast<char>('A' + t));
    line += " ch" + std::to_string(t + 1) + " @" + std::to_string(t * 8) + " o4 V100";
    if (t == 0) line += " t120";
    text += line + " [%Run a8 b8 >c8< g8 e8]125\n";
  }
  return text;
}

std::string SongText(int song) { return song == 0 ? DemoScore() : TenThousandNotes(); }

std::vector<uint8_t> CompileOrStop(Compilation& compilation, const std::string& text) {
  if (compilation.Compile(text.c_str()) != 0) {
    std::fprintf(stderr, "bench: a live-editing score does not compile cleanly\n%s",
                 compilation.Report());
    std::exit(1);
  }
  return std::vector<uint8_t>(compilation.ImageBegin(),
                              compilation.ImageBegin() + compilation.ImageLength());
}

int64_t TicksOf(const std::vector<uint8_t>& image) {
  Sequencer song;
  song.Load(image.data(), image.size());
  return MeasureSongLength(song, int64_t{1} << 30, [] { return false; }).ticks;
}

// The text with the length of one note after the middle changed (" c8"
// becomes " c4"), as a musician's edit would, so that the new song differs
// from the playing one.
std::string Edited(std::string text, int repetition) {
  for (size_t at = text.size() / 2; at + 2 < text.size(); ++at) {
    const bool note = text[at] == ' ' && text[at + 1] >= 'c' && text[at + 1] <= 'g' &&
                      (text[at + 2] == '8' || text[at + 2] == '4');
    if (note) {
      text[at + 2] = repetition % 2 == 0 ? '4' : '8';
      break;
    }
  }
  return text;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void SwapLatency(benchmark::State& state) {
  Compilation compilation;
  if (!compilation.SetUp()) return state.SkipWithError("no memory for the work areas");
  const std::string text = SongText(static_cast<int>(state.range(0)));
  const std::vector<uint8_t> old_image = CompileOrStop(compilation, text);
  const int64_t at = TicksOf(old_image) * 8 / 10;
  std::vector<double> work;
  double tick_ms = 0;
  int repetition = 0;
  for (auto _ : state) {
    Sequencer playing;
    playing.Load(old_image.data(), old_image.size());
    playing.Seek(at);
    const std::string edit = Edited(text, repetition++);
    const Clock::time_point start = Clock::now();
    const std::vector<uint8_t> new_image = CompileOrStop(compilation, edit);
    SongSwap swap(old_image.data(), old_image.size(), new_image.data(), new_image.size());
    SwapOffer& offer = swap.PrepareAt(at);
    playing.OfferSwap(&offer);
    playing.Tick();
    const double ms = Ms(Clock::now() - start);
    if (offer.outcome.load() != kSwapTaken) return state.SkipWithError("the swap was not taken");
    work.push_back(ms);
    state.SetIterationTime(ms / 1000);
    tick_ms = playing.Messages().TickLengthMs();
  }
  state.counters["median_ms"] = Percentile(work, 0.5);
  state.counters["p95_ms"] = Percentile(work, 0.95);
  state.counters["with_lead_p95_ms"] = Percentile(work, 0.95) + 2 * tick_ms;
  state.counters["swap_tick"] = static_cast<double>(at);
}
BENCHMARK(SwapLatency)->Arg(0)->Arg(1)->Iterations(60)->UseManualTime()->Unit(
    benchmark::kMillisecond);

void SeekTo80Percent(benchmark::State& state) {
  Compilation compilation;
  if (!compilation.SetUp()) return state.SkipWithError("no memory for the work areas");
  const std::vector<uint8_t> image =
      CompileOrStop(compilation, SongText(static_cast<int>(state.range(0))));
  const int64_t at = TicksOf(image) * 8 / 10;
  Sequencer song;
  for (auto _ : state) {
    song.Load(image.data(), image.size());
    song.Seek(at);
  }
}
BENCHMARK(SeekTo80Percent)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 16 tracks on 16 channels, a chord on every sixteenth note and a moving
// controller on every track, 32 bars long.
std::string DenseScore() {
  std::string text = "#clock 192\n";
  const char* chords[] = {"c&e&g", "d&f&a", "e&g&b", "f&a&~c"};
  for (int t = 0; t < 16; ++t) {
    text += std::string(1, static_cast<char>('A' + t)) + " ch" + std::to_string(t + 1) + " @" +
            std::to_string(t * 5) + " o" + std::to_string(3 + t % 3) + " l16 V20 V110:1^1 " +
            (t == 0 ? "t120 [" : "[");
    for (int i = 0; i < 4; ++i) text += std::string(chords[(i + t) % 4]) + " ";
    text += "]128\n";
  }
  return text;
}

void SilentTicks(benchmark::State& state) {
  Compilation compilation;
  if (!compilation.SetUp()) return state.SkipWithError("no memory for the work areas");
  const std::vector<uint8_t> image = CompileOrStop(compilation, DenseScore());
  const int64_t end = TicksOf(image);
  Sequencer song;
  int64_t ticks = 0;
  for (auto _ : state) {
    song.Load(image.data(), image.size());
    song.Seek(end);
    ticks += end;
  }
  state.counters["ticks_per_s"] =
      benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}
BENCHMARK(SilentTicks)->Unit(benchmark::kMillisecond);

}  // namespace
