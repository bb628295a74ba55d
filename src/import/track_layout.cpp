#include "import/track_layout.h"

#include <algorithm>
#include <climits>
#include <set>

#include "import/note_lengths.h"
#include "import/track_writer.h"

std::string TrackName(size_t i) {
  if (i < 26) return std::string(1, static_cast<char>('A' + i));
  const size_t k = i - 26;
  return std::string(1 + k / 26, 'Z') + static_cast<char>('A' + k % 26);
}

int64_t TrackEnd(const ImportTrack& t) {
  int64_t end = 0;
  for (const ImportNote& n : t.notes) end = std::max(end, n.start + std::max<int64_t>(n.length, 1));
  for (const ImportCommand& c : t.commands) end = std::max(end, c.time + 1);
  return end;
}

std::vector<int64_t> BarStarts(const std::vector<BarSignature>& bars, int64_t end) {
  std::vector<int64_t> starts;
  int64_t t = 0;
  for (size_t i = 0; i < bars.size() && t < end; ++i) {
    const int64_t until = i + 1 < bars.size() ? bars[i + 1].time : INT64_MAX;
    for (; t < until && t < end; t += bars[i].length) starts.push_back(t);
    if (t > until) t = until;  // a signature inside a bar starts a new bar
  }
  starts.push_back(std::max(t, end));
  return starts;
}

void CountSenders(Writing& w) {
  std::map<std::pair<int, int>, std::set<int>> origins;
  for (const ImportTrack& t : w.plan.tracks) {
    for (const ImportCommand& c : t.commands) {
      if (c.kind == CommandKind::kAttribute) {
        origins[{c.number == kTempoAttribute ? -1 : t.channel, c.number}].insert(t.origin);
      }
    }
  }
  for (const auto& [what, tracks] : origins) w.senders[what] = static_cast<int>(tracks.size());
}

