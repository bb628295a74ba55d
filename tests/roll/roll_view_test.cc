#include "roll/roll_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// A model made by hand: notes sorted by tick, as the builder gives them.
RollModel RandomModel(std::mt19937& random, int count, int tracks) {
  RollModel model;
  model.resolution = 192;
  model.bar_ticks.assign(static_cast<size_t>(tracks), 192);
  int64_t tick = 1;
  for (int i = 0; i < count; ++i) {
    tick += std::uniform_int_distribution<int>(0, 3)(random) == 0
                ? 0
                : std::uniform_int_distribution<int>(1, 120)(random);
    RollNote n;
    n.tick = tick;
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    n.gate = kind == 0   ? 0
             : kind == 1 ? std::uniform_int_distribution<int>(500, 5000)(random)
                         : std::uniform_int_distribution<int>(1, 100)(random);
    n.key = std::uniform_int_distribution<int>(40, 80)(random);
    n.velocity = std::uniform_int_distribution<int>(1, 127)(random);
    n.track = std::uniform_int_distribution<int>(0, tracks - 1)(random);
    model.lowest_key = std::min(model.lowest_key, n.key);
    model.highest_key = std::max(model.highest_key, n.key);
    model.notes.push_back(n);
  }
  for (const RollNote& n : model.notes) model.end_tick = std::max(model.end_tick, model.NoteEnd(n));
  return model;
}

RollViewport RandomView(std::mt19937& random, const RollModel& model) {
  RollViewport v;
  v.width = std::uniform_int_distribution<int>(100, 1200)(random);
  v.height = std::uniform_int_distribution<int>(60, 500)(random);
  v.px_per_tick = std::pow(10.0, std::uniform_real_distribution<double>(-4, 1)(random));
  v.left =
      std::uniform_real_distribution<double>(-100, static_cast<double>(model.end_tick))(random);
  v.row_height = std::uniform_int_distribution<int>(2, 16)(random);
  v.top = std::uniform_int_distribution<int>(50, 100)(random);
  return v;
}

// Visible as the scene should find it, from the definition alone.
bool InView(const RollModel& model, const RollViewport& v, const RollNote& n) {
  const double x0 = v.X(static_cast<double>(n.tick));
  const double x1 = v.X(static_cast<double>(model.NoteEnd(n)));
  const int top = std::clamp(v.KeyAt(v.ruler_height), 0, 127);
  const int low = std::clamp(v.KeyAt(v.height - 1), 0, top);
  return std::min(x1, double(v.width)) >= std::max(x0, double(v.keys_width)) && n.key >= low &&
         n.key <= top;
}

TEST(RollIndexTest, FindsWhatAPlainSearchFinds) {
  std::mt19937 random(24);
  for (int round = 0; round < 40; ++round) {
    const RollModel model = RandomModel(random, 1 + round * 17, 3);
    const RollIndex index(model);
    for (int q = 0; q < 50; ++q) {
      const int64_t from = std::uniform_int_distribution<int64_t>(-10, model.end_tick + 10)(random);
      const int64_t to = from + std::uniform_int_distribution<int64_t>(0, 3000)(random);
      std::vector<uint32_t> expected, found;
      for (size_t i = 0; i < model.notes.size(); ++i) {
        const RollNote& n = model.notes[i];
        if (n.tick < to && model.NoteEnd(n) > from) expected.push_back(static_cast<uint32_t>(i));
      }
      index.NotesIn(from, to, &found);
      ASSERT_EQ(expected, found) << "round " << round << " [" << from << ", " << to << ")";
    }
  }
}

