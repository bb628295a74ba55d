// Piano roll benchmarks, on a score of 50,000 notes (10 tracks of 5,000,
// with a macro, chords and nested loops), which must compile without a
// message:
//   RollBuildModel: the roll model built from the image and its source map
//     (the song run silently on a sequencer of its own), in ms.
//   RollPaint/<view>: one full paint of a 1600 x 600 roll as the widget
//     does it: the scene, the picture, and its copy to the window's backing
//     store. View 0 is the whole song fitted in (every note on screen, one
//     in forty outlined), view 1 a working zoom of about eight bars
//     mid-song.
//   RollScene: view 0's scene alone.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"
#include "roll/roll_model.h"
#include "roll/roll_view.h"
#include "shell/qt/roll_paint.h"

namespace {

std::string FiftyThousandNotes() {
  std::string text = "#clock 192\n%Run c8 d8 e8 f8 g8\n";
  for (int t = 0; t < 10; ++t) {
    std::string line(1, static_cast<char>('A' + t));
    line += " ch" + std::to_string(t + 1) + " @" + std::to_string(t * 8) + " o" +
            std::to_string(3 + t % 3) + " V100";
    if (t == 0) line += " t132";
    text += line + " [[%Run c8&e8 g8]25]25\n";
  }
  return text;
}

struct Song {
  std::vector<uint8_t> image;
  SourceMap map;
};

const Song& BenchSong() {
  static const Song song = [] {
    Song s;
    Compilation compilation;
    if (!compilation.SetUp() || compilation.Compile(FiftyThousandNotes().c_str(), &s.map) != 0) {
      std::fprintf(stderr, "bench: the piano roll score does not compile cleanly\n%s",
                   compilation.Report());
      std::exit(1);
    }
    s.image.assign(compilation.ImageBegin(), compilation.ImageBegin() + compilation.ImageLength());
    return s;
  }();
  return song;
}

// Painting text needs the toolkit's fonts: one application, offscreen.
void NeedGui() {
  static int argc = 1;
  static char name[] = "quern_bench";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QGuiApplication> app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
  }();
}

void RollBuildModel(benchmark::State& state) {
  const Song& song = BenchSong();
  size_t notes = 0;
  for (auto _ : state) {
    RollModel model;
    BuildRollModel(song.image.data(), song.image.size(), song.map, &model);
    notes = model.notes.size();
    benchmark::DoNotOptimize(model.notes.data());
  }
  state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(RollBuildModel)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void RollPaint(benchmark::State& state) {
  NeedGui();
  const Song& song = BenchSong();
  RollModel model;
  BuildRollModel(song.image.data(), song.image.size(), song.map, &model);
  const RollIndex index(model);
  RollViewport view;
  view.width = 1600;
  view.height = 600;
  FitRollSong(model, &view);
  if (state.range(0) == 1) {
    const int64_t bar = 192;
    FitRollRange(model, model.end_tick / 2, model.end_tick / 2 + 8 * bar, model.lowest_key,
                 model.highest_key, &view);
  }
  std::vector<uint8_t> outlined(model.notes.size(), 0);
  for (size_t i = 0; i < outlined.size(); i += 40) outlined[i] = 1;
  RollMarks marks;
  marks.outlined = &outlined;
  marks.now = model.end_tick / 2 + 100;
  QImage image(view.width, view.height, QImage::Format_ARGB32_Premultiplied);
  RollScene scene;
  // The window's backing store, which the widget copies its picture to.
  QImage screen(view.width, view.height, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    BuildRollScene(index, view, marks, &scene);
    PaintRollScene(image, model, view, scene);
    QPainter(&screen).drawImage(0, 0, image);
  }
  state.counters["boxes"] = static_cast<double>(scene.notes.size());
  state.counters["notes_in_view"] =
      static_cast<double>(state.range(0) == 0 ? model.notes.size() : scene.notes.size());
}
BENCHMARK(RollPaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The scene alone (what is in view, merged), without painting.
void RollScene(benchmark::State& state) {
  const Song& song = BenchSong();
  RollModel model;
  BuildRollModel(song.image.data(), song.image.size(), song.map, &model);
  const RollIndex index(model);
  RollViewport view;
  view.width = 1600;
  view.height = 600;
  FitRollSong(model, &view);
  std::vector<uint8_t> outlined(model.notes.size(), 0);
  for (size_t i = 0; i < outlined.size(); i += 40) outlined[i] = 1;
  RollMarks marks;
  marks.outlined = &outlined;
  marks.now = model.end_tick / 2 + 100;
  ::RollScene scene;
  for (auto _ : state) BuildRollScene(index, view, marks, &scene);
  state.counters["outlined"] = static_cast<double>(scene.outlined.size());
}
BENCHMARK(RollScene)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