namespace {

constexpr size_t kLongestBody = 16;  // bars
constexpr size_t kMostPasses = 255;

// The most common step between the track's notes that is a plain note
// value (the length most notes are written with), the quarter on a tie.
int64_t DefaultLength(const ImportTrack& t, int resolution) {
  std::map<int64_t, int> counts;
  for (size_t i = 0; i < t.notes.size();) {
    size_t j = i;
    while (j < t.notes.size() && t.notes[j].start == t.notes[i].start) ++j;
    const int64_t step =
        j < t.notes.size() ? t.notes[j].start - t.notes[i].start : t.notes[j - 1].length;
    if (step > 0 && resolution % step == 0 && IsNoteValue(resolution / step)) ++counts[step];
    i = j;
  }
  int64_t best = resolution / 4;
  int most = counts.count(best) ? counts[best] : 0;
  for (const auto& [length, count] : counts) {
    if (count > most) best = length, most = count;
  }
  return best;
}

// Appends one line of track text, split into continuation lines where it
// grows long (a line holds at most 4000 bytes).
void PutLine(std::string& score, const std::string& name, const std::string& body) {
  std::string line = name;
  size_t at = 0;
  while (at < body.size()) {
    size_t cut = body.size();
    if (body.size() - at > 3000) {
      cut = body.rfind(' ', at + 3000);
      if (cut == std::string::npos || cut <= at) cut = body.find(' ', at + 3000);
      if (cut == std::string::npos) cut = body.size();
    }
    score += line + " " + body.substr(at, cut - at) + "\n";
    line = "+";
    at = cut + (cut < body.size() ? 1 : 0);
  }
}

// The names the score defines, on the first track: controllers, the Off
// template and the byte-list templates.
std::string Definitions(const ImportPlan& plan) {
  std::string out;
  auto add = [&out](const std::string& s) { out += (out.empty() ? "" : " ") + s; };
  for (int n = 0; n < 128; ++n) {
    if (n != 1 && n != 7 && n != 10 && !plan.controller_names[n].empty()) {
      add(plan.controller_names[n] + "=" + std::to_string(n));
    }
  }
  if (plan.uses_off) add("Off={144 v 0}");
  for (const ImportTemplate& t : plan.templates) {
    std::string bytes;
    for (size_t i = 0; i < t.bytes.size(); ++i) {
      bytes += (i ? " " : "") + (static_cast<int>(i) == t.hole
                                     ? std::string("v")
                                     : std::to_string(static_cast<uint8_t>(t.bytes[i])));
    }
    add(t.name + "={" + bytes + "}");
  }
  return out;
}

// What each bar sends, relative to its start: bars with equal keys are the
// same music. A bar with a comment is like no other.
std::vector<std::string> BarKeys(const ImportTrack& t, const std::vector<int64_t>& starts,
                                 int64_t end, const std::vector<std::string>& comments) {
  std::vector<std::string> keys;
  size_t n = 0, c = 0;
  for (size_t b = 0; b + 1 < starts.size() && starts[b] < end; ++b) {
    const int64_t begin = starts[b], bar_end = std::min(starts[b + 1], end);
    std::string key = comments[b].empty() ? "" : "#" + std::to_string(b);
    while (n < t.notes.size() || c < t.commands.size()) {
      const bool note =
          c == t.commands.size() ||
          (n < t.notes.size() &&
           (t.notes[n].start < t.commands[c].time ||
            (t.notes[n].start == t.commands[c].time && t.notes[n].seq < t.commands[c].seq)));
      const int64_t time = note ? t.notes[n].start : t.commands[c].time;
      if (time >= bar_end) break;
      if (note) {
        const ImportNote& x = t.notes[n++];
        key += "n" + std::to_string(x.start - begin) + "," + std::to_string(x.length) + "," +
               std::to_string(x.key) + "," + std::to_string(x.velocity) + "," +
               std::to_string(static_cast<int>(x.mode)) + ";";
      } else {
        const ImportCommand& x = t.commands[c++];
        key += "c" + std::to_string(x.time - begin) + "," +
               std::to_string(static_cast<int>(x.kind)) + "," + std::to_string(x.number) + "," +
               std::to_string(x.value) + "," + std::to_string(x.channel) + "," + x.text + ";";
      }
    }
    keys.push_back(key);
  }
  return keys;
}

// A run of `length` bars from `bar`, played `passes` times (1: plain bars);
// passes above 255 are 255 passes of an inner loop repeated.
struct Segment {
  size_t bar = 0;
  size_t length = 1;
  size_t passes = 1;
};

// At each bar, the body of up to kLongestBody bars whose repeats cover the
// most bars, while the song has loops left (a nested loop takes two).
std::vector<Segment> FindSegments(const std::vector<std::string>& keys, int* loops) {
  std::vector<Segment> out;
  const size_t n = keys.size();
  auto same = [&keys](size_t a, size_t b, size_t length) {
    return std::equal(keys.begin() + static_cast<std::ptrdiff_t>(a),
                      keys.begin() + static_cast<std::ptrdiff_t>(a + length),
                      keys.begin() + static_cast<std::ptrdiff_t>(b));
  };
  for (size_t b = 0; b < n;) {
    size_t best_length = 1, best_reps = 1;
    for (size_t p = 1; p <= kLongestBody && b + 2 * p <= n; ++p) {
      size_t reps = 1;
      while (b + (reps + 1) * p <= n && same(b, b + reps * p, p)) ++reps;
      if ((reps - 1) * p > (best_reps - 1) * best_length) best_length = p, best_reps = reps;
    }
    if (best_reps > kMostPasses && *loops < 999) {
      best_reps = std::min(best_reps / kMostPasses, kMostPasses) * kMostPasses;
      *loops += 2;
    } else if (best_reps >= 2 && *loops < 1000) {
      best_reps = std::min(best_reps, kMostPasses);
      *loops += 1;
    } else {
      best_length = best_reps = 1;
    }
    out.push_back({b, best_length, best_reps});
    b += best_length * best_reps;
  }
  return out;
}

// The track's commands with gradual changes found in each stretch of text
// that is written: the plain bars between loops, and each loop's body.
// Bars that loops repeat keep their commands; the writer passes over them.
std::vector<ImportCommand> WrittenCommands(Writing& w, const ImportTrack& t, size_t index,
                                           const std::vector<Segment>& segments,
                                           const std::vector<int64_t>& starts, int64_t end) {
  std::vector<bool> skip(131, false);
  for (int n = 0; n < 131; ++n) {
    auto it = w.senders.find({n == kTempoAttribute ? -1 : t.channel, n});
    skip[static_cast<size_t>(n)] = it != w.senders.end() && it->second > 1;
  }
  auto bar_end = [&](size_t b) { return std::min(starts[b + 1], end); };
  std::vector<int> values(131, 0);
  std::vector<ImportCommand> out;
  size_t c = 0;
  auto take_until = [&](int64_t begin, int64_t until, bool find) {
    std::vector<ImportCommand> part;
    while (c < t.commands.size() && t.commands[c].time < until) part.push_back(t.commands[c++]);
    if (find && !part.empty()) {
      const int before = w.ramps.ramps;
      FindRamps(part, static_cast<int>(index), skip, w.ramps, values, begin);
      w.ramp_count += before - w.ramps.ramps;
    }
    out.insert(out.end(), part.begin(), part.end());
  };
  for (size_t s = 0; s < segments.size();) {
    const int64_t begin = starts[segments[s].bar];
    if (segments[s].passes == 1) {
      while (s < segments.size() && segments[s].passes == 1) ++s;
      take_until(begin, s < segments.size() ? starts[segments[s].bar] : INT64_MAX, true);
      continue;
    }
    const Segment& g = segments[s++];
    take_until(begin, bar_end(g.bar + g.length - 1), true);
    take_until(begin, bar_end(g.bar + g.length * g.passes - 1), false);
  }
  take_until(0, INT64_MAX, false);
  return out;
}

// The texts of a segment's bars (a loop's body once).
std::vector<std::string> Body(TrackWriter& writer, const Segment& g,
                              const std::vector<int64_t>& starts, int64_t end, size_t bars) {
  std::vector<std::string> texts;
  for (size_t b = g.bar; b < g.bar + g.length; ++b) {
    texts.push_back(
        writer.Bar(starts[b], std::min(starts[b + 1], end), b + 1 == bars && g.passes == 1));
  }
  return texts;
}

std::vector<std::string> Comments(const Writing& w, size_t index, size_t bars, int64_t end) {
  std::vector<std::string> comments(bars);
  if (index != 0 || bars == 0) return comments;
  size_t b = 0;
  for (const ImportComment& c : w.plan.comments) {
    while (b + 1 < bars && std::min(w.bars[b + 1], end) <= c.time) ++b;
    comments[b] += "// " + c.text + "\n";
  }
  return comments;
}

}  // namespace