// Every note in view lies under a box of its track on its row; every box is
// made of notes of its track (merging never covers ground no note has); the
// outlined and sounding lists hold exactly the notes they should.
TEST(RollSceneTest, BoxesCoverTheNotesInViewAndNothingElse) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const RollModel model = RandomModel(random, 1 + round * 5, 4);
    const RollIndex index(model);
    const RollViewport v = RandomView(random, model);
    std::vector<bool> sounding = {true, false, true, true};
    std::vector<uint8_t> outlined(model.notes.size());
    for (auto& o : outlined) o = std::uniform_int_distribution<int>(0, 4)(random) == 0;
    RollMarks marks;
    marks.sounding_tracks = &sounding;
    marks.outlined = &outlined;
    marks.now = std::uniform_int_distribution<int64_t>(0, model.end_tick)(random);
    RollScene scene;
    BuildRollScene(index, v, marks, &scene);
    std::vector<uint32_t> expect_outlined, expect_sounding, got_outlined, got_sounding;
    for (size_t i = 0; i < model.notes.size(); ++i) {
      const RollNote& n = model.notes[i];
      if (!InView(model, v, n)) continue;
      const double x = std::max(v.X(double(n.tick)), double(v.keys_width));
      const float y = static_cast<float>(v.Y(n.key));
      const bool covered =
          std::any_of(scene.notes.begin(), scene.notes.end(), [&](const RollBox& b) {
            return b.track == n.track && b.y == y && b.x <= x + 1e-3 && x < b.x + b.w + 1e-3 &&
                   b.muted == !sounding[n.track];
          });
      ASSERT_TRUE(covered) << "round " << round << " note " << i;
      if (outlined[i]) expect_outlined.push_back(static_cast<uint32_t>(i));
      if (sounding[n.track] && marks.now > 0 && n.tick <= marks.now &&
          marks.now < model.NoteEnd(n)) {
        expect_sounding.push_back(static_cast<uint32_t>(i));
      }
    }
    for (const RollBox& b : scene.notes) {
      // Some note of the track on the row starts within a pixel of the box
      // and none leaves a gap of more than a pixel inside it.
      std::vector<std::pair<double, double>> spans;
      for (const RollNote& n : model.notes) {
        if (n.track == b.track && static_cast<float>(v.Y(n.key)) == b.y) {
          spans.push_back({v.X(double(n.tick)),
                           std::max(v.X(double(model.NoteEnd(n))), v.X(double(n.tick)) + 1)});
        }
      }
      std::sort(spans.begin(), spans.end());
      double reach = b.x;
      for (const auto& [x0, x1] : spans) {
        if (x1 < b.x || x0 > b.x + b.w) continue;
        ASSERT_LE(x0, reach + 1.0) << "round " << round << ": a box covers a gap";
        reach = std::max(reach, x1);
      }
      ASSERT_GE(reach + 1e-3, b.x + b.w - 1.0) << "round " << round;
    }
    for (const RollNoteBox& b : scene.outlined) got_outlined.push_back(b.note);
    for (const RollNoteBox& b : scene.sounding) got_sounding.push_back(b.note);
    ASSERT_EQ(expect_outlined, got_outlined) << "round " << round;
    ASSERT_EQ(expect_sounding, got_sounding) << "round " << round;
  }
}

// A whole song of thin notes merges into far fewer boxes than notes.
TEST(RollSceneTest, AWholeDenseSongMergesIntoFewBoxes) {
  RollModel model;
  model.bar_ticks = {192};
  for (int i = 0; i < 50000; ++i) {
    model.notes.push_back(RollNote{1 + int64_t{i} * 24, 20, 60 + i % 5, 100, 0, 0, 0, -1});
  }
  model.lowest_key = 60;
  model.highest_key = 64;
  model.end_tick = model.NoteEnd(model.notes.back());
  const RollIndex index(model);
  RollViewport v;
  v.width = 1600;
  v.height = 600;
  FitRollSong(model, &v);
  RollScene scene;
  BuildRollScene(index, v, RollMarks{}, &scene);
  EXPECT_LE(scene.notes.size(), 5u * 1600u);
  EXPECT_GE(scene.notes.size(), 5u);
}

