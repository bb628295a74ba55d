#include "live/track_names.h"

#include <algorithm>

#include "compiler/driver/driver.h"

TrackNameMatch MatchTrackName(const std::vector<std::string>& tracks, const std::string& name) {
  TrackNameMatch match;
  const auto whole = std::find(tracks.begin(), tracks.end(), name);
  if (whole != tracks.end()) {
    match.track = static_cast<int>(whole - tracks.begin());
    return match;
  }
  // The name as the report shows it: only a name that short can be one.
  if (name.size() > kShownTrackNameBytes) return match;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (tracks[i].compare(0, kShownTrackNameBytes, name) == 0) {
      match.candidates.push_back(static_cast<int>(i));
    }
  }
  if (match.candidates.size() == 1) {
    match.track = match.candidates[0];
    match.candidates.clear();
  }
  return match;
}

std::vector<int> TracksNamed(const std::vector<std::string>& tracks,
                             const std::vector<std::string>& names) {
  std::vector<int> found;
  for (const std::string& name : names) {
    const int track = MatchTrackName(tracks, name).track;
    if (track >= 0 && std::find(found.begin(), found.end(), track) == found.end()) {
      found.push_back(track);
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}
