// Compiler benchmarks, in process:
//   CompilePlainNotes: a 5 MB score of plain notes over 128 tracks.
//   CompileMacroHeavy: a 400 KB score whose tracks are mostly macro calls
//     with arguments, each expanding to eight notes. It stays below the
//     compiler's expansion budget: a larger one ends in an error and most of
//     its tracks are never read, which would flatter the figure.
// Both report the score bytes compiled per second (bytes_per_second). A
// score that does not compile cleanly stops the run: its figure would
// measure a compiler that gave up early.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "compiler/driver/driver.h"

namespace {

constexpr size_t kPlainBytes = 5 * 1000 * 1000;
constexpr size_t kMacroBytes = 400 * 1000;
constexpr int kTracks = 120;  // 128 tracks and the song end would overflow the 128 phase-table entries

// Track names that sort in the order they are made: TA, TB, ... TAA, ...
std::string TrackName(int t) {
  std::string name = "T";
  for (int n = t;; n = n / 26 - 1) {
    name.insert(name.begin() + 1, static_cast<char>('A' + n % 26));
    if (n < 26) break;
  }
  return name;
}

// Lines of about 80 bytes, spread evenly over kTracks tracks, until the
// score holds `bytes` bytes. line(t) gives one line's body for track t.
template <typename Line>
std::string SpreadOverTracks(std::string head, size_t bytes, Line line) {
  std::string text = std::move(head);
  for (int t = 0; text.size() < bytes; t = (t + 1) % kTracks) text += TrackName(t) + line(t) + "\n";
  return text;
}

std::string PlainNotesScore() {
  return SpreadOverTracks("", kPlainBytes, [](int) {
    return std::string(" c8 d8 e8 f8 g8 a8 b8 >c8< c4 e4 g4 c4 d16 e16 f16 g16 a4 g4 f4 e4 d2");
  });
}

std::string MacroHeavyScore() {
  return SpreadOverTracks("%Arp %1 %2 %3 >%1< %3 %2 %1 %2\n@Up > %1 <\n", kMacroBytes, [](int) {
    return std::string(" l16 %Arp(c,e,g) %Arp(d,f,a) %Arp(e,g,b) %Arp(c,%Up(c),e) %Arp(f,a,c)");
  });
}

void RunCompile(benchmark::State& state, const char* name, const std::string& text) {
  Compilation compilation;
  if (!compilation.SetUp()) state.SkipWithError("no memory for the work areas");
  if (const int severity = compilation.Compile(text.c_str()); severity != 0) {
    std::fprintf(stderr, "bench: the %s score does not compile cleanly (severity %d)\n",
                 name, severity);
    std::exit(1);
  }
  for (auto _ : state) benchmark::DoNotOptimize(compilation.Compile(text.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["image_bytes"] = static_cast<double>(compilation.ImageLength());
}

void CompilePlainNotes(benchmark::State& state) {
  static const std::string text = PlainNotesScore();
  RunCompile(state, "plain notes", text);
}
BENCHMARK(CompilePlainNotes)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void CompileMacroHeavy(benchmark::State& state) {
  static const std::string text = MacroHeavyScore();
  RunCompile(state, "macro-heavy", text);
}
BENCHMARK(CompileMacroHeavy)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