TEST(RollSceneTest, ExactGeometry) {
  RollModel model;
  model.resolution = 192;
  model.bar_ticks = {96};
  model.notes = {RollNote{1, 48, 60, 127, 0, 0, 0, -1}, RollNote{49, 48, 62, 0, 0, 0, 0, -1},
                 RollNote{97, 0, 64, 64, 0, 0, 0, -1}};
  model.tempos = {{1, 120}, {10, 121}, {97, 90}};
  model.lowest_key = 60;
  model.highest_key = 64;
  model.end_tick = 193;
  const RollIndex index(model);
  RollViewport v;
  v.width = 44 + 400;
  v.height = 24 + 8 * 10;
  v.left = 1;
  v.px_per_tick = 2;
  v.top = 66;
  v.row_height = 8;
  RollMarks marks;
  marks.now = 50;
  RollScene scene;
  BuildRollScene(index, v, marks, &scene);
  ASSERT_EQ(3u, scene.notes.size());
  EXPECT_EQ(44, scene.notes[0].x);
  EXPECT_EQ(96, scene.notes[0].w);
  EXPECT_EQ(24 + 6 * 8, scene.notes[0].y);  // key 60, six rows under 66
  EXPECT_EQ(140, scene.notes[1].x);
  EXPECT_EQ(24 + 4 * 8, scene.notes[1].y);
  EXPECT_EQ(236, scene.notes[2].x);
  EXPECT_EQ(24, scene.notes[2].w);  // held: a sixteenth, 12 ticks
  EXPECT_FLOAT_EQ(1.0f, scene.notes[0].opacity);
  EXPECT_FLOAT_EQ(0.25f, scene.notes[1].opacity);
  EXPECT_EQ(57, scene.low_key);
  EXPECT_EQ(66, scene.high_key);
  EXPECT_EQ((std::vector<float>{44, 236, 428}), scene.bar_lines);
  EXPECT_EQ((std::vector<float>{140, 332}), scene.beat_lines);
  ASSERT_EQ(3u, scene.bar_numbers.size());
  EXPECT_EQ(3, scene.bar_numbers[2].bar);
  // The tempo set at tick 10 stands too close to the one at 1.
  ASSERT_EQ(2u, scene.tempos.size());
  EXPECT_EQ(90, scene.tempos[1].tempo);
  EXPECT_EQ(44 + 49 * 2, scene.playhead);
  ASSERT_EQ(1u, scene.sounding.size());
  EXPECT_EQ(1u, scene.sounding[0].note);

  // Hits: the middle of a note, beside it, the ruler.
  EXPECT_EQ(1, HitRollNote(index, v, 150, 24 + 4 * 8 + 3));
  EXPECT_EQ(-1, HitRollNote(index, v, 150, 24 + 5 * 8 + 3));
  EXPECT_EQ(-1, HitRollNote(index, v, 20, 24 + 4 * 8 + 3));  // on the keyboard
  EXPECT_EQ(97, HitRollBar(model, v, 240, 10));
  EXPECT_EQ(1, HitRollBar(model, v, 44, 10));
  EXPECT_EQ(-1, HitRollBar(model, v, 240, 30));
}

// A bar of a billion ticks zoomed in: only the beats in view are visited.
TEST(RollSceneTest, AHugeBarDrawsOnlyTheBeatsInView) {
  RollModel model;
  model.resolution = 4;  // beats of one tick
  model.bar_ticks = {1 << 30};
  model.notes = {RollNote{1, 1 << 30, 60, 100, 0, 0, 0, -1}};
  model.end_tick = (1 << 30) + 1;
  const RollIndex index(model);
  RollViewport v;
  v.px_per_tick = 8;
  v.left = 1000;
  RollScene scene;
  BuildRollScene(index, v, RollMarks{}, &scene);
  EXPECT_EQ(0u, scene.bar_lines.size());
  EXPECT_EQ(95u, scene.beat_lines.size());  // ticks 999 to 1093
}