void WriteTrack(Writing& w, const ImportTrack& track, size_t index) {
  const ImportPlan& plan = w.plan;
  const std::string name = TrackName(index);
  const Lengths lengths(plan.resolution);
  const int64_t l = DefaultLength(track, plan.resolution);
  const std::string where = track.midi_track < 0
                                ? "MIDI tracks joined"
                                : "MIDI track " + std::to_string(track.midi_track + 1);
  w.score += "\n// " + name + ": " + (track.midi_name.empty() ? "track" : track.midi_name) + " (" +
             where + ", channel " + std::to_string(track.channel + 1) + ")\n";
  if (index == 0) {
    const std::string definitions = Definitions(plan);
    if (!definitions.empty()) PutLine(w.score, name, definitions);
  }
  bool ticky = false;
  std::string head = "ch" + std::to_string(track.channel + 1);
  if (l != plan.resolution / 4) head += " l" + lengths.Text(l, -1, &ticky);
  w.score += name + " " + head + "\n";

  const int64_t end = TrackEnd(track);
  size_t bars = 0;
  while (bars + 1 < w.bars.size() && w.bars[bars] < end) ++bars;
  const std::vector<std::string> comments = Comments(w, index, bars, end);
  if (index == 0 && bars == 0) {
    for (const ImportComment& c : plan.comments) w.score += "// " + c.text + "\n";
  }
  const std::vector<Segment> segments =
      FindSegments(BarKeys(track, w.bars, end, comments), &w.loops);
  ImportTrack written = track;
  written.commands = WrittenCommands(w, track, index, segments, w.bars, end);
  TrackWriter writer(written, plan, lengths, l, track.channel != 9);
  auto bar_end = [&](size_t b) { return std::min(w.bars[b + 1], end); };
  for (const Segment& g : segments) {
    const TrackWriter::Mark mark = writer.Here();
    const VoiceState start = writer.state();
    std::vector<std::string> texts = Body(writer, g, w.bars, end, bars);
    const VoiceState after = writer.state();
    if (g.passes > 1 && (after.velocity != start.velocity || after.held != start.held)) {
      writer.Rewind(mark);
      writer.Forget();
      texts = Body(writer, g, w.bars, end, bars);
    }
    for (size_t i = 0; i < g.length; ++i) {
      std::string& text = texts[i];
      if (g.passes > kMostPasses) {
        if (i == 0) text = "[[" + text;
        if (i + 1 == g.length) text += "]255]" + std::to_string(g.passes / kMostPasses);
      } else if (g.passes > 1) {
        if (i == 0) text = "[" + text;
        if (i + 1 == g.length) text += "]" + std::to_string(g.passes);
      }
      w.score += comments[g.bar + i];
      PutLine(w.score, name, text);
    }
    if (g.passes > 1) writer.Skip(bar_end(g.bar + g.length * g.passes - 1));
  }
  w.notes += writer.notes();
  w.ticky_notes += writer.notes_with_tick_lengths();
}
