// Track names as the user gives them (quern's --mute and --solo, the
// editor's track list, and the mute and solo a new song takes over from the
// one it replaces), matched against the tracks of a compiled song.
//
// In: the whole names of the song's tracks, in track order (the compiler
//   tells tracks apart by their whole names), and one name to look up.
// Out: the track the name stands for: the track of that whole name, or else
//   the one track whose name as the report shows it (its first
//   kShownTrackNameBytes) is the name given. Several tracks may share those
//   bytes; a name that is only theirs is ambiguous, and the match lists them
//   so that the caller can say which whole names to give instead.
// Threads: any; nothing is shared.
#ifndef QUERN_LIVE_TRACK_NAMES_H_
#define QUERN_LIVE_TRACK_NAMES_H_

#include <string>
#include <vector>

struct TrackNameMatch {
  int track = -1;               // -1: no track, or several
  std::vector<int> candidates;  // when several tracks share the shown name
};

TrackNameMatch MatchTrackName(const std::vector<std::string>& tracks, const std::string& name);

// The tracks that the names stand for, each once, in track order; names
// that stand for no track, or for several, are left out.
std::vector<int> TracksNamed(const std::vector<std::string>& tracks,
                             const std::vector<std::string>& names);

#endif  // QUERN_LIVE_TRACK_NAMES_H_
