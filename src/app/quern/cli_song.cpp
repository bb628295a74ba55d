#include "app/quern/cli_song.h"

#include <algorithm>
#include <cstdio>

#include "app/quern/help.h"
#include "app/quern/score_input.h"
#include "compiler/driver/driver.h"
#include "files/file_io.h"
#include "live/play_range.h"
#include "live/track_names.h"

namespace {

int ReadImage(const std::string& path, LoadedSong* loaded) {
  std::string bytes, error;
  if (!ReadFileChecked(path, kMaxInputFileBytes, &bytes, &error)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  loaded->image.assign(bytes.begin(), bytes.end());
  return 0;
}

int CompileInput(const std::string& path, LoadedSong* loaded) {
  static const bool set_up = SetUpCompiler();
  if (!set_up) {
    std::fprintf(stderr, "quern: the compiler could not allocate its work areas\n");
    return 2;
  }
  std::string text, error, warning;
  if (!ReadScoreFile(path, Encoding::kAuto, &text, &error, &warning)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  if (!warning.empty()) std::fprintf(stderr, "quern: warning: %s\n", warning.c_str());
  const int severity = CompileScore(text.c_str(), &loaded->map);
  loaded->have_map = true;
  if (severity >= 2) {
    // The report goes to standard error: standard output carries the trace.
    const std::string report = ReportInEncoding(ReportText(), ReportEncoding::kUtf8);
    std::fwrite(report.data(), 1, report.size(), stderr);
  }
  if (severity > 2) {
    std::fprintf(stderr, "quern: %s: the score has errors\n", path.c_str());
    return 1;
  }
  loaded->image.assign(SongImageBegin(), SongImageBegin() + SongImageLength());
  for (int i = 0; i < CompiledTrackCount(); ++i) {
    loaded->track_names.push_back(CompiledTrackFullName(i));
  }
  return 0;
}

std::string PlaceText(SourcePlace place) {
  return std::to_string(place.line) + ":" + std::to_string(place.column);
}

// The tick of the first note at or after the caret (left as it is when the
// caret is not given), searched up to the bound; 0 or the usage error status.
int CaretTick(const char* command, const Options& o, const LoadedSong& loaded, SourcePlace caret,
              const char* option, int64_t* tick) {
  if (caret.line < 0) return 0;
  const int64_t bound = o.max_ticks > 0 ? o.max_ticks : kScanTicks;
  bool at_bound = false;
  *tick =
      TickFromCaret(loaded.image.data(), loaded.image.size(), loaded.map, caret, bound, &at_bound);
  if (*tick >= 0) return 0;
  std::string problem = std::string("no note at or after ") + option + " " + PlaceText(caret);
  if (at_bound) problem += " up to the bound --ticks " + std::to_string(bound);
  return ReportUsageError(command, problem);
}

// The range starts before its bound: --ticks counts from the song's start,
// wherever the range starts, and a start at or past it is refused.
int CheckStart(const char* command, const Options& o, int64_t start) {
  if (o.max_ticks <= 0 || start < o.max_ticks) return 0;
  const std::string bound = " the bound --ticks " + std::to_string(o.max_ticks);
  if (o.from.line >= 0) {
    return ReportUsageError(command, "--from " + PlaceText(o.from) + " starts at tick " +
                                         std::to_string(start) + ", at" + bound);
  }
  return ReportUsageError(command,
                          "--from-tick " + std::to_string(start) + " lies at or past" + bound);
}

// Track names to indices (and their whole names), as the compiler tells
// tracks apart; a name of none or of several tracks is refused.
int FindTracks(const char* command, const std::vector<std::string>& tracks,
               const std::vector<std::string>& names, std::vector<int>* indices,
               std::vector<std::string>* whole_names) {
  for (const std::string& name : names) {
    const TrackNameMatch match = MatchTrackName(tracks, name);
    if (match.track >= 0) {
      indices->push_back(match.track);
      whole_names->push_back(tracks[match.track]);
      continue;
    }
    if (match.candidates.empty()) return ReportUsageError(command, "no track named '" + name + "'");
    std::string which;
    for (int track : match.candidates) which += (which.empty() ? "'" : ", '") + tracks[track] + "'";
    return ReportUsageError(command, "'" + name + "' names " +
                                         std::to_string(match.candidates.size()) + " tracks (" +
                                         which + "); give the whole name");
  }
  return 0;
}

}  // namespace

int LoadInput(const std::string& path, LoadedSong* loaded, Sequencer& song) {
  *loaded = LoadedSong();
  const int status = IsSongImagePath(path) ? ReadImage(path, loaded) : CompileInput(path, loaded);
  if (status) return status;
  std::string error;
  if (!song.Load(loaded->image.data(), loaded->image.size(), &error)) {
    std::fprintf(stderr, "quern: %s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  return 0;
}

int ResolveRange(const char* command, const Options& o, const LoadedSong& loaded,
                 LiveRange* range) {
  const bool needs_score = o.from.line >= 0 || o.to.line >= 0 || !o.mute.empty() || !o.solo.empty();
  if (needs_score && !loaded.have_map) {
    return ReportUsageError(command,
                            "--from, --to, --mute and --solo need a score, not a song image");
  }
  *range = LiveRange();
  range->start = o.from_tick;
  range->stop = o.to_tick;
  if (int status = CaretTick(command, o, loaded, o.from, "--from", &range->start)) return status;
  if (int status = CheckStart(command, o, range->start)) return status;
  if (int status = CaretTick(command, o, loaded, o.to, "--to", &range->stop)) return status;
  if (range->stop > 0 && range->stop <= std::max<int64_t>(range->start, 1)) {
    return ReportUsageError(command, "the end of the range lies at or before its start");
  }
  if (int status =
          FindTracks(command, loaded.track_names, o.mute, &range->mute, &range->mute_names)) {
    return status;
  }
  return FindTracks(command, loaded.track_names, o.solo, &range->solo, &range->solo_names);
}

void ApplyRange(const LiveRange& range, Sequencer& song) {
  if (range.start > 1) song.Seek(range.start);
  if (range.stop > 0) song.SetStopTick(range.stop, false);
  for (int track : range.mute) song.SetTrackMuted(track, true);
  for (int track : range.solo) song.SetTrackSoloed(track, true);
}
