// Gradual changes found among a track's attribute commands (ramps.cpp).
// Used by the score writer. Thread: any.
#ifndef QUERN_IMPORT_IMPORT_RAMPS_H_
#define QUERN_IMPORT_IMPORT_RAMPS_H_

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "import/import_plan.h"

// What the ramps of one song may take. The player steps 64 changes at once
// (and drops a further one): ramps of one attribute of one track never
// overlap, so letting at most 64 attributes of tracks have ramps keeps
// within that. `work` bounds the values compared, so that no file makes the
// search slow; `ramps` is the room of the song's list of changes.
struct RampBudget {
  int64_t work = 50000000;
  int ramps = 65536 - 10000;
  std::set<std::pair<int, int>> ramped;  // (track, attribute) with ramps
  static constexpr size_t kAttributes = 64;
};

// Replaces each run of one attribute's commands (controllers, tempo, pitch
// bend) that a gradual change from the value before it sends exactly by one
// kRamp command. The commands are a stretch of a track's text that starts
// at `begin`: no change starts before it. `values` holds the value of each
// attribute (0 to 130) that the text has set before the stretch, and after
// it on return. `track` is the track's number, for the budget. `skip[n]` leaves attribute n as it
// is (one that another track on the channel sends too). The commands stay in time order.
void FindRamps(std::vector<ImportCommand>& commands, int track, const std::vector<bool>& skip,
               RampBudget& budget, std::vector<int>& values, int64_t begin);

#endif  // QUERN_IMPORT_IMPORT_RAMPS_H_