TEST(RollHitTest, OverlapsGiveTheLaterAndThinNotesCanBeHit) {
  RollModel model;
  model.bar_ticks = {192};
  model.notes = {RollNote{1, 400, 60, 100, 0, 0, 0, -1}, RollNote{100, 10, 60, 100, 0, 1, 0, -1},
                 RollNote{1000, 1, 62, 100, 0, 0, 0, -1}};
  model.end_tick = 1001;
  model.bar_ticks = {192, 192};
  const RollIndex index(model);
  RollViewport v;
  v.left = 1;
  v.px_per_tick = 0.5;
  v.top = 70;
  const double y60 = v.Y(60) + 2, y62 = v.Y(62) + 2;
  EXPECT_EQ(1, HitRollNote(index, v, v.X(104), y60));
  EXPECT_EQ(0, HitRollNote(index, v, v.X(300), y60));
  EXPECT_EQ(2, HitRollNote(index, v, v.X(1000) + 1.5, y62));  // half a pixel wide
  EXPECT_EQ(-1, HitRollNote(index, v, v.X(1000) + 6, y62));
}

// Moves keep the view in bounds; a fitted song shows every note; zooming
// keeps the tick under the mouse.
TEST(RollViewportTest, FitZoomAndFollow) {
  std::mt19937 random(3);
  for (int round = 0; round < 100; ++round) {
    const RollModel model = RandomModel(random, 1 + round * 3, 2);
    RollViewport v = RandomView(random, model);
    v.height = std::max(v.height, 200);  // room for every key of the song
    FitRollSong(model, &v);
    for (const RollNote& n : model.notes) {
      ASSERT_GE(v.X(double(n.tick)), v.keys_width - 1e-6) << round;
      ASSERT_LE(v.X(double(model.NoteEnd(n))), v.width + 1e-6) << round;
      ASSERT_GE(v.Y(n.key), v.ruler_height - 1e-6) << round;
      ASSERT_LE(v.Y(n.key) + v.row_height, v.height + 1e-6) << round;
    }
    const double px = v.px_per_tick;
    ZoomRollTime(model, 2, std::uniform_real_distribution<double>(v.keys_width, v.width)(random),
                 &v);
    EXPECT_TRUE(v.px_per_tick == kRollMaxPxPerTick || std::abs(v.px_per_tick - 2 * px) < 1e-9);
    const RollViewport zoomed = v;
    ClampRollView(model, &v);
    EXPECT_EQ(zoomed.left, v.left);
    EXPECT_EQ(zoomed.top, v.top);
    const RollNote& last = model.notes.back();
    ShowRollNote(model, static_cast<uint32_t>(model.notes.size() - 1), &v);
    EXPECT_GE(double(last.tick), v.left) << round;
    EXPECT_LT(double(last.tick), v.RightTick()) << round;
    FollowRollTick(model, last.tick, &v);
    EXPECT_GE(double(last.tick), v.left) << round;
    EXPECT_LT(double(last.tick), v.RightTick()) << round;
  }
}

TEST(RollViewportTest, ZoomKeepsTheTickUnderTheMouse) {
  RollModel model;
  model.bar_ticks = {192};
  model.notes = {RollNote{1, 100000, 60, 100, 0, 0, 0, -1}};
  model.end_tick = 100001;
  RollViewport v;
  v.px_per_tick = 0.01;
  v.left = 20000;
  const double x = 500, tick = v.TickAt(x);
  ZoomRollTime(model, 2, x, &v);
  EXPECT_DOUBLE_EQ(0.02, v.px_per_tick);
  EXPECT_NEAR(tick, v.TickAt(x), 1e-6);
  ZoomRollTime(model, 0.5, x, &v);
  EXPECT_NEAR(tick, v.TickAt(x), 1e-6);
  const double key = v.top - (150.0 - v.ruler_height) / v.row_height;
  ZoomRollKeys(model, 2, 150, &v);
  EXPECT_EQ(16, v.row_height);
  EXPECT_NEAR(key, v.top - (150.0 - v.ruler_height) / v.row_height, 1e-6);
}

}  // namespace
