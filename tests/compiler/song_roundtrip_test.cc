// Generated tracks compiled and played back: every note must sound at the
// time, pitch and length the score gives it, through loops, breaks, removed
// and unrolled loops, octave jumps, chords and waits of any size.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compile_helpers.h"
#include "compiler/driver/work_areas.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"

namespace {

struct Item {
  enum Kind { kNote, kRest, kControl, kLoop } kind;
  int a = 0, b = 0, c = 0, d = 0;  // note: pitch, length, step, accent; rest: ticks;
                                   // control: kind, param, value
  int count = 2;                   // loop passes
  int break_at = -1;               // loop: index in body of the break, or -1
  std::vector<Item> body = {};
};

class ScoreGenerator {
 public:
  ScoreGenerator(uint32_t seed, bool loops) : rng_(seed), loops_(loops) {}

  std::vector<Item> Items(int depth, int n) {
    std::vector<Item> items;
    for (int i = 0; i < n; ++i) items.push_back(One(depth));
    return items;
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  int Ticks() {
    switch (Pick(0, 9)) {
      case 0:
        return 0;
      case 1:
        return Pick(1, 300);
      case 2:
        return Pick(3000, 5000);
      case 3:
        return Pick(65000, 140000);
      default:
        return 24 * Pick(1, 4);
    }
  }
  Item One(int depth) {
    int roll = Pick(0, 19);
    if (roll < 12) {
      Item note{Item::kNote};
      note.a = Pick(0, 5) == 0 ? Pick(0, 127) : Pick(40, 80);
      note.b = Pick(0, 2) == 0 ? std::min(Ticks(), 65535) : 48;
      note.c = Pick(0, 2) == 0 ? Ticks() : note.b;
      note.d = Pick(0, 9) == 0 ? Pick(0, 127) : 255;
      return note;
    }
    if (roll < 14) return Item{Item::kRest, Ticks()};
    if (roll < 18 || depth >= 3 || !loops_) {
      static const int kKinds[] = {kEventChannel, kEventAbsoluteGate, kEventAttribute,
                                   kEventProgram, kEventNotesHeld,    kEventDirectOut};
      Item control{Item::kControl};
      control.a = kKinds[Pick(0, 5)];
      control.b = Pick(0, 130);
      control.c = Pick(0, 12000);
      if (control.a == kEventDirectOut) control.c = Pick(0, 255);
      return control;
    }
    Item loop{Item::kLoop};
    static const int kCounts[] = {0, 1, 2, 2, 3, 4, 255};
    loop.count = kCounts[Pick(0, 6)];
    if (loop.count == 255 && (depth > 0 || Pick(0, 3))) loop.count = 2;
    loop.body = Items(depth + 1, Pick(0, 6));
    if (Pick(0, 2) == 0) loop.break_at = Pick(0, static_cast<int>(loop.body.size()));
    return loop;
  }

  std::mt19937 rng_;
  bool loops_;
};

// Appends the records the score commands would make, with their loop rules.
void Record(const std::vector<Item>& items, TableBuilder& t, int64_t& pos) {
  for (const Item& item : items) {
    switch (item.kind) {
      case Item::kNote:
        t.Note(static_cast<int>(pos), item.a, item.b, item.d);
        pos += item.c;
        break;
      case Item::kRest:
        pos += item.a;
        break;
      case Item::kControl:
        t.Add(static_cast<int>(pos), item.a, item.b, item.c);
        break;
      case Item::kLoop: {
        const int64_t start = pos;
        int64_t break_time = -1;
        int loop = t.Open(static_cast<int>(pos));
        for (size_t i = 0; i <= item.body.size(); ++i) {
          if (static_cast<int>(i) == item.break_at) {
            t.Break(loop, static_cast<int>(pos));
            break_time = pos;
          }
          if (i < item.body.size()) Record({item.body[i]}, t, pos);
        }
        t.Close(loop, static_cast<int>(pos), item.count);
        if (item.count > 0) {
          const int64_t body = pos - start;
          const int64_t tail = break_time >= 0 ? pos - break_time : 0;
          pos += (item.count - 1) * body - tail;
        }
        t.Exit(static_cast<int>(pos));
        break;
      }
    }
  }
}

// What a listener hears: count 0 plays nothing, the last pass stops at the
// break, a repeated loop whose pass takes no time plays its body once.
void Play(const std::vector<Item>& items, int64_t& time, std::vector<PlayedNote>& out) {
  for (const Item& item : items) {
    switch (item.kind) {
      case Item::kNote:
        out.push_back(PlayedNote{time, item.a, item.b, item.d});
        time += item.c;
        break;
      case Item::kRest:
        time += item.a;
        break;
      case Item::kControl:
        break;
      case Item::kLoop: {
        std::vector<PlayedNote> one_pass;
        int64_t pass_end = time;
        Play(item.body, pass_end, one_pass);
        if (item.count >= 2 && pass_end == time) {
          out.insert(out.end(), one_pass.begin(), one_pass.end());
          break;
        }
        for (int pass = 1; pass <= item.count; ++pass) {
          for (size_t i = 0; i < item.body.size(); ++i) {
            if (pass == item.count && static_cast<int>(i) == item.break_at) break;
            Play({item.body[i]}, time, out);
          }
        }
        break;
      }
    }
  }
}

bool HasLoop(const std::vector<Item>& items) {
  for (const Item& item : items) {
    if (item.kind == Item::kLoop) return true;
  }
  return false;
}

TEST(RoundTrip, GeneratedTracksPlayBackAsWritten) {
  CompileContext cc;
  int checked = 0, checked_flat = 0;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    ScoreGenerator generator(seed, seed % 3 != 0);
    std::vector<Item> score = generator.Items(0, 10 + seed % 120);
    TableBuilder t(cc);
    t.Add(0, kEventStartOfTrack);
    int64_t pos = 0;
    Record(score, t, pos);
    if (pos > INT32_MAX / 2) continue;  // beyond what a track's times hold
    t.End(static_cast<int>(pos));

    // Without loops the played notes are the note records themselves.
    std::vector<PlayedNote> expected;
    int64_t total = 0;
    Play(score, total, expected);
    expected.clear();
    if (!HasLoop(score)) {
      for (int i = 0; i < cc.events.Count(); ++i) {
        const EventRecord& r = cc.events.At(i);
        if (r.kind < 128) expected.push_back(PlayedNote{r.time, r.kind, r.value, r.param});
      }
      ++checked_flat;
    } else {
      int64_t time = 0;
      Play(score, time, expected);
    }

    t.CheckLoops();
    // The track's end stays where the played music ends.
    ASSERT_EQ(total, cc.events.At(cc.events.Count() - 1).time) << "seed " << seed;
    SettleVoidTimes(cc);
    int length = CompileTrackStream(cc, 192);
    ASSERT_LE(length, 65533) << "seed " << seed;
    std::string error;
    std::vector<PlayedNote> played =
        DecodeStream(TrackStream(cc).Begin(), TrackStream(cc).Length(), 192, &error);
    ASSERT_EQ("", error) << "seed " << seed;
    if (expected != played) {
      ASSERT_EQ(ToString(expected), ToString(played)) << "seed " << seed;
    }
    ++checked;
  }
  EXPECT_GT(checked, 540);
  EXPECT_GT(checked_flat, 180);
}

}  // namespace
