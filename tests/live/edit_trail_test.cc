#include "live/edit_trail.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Show(const std::optional<TextRange>& range) {
  if (!range) return "gone";
  return std::to_string(range->start) + "-" + std::to_string(range->stop);
}

// The straightforward model: every character of the text carries the base
// position it came from (-1 when typed since) and, for each stretch,
// whether it belongs to it. A character typed between two characters of a
// stretch joins it.
struct Reference {
  std::vector<int> origin;
  std::vector<std::vector<bool>> member;  // [stretch][character]

  Reference(int length, const std::vector<TextRange>& stretches) {
    for (int i = 0; i < length; ++i) origin.push_back(i);
    for (const TextRange& s : stretches) {
      std::vector<bool> in(length, false);
      for (int i = s.start; i < s.stop; ++i) in[i] = true;
      member.push_back(in);
    }
  }
  void Edit(int position, int removed, int added) {
    origin.erase(origin.begin() + position, origin.begin() + position + removed);
    origin.insert(origin.begin() + position, added, -1);
    for (std::vector<bool>& in : member) {
      in.erase(in.begin() + position, in.begin() + position + removed);
      const bool inside = position > 0 && position < static_cast<int>(in.size()) &&
                          in[position - 1] && in[position];
      in.insert(in.begin() + position, added, inside);
    }
  }
  std::optional<TextRange> Where(size_t stretch) const {
    const std::vector<bool>& in = member[stretch];
    int first = -1, last = -1;
    for (int i = 0; i < static_cast<int>(in.size()); ++i) {
      if (!in[i]) continue;
      if (first < 0) first = i;
      last = i;
    }
    if (first < 0) return std::nullopt;
    return TextRange{first, last + 1};
  }
  std::optional<int> Back(int now, int base_length) const {
    if (now == static_cast<int>(origin.size())) return base_length;
    if (origin[now] < 0) return std::nullopt;
    return origin[now];
  }
};

}  // namespace

TEST(EditTrailTest, StretchesFollowInsertionsAndDeletions) {
  EditTrail trail;
  const TextRange note{4, 6};  // "c4" in "A t1c4 d"
  EXPECT_EQ(Show(trail.Forward(note)), "4-6");
  trail.Record(0, 0, 2);  // typed before it: moves
  EXPECT_EQ(Show(trail.Forward(note)), "6-8");
  trail.Record(6, 0, 1);  // typed at its start: stays outside
  EXPECT_EQ(Show(trail.Forward(note)), "7-9");
  trail.Record(9, 0, 3);  // at its end: outside
  EXPECT_EQ(Show(trail.Forward(note)), "7-9");
  trail.Record(8, 0, 1);  // between its characters: inside
  EXPECT_EQ(Show(trail.Forward(note)), "7-10");
  trail.Record(6, 2, 0);  // its first character cut with the one before
  EXPECT_EQ(Show(trail.Forward(note)), "6-8");
  trail.Record(5, 4, 1);  // all of it replaced
  EXPECT_EQ(Show(trail.Forward(note)), "gone");
  EXPECT_EQ(Show(trail.Forward(TextRange{3, 3})), "gone");
}

TEST(EditTrailTest, MapsPositionsBackAndKeepsTypingInOneEntry) {
  EditTrail trail;
  for (int i = 0; i < 10; ++i) trail.Record(5 + i, 0, 1);  // typing a word
  for (int i = 0; i < 3; ++i) trail.Record(14 - i, 1, 0);  // backspace
  EXPECT_EQ(trail.Size(), 1u);
  for (int i = 0; i < 4; ++i) trail.Record(30 - i, 1, 0);  // backspace in old text
  EXPECT_EQ(trail.Size(), 2u);
  EXPECT_EQ(trail.Back(4), 4);
  EXPECT_EQ(trail.Back(6), std::nullopt);  // typed since
  EXPECT_EQ(trail.Back(12), 5);
  EXPECT_EQ(trail.Back(27), 24);  // after the deletion at 27..30 of then
  trail.Record(0, 0, 1);
  trail.Record(1, 0, 1);
  trail.Record(1, 1, 0);
  trail.Record(0, 1, 0);
  EXPECT_EQ(trail.Size(), 2u);  // typed and taken back: nothing
  trail.Clear();
  EXPECT_EQ(trail.Back(27), 27);
}

// Random edits (typing runs, backspace runs, cuts, pastes, replacements)
// against the model, with the stretches and every position checked after
// each edit.
TEST(EditTrailTest, RandomEditsMatchTheCharacterModel) {
  std::mt19937 random(20240522);
  auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 300; ++round) {
    const int base_length = uniform(0, 40);
    std::vector<TextRange> stretches;
    for (int i = 0; i < 6 && base_length > 0; ++i) {
      const int start = uniform(0, base_length - 1);
      stretches.push_back(TextRange{start, uniform(start + 1, std::min(base_length, start + 4))});
    }
    Reference model(base_length, stretches);
    EditTrail trail;
    int caret = uniform(0, base_length);
    for (int step = 0; step < 40; ++step) {
      const int length = static_cast<int>(model.origin.size());
      int position, removed, added;
      switch (uniform(0, 4)) {
        case 0:  // type at the caret
          position = std::min(caret, length), removed = 0, added = 1;
          break;
        case 1:  // backspace at the caret
          if (caret == 0 || caret > length) continue;
          position = caret - 1, removed = 1, added = 0;
          break;
        case 2:  // delete forwards at the caret
          if (caret >= length) continue;
          position = caret, removed = 1, added = 0;
          break;
        default:  // anywhere: cut, paste or replace
          position = uniform(0, length);
          removed = uniform(0, std::min(6, length - position));
          added = uniform(0, 4);
          break;
      }
      model.Edit(position, removed, added);
      trail.Record(position, removed, added);
      caret = position + added;
      if (uniform(0, 5) == 0) caret = uniform(0, static_cast<int>(model.origin.size()));
      for (size_t s = 0; s < stretches.size(); ++s) {
        ASSERT_EQ(Show(trail.Forward(stretches[s])), Show(model.Where(s)))
            << "round " << round << " step " << step << " stretch " << s;
      }
      for (int now = 0; now <= static_cast<int>(model.origin.size()); ++now) {
        ASSERT_EQ(trail.Back(now), model.Back(now, base_length))
            << "round " << round << " step " << step << " position " << now;
      }
    }
  }
}
