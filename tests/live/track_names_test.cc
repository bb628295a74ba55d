#include "live/track_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kShown(32, 'A');

TEST(TrackNamesTest, ANameStandsForTheTrackOfThatWholeNameOrOfThatShownName) {
  const std::vector<std::string> tracks = {"A", kShown + "X", kShown + "Y", "B",
                                           "C" + kShown + "Z"};
  struct Case {
    std::string name;
    int track;
    std::vector<int> candidates;
  } cases[] = {
      {"A", 0, {}},
      {kShown + "X", 1, {}},
      {kShown + "Y", 2, {}},
      {kShown, -1, {1, 2}},                   // the report's name of two tracks
      {kShown + "Z", -1, {}},                 // no track has it
      {"C" + kShown + "Z", 4, {}},            // whole
      {("C" + kShown).substr(0, 32), 4, {}},  // shown, of one track only
      {"b", -1, {}},                          // names are told apart by case
      {"", -1, {}},
  };
  for (const Case& c : cases) {
    const TrackNameMatch match = MatchTrackName(tracks, c.name);
    EXPECT_EQ(c.track, match.track) << c.name;
    EXPECT_EQ(c.candidates, match.candidates) << c.name;
  }
}

TEST(TrackNamesTest, AWholeNameWinsOverTheShownNameOfLongerOnes) {
  const std::vector<std::string> tracks = {kShown, kShown + "X", kShown + "Y"};
  EXPECT_EQ(0, MatchTrackName(tracks, kShown).track);
  EXPECT_EQ(1, MatchTrackName(tracks, kShown + "X").track);
}

TEST(TrackNamesTest, TracksNamedGivesEachTrackOnceInTrackOrder) {
  const std::vector<std::string> tracks = {"A", kShown + "X", kShown + "Y", "B"};
  EXPECT_EQ((std::vector<int>{0, 2, 3}),
            TracksNamed(tracks, {"B", kShown + "Y", "A", "B", kShown, "Nowhere"}));
  EXPECT_EQ((std::vector<int>{}), TracksNamed({}, {"A"}));
}

}  // namespace
