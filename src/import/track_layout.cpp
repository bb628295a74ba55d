#include "import/track_layout.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <set>
#include <string_view>

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
  std::string_view line = name;
  size_t at = 0;
  while (at < body.size()) {
    size_t cut = body.size();
    if (body.size() - at > 3000) {
      cut = body.rfind(' ', at + 3000);
      if (cut == std::string::npos || cut <= at) cut = body.find(' ', at + 3000);
      if (cut == std::string::npos) cut = body.size();
    }
    score.append(line).append(1, ' ').append(body, at, cut - at).append(1, '\n');
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

// A bar of the track, or a run of empty bars of one length (passes > 1
// are written as loops of one bar's rest).
struct Slot {
  size_t bar = 0;
  size_t run = 1;
};

// Empty bars from this many on are one slot.
constexpr size_t kLongRun = 64;

// The slots of a track that ends at `end`: every bar that holds an event or
// a comment (`marked`, ascending) and the bars between them.
std::vector<Slot> Slots(const BarGrid& grid, const std::vector<size_t>& marked, int64_t end) {
  std::vector<Slot> out;
  const size_t last = grid.BarAt(end - 1);
  auto gap = [&](size_t a, size_t b) {  // the empty bars [a, b)
    while (a < b) {
      const size_t until = std::min({grid.SameLengthUntil(a), b, last});
      if (until > a + kLongRun) {
        out.push_back({a, until - a});
        a = until;
      } else {
        out.push_back({a, 1});
        ++a;
      }
    }
  };
  size_t next = 0;
  for (size_t bar : marked) {
    if (bar < next) continue;
    gap(next, bar);
    out.push_back({bar, 1});
    next = bar + 1;
  }
  gap(next, last + 1);
  return out;
}

// What a slot sends: its notes [n0, n1) and commands [c0, c1), relative to
// its start, and a hash of them. Slots with equal keys are the same music,
// in bars of one length; a run of empty bars is like no other.
struct SlotKey {
  uint64_t hash = 0;
  int64_t begin = 0;
  int64_t length = 0;  // of the bar; 0 for a run of empty bars
  size_t n0 = 0, n1 = 0, c0 = 0, c1 = 0;
};

// The notes and commands of one track, in file order within a tick.
struct Events {
  const std::vector<ImportNote>& notes;
  const std::vector<ImportCommand>& commands;
  // Whether the next item of a slot from note n and command c is the note.
  bool NoteFirst(size_t n, size_t c, const SlotKey& k) const {
    if (c == k.c1) return true;
    if (n == k.n1) return false;
    const ImportNote& x = notes[n];
    const ImportCommand& y = commands[c];
    return x.start < y.time || (x.start == y.time && x.seq < y.seq);
  }
  bool SameNote(const ImportNote& x, int64_t bx, const ImportNote& y, int64_t by) const {
    return x.start - bx == y.start - by && x.length == y.length && x.key == y.key &&
           x.velocity == y.velocity && x.mode == y.mode;
  }
  bool SameCommand(const ImportCommand& x, int64_t bx, const ImportCommand& y, int64_t by) const {
    return x.time - bx == y.time - by && x.kind == y.kind && x.number == y.number &&
           x.value == y.value && x.channel == y.channel && x.text == y.text;
  }
  bool Same(const SlotKey& a, const SlotKey& b) const {
    if (a.hash != b.hash || a.length != b.length || a.length == 0 || a.n1 - a.n0 != b.n1 - b.n0 ||
        a.c1 - a.c0 != b.c1 - b.c0) {
      return false;
    }
    size_t n = a.n0, c = a.c0, m = b.n0, d = b.c0;
    while (n < a.n1 || c < a.c1) {
      const bool note = NoteFirst(n, c, a);
      if (note != NoteFirst(m, d, b)) return false;
      if (note ? !SameNote(notes[n++], a.begin, notes[m++], b.begin)
               : !SameCommand(commands[c++], a.begin, commands[d++], b.begin)) {
        return false;
      }
    }
    return true;
  }
};

uint64_t Mix(uint64_t h, int64_t v) {
  return (h ^ static_cast<uint64_t>(v)) * 1099511628211ull;
}

std::vector<SlotKey> SlotKeys(const Events& e, const BarGrid& grid,
                              const std::vector<Slot>& slots) {
  std::vector<SlotKey> keys;
  size_t n = 0, c = 0;
  for (const Slot& slot : slots) {
    SlotKey k;
    k.begin = grid.Start(slot.bar);
    const int64_t end = grid.End(slot.bar + slot.run - 1);
    k.length = slot.run > 1 ? 0 : end - k.begin;
    k.n0 = n;
    k.c0 = c;
    uint64_t h = Mix(14695981039346656037ull, k.length);
    while (n < e.notes.size() && e.notes[n].start < end) {
      h = Mix(Mix(Mix(h, e.notes[n].start - k.begin), e.notes[n].key), e.notes[n].length);
      ++n;
    }
    while (c < e.commands.size() && e.commands[c].time < end) {
      h = Mix(Mix(Mix(h, e.commands[c].time - k.begin), e.commands[c].number), e.commands[c].value);
      ++c;
    }
    k.n1 = n;
    k.c1 = c;
    k.hash = h;
    keys.push_back(k);
  }
  return keys;
}

// A run of `length` slots from `slot`, played `passes` times (1: plain);
// passes above 255 are 255 passes of an inner loop repeated.
struct Segment {
  size_t slot = 0;
  size_t length = 1;
  size_t passes = 1;
};

// At each slot, the body of up to kLongestBody slots whose repeats cover the
// most, while the song has loops left (a nested loop takes two). A pass
// that a loop repeats holds no comment, since it is not written.
std::vector<Segment> FindSegments(const Events& events, const std::vector<SlotKey>& keys,
                                  const std::vector<std::string>& comments, int* loops) {
  std::vector<Segment> out;
  const size_t n = keys.size();
  auto same = [&](size_t a, size_t b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      // Hashes first: most bars differ from most others.
      if (keys[a + i].hash != keys[b + i].hash || !comments[b + i].empty() ||
          !events.Same(keys[a + i], keys[b + i])) {
        return false;
      }
    }
    return true;
  };
  // Passes counted at most: more than one segment uses.
  constexpr size_t kMostCounted = kMostPasses * kMostPasses;
  for (size_t b = 0; b < n;) {
    size_t best_length = 1, best_reps = 1;
    // A run of equal bars is best taken one bar a pass: a longer body of
    // such bars covers no more.
    while (b + best_reps < n && best_reps < kMostCounted && same(b, b + best_reps, 1)) {
      ++best_reps;
    }
    const bool equal_bars = best_reps > 1;
    for (size_t p = 2; !equal_bars && p <= kLongestBody && b + 2 * p <= n; ++p) {
      size_t reps = 1;
      while (b + (reps + 1) * p <= n && reps < kMostCounted && same(b, b + reps * p, p)) ++reps;
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

// Where the slots of one track begin and end.
struct SlotTimes {
  const BarGrid& grid;
  const std::vector<Slot>& slots;
  int64_t end;  // the track's end
  int64_t Start(size_t i) const { return grid.Start(slots[i].bar); }
  int64_t End(size_t i) const { return std::min(grid.End(slots[i].bar + slots[i].run - 1), end); }
};

// The track's commands with gradual changes found in each stretch of text
// that is written: the plain slots between loops, and each loop's body.
// Slots that loops repeat keep their commands; the writer passes over them.
std::vector<ImportCommand> WrittenCommands(Writing& w, const Events& t, int channel, size_t index,
                                           const std::vector<Segment>& segments,
                                           const SlotTimes& times, std::vector<int> values) {
  std::vector<bool> skip(131, false);
  for (int n = 0; n < 131; ++n) {
    auto it = w.senders.find({n == kTempoAttribute ? -1 : channel, n});
    skip[static_cast<size_t>(n)] = it != w.senders.end() && it->second > 1;
  }
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
    const int64_t begin = times.Start(segments[s].slot);
    if (segments[s].passes == 1) {
      while (s < segments.size() && segments[s].passes == 1) ++s;
      take_until(begin, s < segments.size() ? times.Start(segments[s].slot) : INT64_MAX, true);
      continue;
    }
    const Segment& g = segments[s++];
    take_until(begin, times.End(g.slot + g.length - 1), true);
    take_until(begin, times.End(g.slot + g.length * g.passes - 1), false);
  }
  take_until(0, INT64_MAX, false);
  return out;
}

// The texts of a segment's slots (a loop's body once). A run of empty bars
// is one bar's rest repeated by loops, while the song has loops left.
// A bar's notes may step on into the next bar, unless a loop begins or ends
// between them (each pass must start where the first did).
std::vector<std::string> Body(Writing& w, TrackWriter& writer, const Segment& g,
                              const SlotTimes& times, bool loop_follows) {
  std::vector<std::string> texts;
  for (size_t i = g.slot; i < g.slot + g.length; ++i) {
    const Slot& slot = times.slots[i];
    const bool last = i + 1 == times.slots.size() && g.passes == 1;
    if (slot.run == 1) {
      const bool edge = i + 1 == g.slot + g.length && (g.passes > 1 || loop_follows);
      const bool on = !edge && i + 1 < times.slots.size() && times.slots[i + 1].run == 1;
      texts.push_back(
          writer.Bar(times.Start(i), times.End(i), on ? times.End(i + 1) : times.End(i), last));
      continue;
    }
    const int64_t bar = w.grid.End(slot.bar) - w.grid.Start(slot.bar);
    const int64_t begin = times.Start(i);
    const std::string rest = writer.Bar(begin, begin + bar, begin + bar, false);
    std::string text;
    for (size_t left = slot.run; left > 0;) {
      size_t take = 1;
      if (left >= 2 * kMostPasses && w.loops < 999) {
        take = std::min(left / kMostPasses, kMostPasses) * kMostPasses;
        text += (text.empty() ? "" : " ") + ("[[" + rest + "]255]") +
                std::to_string(take / kMostPasses);
        w.loops += 2;
      } else if (left >= 2 && w.loops < 1000) {
        take = std::min(left, kMostPasses);
        text += (text.empty() ? "" : " ") + ("[" + rest + "]") + std::to_string(take);
        w.loops += 1;
      } else {
        text += (text.empty() ? "" : " ") + rest;
      }
      left -= take;
    }
    writer.Skip(times.End(i));
    texts.push_back(text);
  }
  return texts;
}

// Comments of texts and markers, on the first track, before their bars.
std::vector<std::string> Comments(const Writing& w, size_t index, const std::vector<Slot>& slots,
                                  const std::vector<size_t>& slot_of_bar_start) {
  std::vector<std::string> comments(slots.size());
  if (index != 0 || slots.empty()) return comments;
  for (const ImportComment& c : w.plan.comments) {
    const size_t bar = w.grid.BarAt(std::min(c.time, w.grid.End(slots.back().bar) - 1));
    auto it = std::upper_bound(slot_of_bar_start.begin(), slot_of_bar_start.end(), bar);
    comments[static_cast<size_t>(it - slot_of_bar_start.begin()) - 1] += "// " + c.text + "\n";
  }
  return comments;
}

// The bars that hold an event of the track, or a comment (first track).
std::vector<size_t> MarkedBars(const Writing& w, const Events& t, size_t index, int64_t end) {
  // Notes and commands are each in time order: their bars merge.
  std::vector<size_t> of_notes, of_commands, bars;
  of_notes.reserve(t.notes.size());
  for (const ImportNote& n : t.notes) of_notes.push_back(w.grid.BarAt(n.start));
  of_commands.reserve(t.commands.size());
  for (const ImportCommand& c : t.commands) of_commands.push_back(w.grid.BarAt(c.time));
  bars.reserve(of_notes.size() + of_commands.size());
  std::merge(of_notes.begin(), of_notes.end(), of_commands.begin(), of_commands.end(),
             std::back_inserter(bars));
  if (index == 0) {
    for (const ImportComment& c : w.plan.comments) {
      bars.push_back(w.grid.BarAt(std::min(c.time, end - 1)));
    }
    std::sort(bars.begin(), bars.end());
  }
  bars.erase(std::unique(bars.begin(), bars.end()), bars.end());
  return bars;
}

// The head of a track: its comment, the definitions (first track), channel,
// default length and what the track sets at its start (`setup`).
void PutHead(Writing& w, const ImportTrack& track, size_t index, const Lengths& lengths, int64_t l,
             const std::vector<ImportCommand>& setup) {
  const ImportPlan& plan = w.plan;
  const std::string name = TrackName(index);
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
  for (const ImportCommand& c : setup) head += " " + CommandLine(c, track.channel, plan, lengths);
  PutLine(w.score, name, head);
}

// The commands at the track's first tick (but note-offs, which go among its
// notes) go on its head line: a loop may then start at the first bar.
std::vector<ImportCommand> TakeSetup(std::vector<ImportCommand>& commands,
                                     std::vector<int>* values) {
  std::vector<ImportCommand> setup, rest;
  for (ImportCommand& c : commands) {
    if (c.time == 0 && c.kind != CommandKind::kOff) {
      if (c.kind == CommandKind::kAttribute) (*values)[static_cast<size_t>(c.number)] = c.value;
      setup.push_back(std::move(c));
    } else {
      rest.push_back(std::move(c));
    }
  }
  commands = std::move(rest);
  return setup;
}

}  // namespace

void WriteTrack(Writing& w, const ImportTrack& whole, size_t index) {
  const ImportPlan& plan = w.plan;
  const std::string name = TrackName(index);
  const Lengths lengths(plan.resolution);
  const int64_t l = DefaultLength(whole, plan.resolution);
  const int64_t end = TrackEnd(whole);
  const ImportTrack& track = whole;
  std::vector<ImportCommand> commands = whole.commands;
  std::vector<int> values(131, 0);
  PutHead(w, track, index, lengths, l, TakeSetup(commands, &values));
  const Events events{track.notes, commands};
  if (end == 0) {
    for (const ImportComment& c : plan.comments) w.score += index == 0 ? "// " + c.text + "\n" : "";
    return;
  }
  const std::vector<Slot> slots = Slots(w.grid, MarkedBars(w, events, index, end), end);
  std::vector<size_t> firsts;
  for (const Slot& s : slots) firsts.push_back(s.bar);
  const std::vector<std::string> comments = Comments(w, index, slots, firsts);
  const SlotTimes times{w.grid, slots, end};
  const std::vector<Segment> segments =
      FindSegments(events, SlotKeys(events, w.grid, slots), comments, &w.loops);
  const std::vector<ImportCommand> written =
      WrittenCommands(w, events, track.channel, index, segments, times, values);
  TrackWriter writer(track.notes, written, track.channel, plan, lengths, l, track.channel != 9);
  for (size_t k = 0; k < segments.size(); ++k) {
    const Segment& g = segments[k];
    const bool loop_follows = k + 1 < segments.size() && segments[k + 1].passes > 1;
    const TrackWriter::Mark mark = writer.Here();
    const VoiceState start = writer.state();
    std::vector<std::string> texts = Body(w, writer, g, times, loop_follows);
    const VoiceState after = writer.state();
    if (g.passes > 1 && (after.velocity != start.velocity || after.held != start.held)) {
      writer.Rewind(mark);
      writer.Forget(after.velocity != start.velocity, after.held != start.held);
      texts = Body(w, writer, g, times, loop_follows);
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
      w.score += comments[g.slot + i];
      PutLine(w.score, name, text);
    }
    if (g.passes > 1) writer.Skip(times.End(g.slot + g.length * g.passes - 1));
  }
  w.notes += writer.notes();
  w.ticky_notes += writer.notes_with_tick_lengths();
}
