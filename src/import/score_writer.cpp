#include "import/score_writer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>

#include "compiler/driver/driver.h"
#include "import/import_plan.h"
#include "import/track_layout.h"

namespace {

std::string QuotedTitle(std::string title) {
  std::replace(title.begin(), title.end(), '"', '\'');
  return "\"" + title + "\"";
}

struct Compiled {
  int severity = 0;
  std::map<std::string, long> bytes;  // track name -> stream bytes
  std::vector<std::string> messages;  // errors and warnings
};

// The written score compiled, to learn the size of each track's stream
// (the only limit of the language that the writer cannot count as it goes)
// and that it compiles at all.
Compiled Compile(const std::string& score) {
  Compiled out;
  Compilation compilation;
  if (!compilation.SetUp()) {
    out.severity = 4;
    out.messages.push_back("out of memory");
    return out;
  }
  out.severity = compilation.Compile(score.c_str());
  const std::string report = compilation.Report();
  size_t at = 0;
  while (at < report.size()) {
    const size_t eol = std::min(report.find('\n', at), report.size());
    const std::string line = report.substr(at, eol - at);
    char name[64];
    long bytes = 0;
    if (std::sscanf(line.c_str(), "Track '%63[^']' %*d ticks %*d events %ld bytes", name, &bytes) ==
        2) {
      out.bytes[name] = bytes;
    } else if (!line.empty()) {
      out.messages.push_back(line);
    }
    at = eol + 1;
  }
  return out;
}

// The longest track stream the song image holds.
constexpr long kLongestStream = 65533;

// Cuts track i into parts that take turns in time, at bar starts where it
// can, so that each part's stream is about `share` of the whole.
void CutTrack(ImportPlan& plan, size_t i, int parts, const BarGrid& grid) {
  ImportTrack whole = std::move(plan.tracks[i]);
  std::vector<int64_t> times;
  for (const ImportNote& n : whole.notes) times.push_back(n.start);
  for (const ImportCommand& c : whole.commands) times.push_back(c.time);
  std::sort(times.begin(), times.end());
  std::vector<int64_t> cuts;
  for (int p = 1; p < parts; ++p) {
    const int64_t t = times[times.size() * static_cast<size_t>(p) / static_cast<size_t>(parts)];
    int64_t cut = grid.Start(grid.BarAt(t));
    if (!cuts.empty() && cut <= cuts.back()) cut = t;
    if ((cuts.empty() && cut > 0) || (!cuts.empty() && cut > cuts.back())) cuts.push_back(cut);
  }
  cuts.push_back(INT64_MAX);
  std::vector<ImportTrack> out(cuts.size());
  for (ImportTrack& part : out) {
    part.origin = whole.origin;
    part.midi_track = whole.midi_track;
    part.channel = whole.channel;
    part.midi_name = whole.midi_name;
  }
  auto part_of = [&cuts](int64_t t) {
    return static_cast<size_t>(std::upper_bound(cuts.begin(), cuts.end(), t) - cuts.begin());
  };
  for (ImportNote& n : whole.notes) out[part_of(n.start)].notes.push_back(n);
  for (ImportCommand& c : whole.commands) out[part_of(c.time)].commands.push_back(std::move(c));
  plan.tracks.erase(plan.tracks.begin() + static_cast<std::ptrdiff_t>(i));
  plan.tracks.insert(plan.tracks.begin() + static_cast<std::ptrdiff_t>(i), out.begin(), out.end());
}

struct Draft {
  bool too_big = false;  // a track could not be cut for the tracks a score holds
  std::string score;
  int notes = 0;
  int ticky_notes = 0;
  int ramps = 0;
};

Draft Write(const ImportPlan& plan, const std::string& title, const BarGrid& grid) {
  Writing w(plan, grid);
  CountSenders(w);
  w.score = "#title " + QuotedTitle(title) + "\n#clock " + std::to_string(plan.resolution) + "\n";
  for (size_t i = 0; i < plan.tracks.size(); ++i) WriteTrack(w, plan.tracks[i], i);
  Draft d;
  d.score = std::move(w.score);
  d.notes = w.notes;
  d.ticky_notes = w.ticky_notes;
  d.ramps = w.ramp_count;
  return d;
}

// Writes the plan; a track whose stream outgrows the song image is cut
// into parts and the score written again.
Draft WriteFitting(ImportPlan& plan, const std::string& title, Compiled* compiled) {
  int64_t end = 0;
  for (const ImportTrack& t : plan.tracks) end = std::max(end, TrackEnd(t));
  const BarGrid grid(plan.bars, end);
  for (int round = 0;; ++round) {
    Draft d = Write(plan, title, grid);
    *compiled = Compile(d.score);
    bool cut = false, too_big = false;
    for (size_t i = plan.tracks.size(); i-- > 0;) {
      const auto it = compiled->bytes.find(TrackName(i));
      if (it == compiled->bytes.end() || it->second <= kLongestStream) continue;
      const long parts = std::max<long>(2, (it->second + 47999) / 48000) << std::min(round, 4);
      if (plan.tracks.size() + static_cast<size_t>(parts) > static_cast<size_t>(kMostTracks) + 1) {
        too_big = true;
        continue;
      }
      CutTrack(plan, i, static_cast<int>(parts), grid);
      cut = true;
    }
    if (!cut || round >= 8) {
      d.too_big = too_big;
      return d;
    }
  }
}

void Report(const SmfSong& song, const ImportPlan& plan, int grid, const Draft& d,
            ImportResult* r) {
  auto line = [r](const std::string& s) { r->report.push_back(s); };
  auto many = [](int n, const char* one, const char* more) {
    return std::to_string(n) + " " + (n == 1 ? one : more);
  };
  std::string notes = many(r->notes, "note", "notes");
  if (r->written_notes < r->notes) {
    notes += " (" + std::to_string(r->written_notes) + " written, the others repeated by loops)";
  }
  line(many(r->tracks, "track", "tracks") + ", " + notes + ", resolution " +
       std::to_string(plan.resolution));
  if (song.smpte) {
    line("SMPTE division: taken as " + std::to_string(song.division) +
         " ticks per quarter at tempo " + std::to_string(song.smpte_tempo) +
         (song.smpte_inexact ? " (29.97 frames per second taken as 30)" : ""));
  }
  const ImportCounts& c = plan.counts;
  if (plan.scaled) {
    line(std::to_string(song.division) + " ticks per quarter do not fit: resolution scaled to " +
         std::to_string(plan.resolution) + ", " + std::to_string(c.rounded_ticks) +
         (c.rounded_ticks == 1 ? " event time rounded" : " event times rounded"));
  } else if (plan.resolution != 4 * song.division) {
    line("resolution " + std::to_string(plan.resolution) +
         ": the tempos of the file are those of "
         "this odd resolution");
  }
  // n things, named for one and for more.
  auto count = [&](int n, const std::string& one, const std::string& more) {
    if (n > 0) line(std::to_string(n) + " " + (n == 1 ? one : more));
  };
  if (grid > 0) {
    line("grid " + std::to_string(grid) + ": " + std::to_string(c.moved) +
         " note starts and ends moved, the largest by " + std::to_string(c.largest_move) +
         " ticks");
  }
  count(c.lengthened, "note shorter than half a step made one step long",
        "notes shorter than half a step made one step long");
  count(d.ramps, "run of controller, tempo or bend values written as a gradual change",
        "runs of controller, tempo or bend values written as gradual changes");
  count(c.unended_notes, "note without an end, written held (hit)",
        "notes without an end, written held (hit)");
  const std::string why =
      " (overlapping notes of one key, notes longer than 15359 ticks or more than 512 "
      "sounding at once)";
  count(c.held_offs, "note-off of a held note sent through Off" + why,
        "note-offs of held notes sent through Off" + why);
  count(c.long_sysex, "System Exclusive message over 255 bytes sent in parts",
        "System Exclusive messages over 255 bytes sent in parts");
  count(c.byte_lists_left_out, "byte list beyond the 256 a song holds left out",
        "byte lists beyond the 256 a song holds left out");
  count(c.bends_rounded, "fine pitch bend beyond the 256 byte lists a song holds kept to 7 bits",
        "fine pitch bends beyond the 256 byte lists a song holds kept to 7 bits");
  count(c.controllers_as_bytes,
        "controller message beyond the names a score holds written as a byte list",
        "controller messages beyond the names a score holds written as byte lists");
  count(c.mixed_channel_lists,
        "byte list with status bytes of several channels sent on the first one",
        "byte lists with status bytes of several channels sent on the first one");
  count(c.reframed_lists,
        "System Exclusive or escape message holding channel status bytes (an export writes "
        "those as channel messages)",
        "System Exclusive or escape messages holding channel status bytes (an export writes "
        "those as channel messages)");
  count(c.inexact_tempos, "tempo rounded to whole quarters per minute",
        "tempos rounded to whole quarters per minute");
  count(c.release_velocities, "note-off velocity left out", "note-off velocities left out");
  count(static_cast<int>(plan.comments.size()), "text or marker written as a comment",
        "texts and markers written as comments");
  count(song.skipped_meta, "other meta event skipped", "other meta events skipped");
  count(c.empty_signatures, "time signature of no beats left out",
        "time signatures of no beats left out");
  count(song.dropped_tempos, "tempo event of an SMPTE-timed file left out",
        "tempo events of an SMPTE-timed file left out");
  count(song.bytes_outside, "byte outside the tracks skipped", "bytes outside the tracks skipped");
  const std::string late =
      " later than the " + std::to_string(kLatestTime) + " ticks a track holds left out";
  count(c.late_events, "event" + late, "events" + late);
  if (d.too_big) {
    line("the song needs more than the " + std::to_string(kMostTracks) + " tracks of " +
         std::to_string(kLongestStream) + " bytes a score holds: the score does not compile");
  }
}

bool Exact(const SmfSong& song, const ImportPlan& plan, int grid) {
  const ImportCounts& c = plan.counts;
  return grid == 0 && !song.smpte && !plan.scaled && c.late_events == 0 &&
         c.byte_lists_left_out == 0 && c.bends_rounded == 0 && c.mixed_channel_lists == 0 &&
         c.reframed_lists == 0 && c.inexact_tempos == 0;
}

}  // namespace

ImportResult WriteScore(SmfSong song, const std::string& file_title, const ImportOptions& options) {
  ImportResult result;
  ImportPlan plan = PlanTracks(song, options.grid);
  const std::string title = plan.first_track_name.empty() ? file_title : plan.first_track_name;
  Compiled compiled;
  Draft d = WriteFitting(plan, title, &compiled);
  result.score = std::move(d.score);
  result.resolution = plan.resolution;
  result.tracks = static_cast<int>(plan.tracks.size());
  for (const ImportTrack& t : plan.tracks) result.notes += static_cast<int>(t.notes.size());
  result.written_notes = d.notes;
  result.notes_with_tick_lengths = d.ticky_notes;
  result.moved = plan.counts.moved;
  result.largest_move = static_cast<int>(plan.counts.largest_move);
  result.exact = Exact(song, plan, options.grid);
  for (const ImportTrack& t : plan.tracks) result.end_tick = std::max(result.end_tick, TrackEnd(t));
  if (compiled.severity > 0) result.compiler_messages = compiled.messages;
  result.compiles = compiled.severity <= 2;
  Report(song, plan, options.grid, d, &result);
  return result;
}
