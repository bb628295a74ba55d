#include "import/score_writer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>

#include "import/import_tracks.h"

namespace {

constexpr const char* kNoteNames[12] = {"c", "c+", "d", "d+", "e", "f",
                                        "f+", "g", "g+", "a", "a+", "b"};

// Note values a person writes; any other divisor is a length in ticks.
bool IsNoteValue(int64_t n) {
  for (int64_t v : {1, 2, 4, 8, 16, 32, 64, 128, 3, 6, 12, 24, 48, 96}) {
    if (n == v) return true;
  }
  return false;
}

class Lengths {
 public:
  explicit Lengths(int resolution) : r_(resolution) {
    for (int64_t d = r_; d >= 1; --d) {
      if (r_ % d == 0) divisors_.push_back(d);
    }
  }

  // The length expression for ticks (1 to the longest length): a note
  // value, a dotted one, else exact terms joined with "^". Empty for the
  // default length. *ticky is set when some term is no note value.
  std::string Text(int64_t ticks, int64_t default_length, bool* ticky) const {
    if (ticks == default_length) return "";
    if (r_ % ticks == 0) {
      if (!IsNoteValue(r_ / ticks)) *ticky = true;
      return std::to_string(r_ / ticks);
    }
    const int64_t base = ticks * 2 / 3;
    if (ticks % 3 == 0 && base % 2 == 0 && r_ % base == 0 && IsNoteValue(r_ / base)) {
      return std::to_string(r_ / base) + ".";
    }
    std::string out;
    int64_t left = ticks;
    while (left > 0) {
      const int64_t d = *std::lower_bound(divisors_.begin(), divisors_.end(), left,
                                          [](int64_t a, int64_t b) { return a > b; });
      if (!IsNoteValue(r_ / d)) *ticky = true;
      out += (out.empty() ? "" : "^") + std::to_string(r_ / d);
      left -= d;
    }
    return out;
  }

 private:
  int64_t r_;
  std::vector<int64_t> divisors_;  // descending
};

struct VoiceState {
  int octave = 4;
  int velocity = 80;
  int64_t gate = 0;  // relative gate in ticks
  bool held = false;  // "hit": notes sound without a note-off
  bool operator==(const VoiceState& o) const {
    return octave == o.octave && velocity == o.velocity && gate == o.gate && held == o.held;
  }
};

class TrackWriter {
 public:
  TrackWriter(const ImportTrack& track, const Lengths& lengths, int64_t default_length,
              ImportResult* result)
      : track_(track), lengths_(lengths), l_(default_length), result_(result) {}

  // The text of the bar [begin, end), from the state that the bars before
  // left.
  std::string Bar(int64_t begin, int64_t end) {
    out_.clear();
    cursor_ = begin;
    while (next_command_ < track_.commands.size() || next_note_ < track_.notes.size()) {
      const int64_t t = NextTime();
      if (t >= end) break;
      Rest(t - cursor_);
      while (next_command_ < track_.commands.size() && track_.commands[next_command_].time == t) {
        Put(track_.commands[next_command_++].text);
      }
      size_t last = next_note_;
      while (last < track_.notes.size() && track_.notes[last].start == t) ++last;
      if (last > next_note_) Group(next_note_, last, std::min(NextTimeAfter(last), end) - t);
      next_note_ = last;
    }
    Rest(end - cursor_);
    return out_;
  }

  const VoiceState& state() const { return state_; }

 private:
  int64_t NextTime() const {
    int64_t t = INT64_MAX;
    if (next_command_ < track_.commands.size()) t = track_.commands[next_command_].time;
    if (next_note_ < track_.notes.size()) t = std::min(t, track_.notes[next_note_].start);
    return t;
  }

  int64_t NextTimeAfter(size_t note) const {
    int64_t t = INT64_MAX;
    if (note < track_.notes.size()) t = track_.notes[note].start;
    for (size_t c = next_command_; c < track_.commands.size(); ++c) {
      if (track_.commands[c].time > cursor_) return std::min(t, track_.commands[c].time);
    }
    return t;
  }

  void Put(const std::string& text) {
    if (!out_.empty()) out_ += ' ';
    out_ += text;
  }

  std::string Length(int64_t ticks, bool* ticky) const { return lengths_.Text(ticks, l_, ticky); }

  void Rest(int64_t ticks) {
    bool ticky = false;
    if (ticks > 0 && state_.held) {
      Put("tone");
      state_.held = false;
    }
    while (ticks > 0) {
      const int64_t part = std::min(ticks, kLongestLength);
      Put("r" + Length(part, &ticky));
      ticks -= part;
      cursor_ += part;
    }
  }

  std::string Pitch(int key) {
    const int octave = key / 12 - 1;
    std::string text;
    const int move = octave - state_.octave;
    if (move > 2 || move < -2) {
      text = "o" + std::to_string(octave) + " ";
    } else {
      text.append(static_cast<size_t>(std::max(move, 0)), '>');
      text.append(static_cast<size_t>(std::max(-move, 0)), '<');
    }
    state_.octave = octave;
    return text + kNoteNames[key % 12];
  }

  // The notes [first, last) that start at one tick, as one group; the last
  // member moves the position by `gap` at most. A run of notes that sound a
  // fixed time longer or shorter than their steps gets a relative gate, so
  // that each is written with its step alone.
  void Group(size_t first, size_t last, int64_t gap) {
    const int velocity = track_.notes[first].velocity;
    if (velocity != state_.velocity) {
      Put("v" + std::to_string(velocity));
      state_.velocity = velocity;
    }
    const int64_t step = std::min(gap, kLongestLength);
    const ImportNote& tail = track_.notes[last - 1];
    int64_t gate = state_.gate;
    const int64_t want = tail.length - step;
    if (want != gate && Fits(first, last, step, want) && WantAfter(last) == want) gate = want;
    if (!Fits(first, last, step, gate)) gate = 0;
    if (gate != state_.gate) {
      bool ticky = false;
      Put(gate == 0 ? std::string("q+0")
                    : (gate > 0 ? "q+" : "q-") + lengths_.Text(std::abs(gate), -1, &ticky));
      state_.gate = gate;
    }
    for (size_t i = first; i < last; ++i) {
      const ImportNote& n = track_.notes[i];
      bool ticky = false;
      if (n.held != state_.held) {
        Put(n.held ? "hit" : "tone");
        state_.held = n.held;
      }
      std::string text = Pitch(n.key);
      if (i + 1 < last) {
        text += Length(n.length - gate, &ticky);
      } else if (n.length == step + gate) {
        text += Length(step, &ticky);
        cursor_ = n.start + step;
      } else if (gate == 0 && n.length < step) {
        text += Length(n.length, &ticky);
        cursor_ = n.start + n.length;
      } else {
        text += Length(step, &ticky) + ";" + lengths_.Text(n.length - gate, -1, &ticky);
        cursor_ = n.start + step;
      }
      if (n.velocity != state_.velocity) text += "'" + std::to_string(n.velocity);
      if (i + 1 < last) text += "&";
      Put(text);
      ++result_->notes;
      if (ticky) ++result_->notes_with_tick_lengths;
    }
  }

  // Whether the group can be written under a relative gate: every written
  // length from 1 to the longest length.
  bool Fits(size_t first, size_t last, int64_t step, int64_t gate) const {
    if (gate > kLongestLength || gate < -kLongestLength) return false;
    for (size_t i = first; i < last; ++i) {
      const int64_t written = track_.notes[i].length - gate;
      if (i + 1 == last && track_.notes[i].length == step + gate) continue;
      if (written < 1 || written > kLongestLength) return false;
    }
    return true;
  }

  // The gate that the group after `next` would want (its next event taken
  // without the bar's end), or none.
  int64_t WantAfter(size_t next) const {
    if (next >= track_.notes.size()) return INT64_MIN;
    const int64_t t = track_.notes[next].start;
    size_t last = next;
    while (last < track_.notes.size() && track_.notes[last].start == t) ++last;
    int64_t after = last < track_.notes.size() ? track_.notes[last].start : INT64_MAX;
    for (size_t c = next_command_; c < track_.commands.size(); ++c) {
      if (track_.commands[c].time > t) {
        after = std::min(after, track_.commands[c].time);
        break;
      }
    }
    if (after == INT64_MAX) return INT64_MIN;
    return track_.notes[last - 1].length - std::min(after - t, kLongestLength);
  }

  const ImportTrack& track_;
  const Lengths& lengths_;
  int64_t l_;
  ImportResult* result_;
  VoiceState state_;
  std::string out_;
  int64_t cursor_ = 0;
  size_t next_note_ = 0;
  size_t next_command_ = 0;
};

std::string TrackName(size_t i) {
  if (i < 26) return std::string(1, static_cast<char>('A' + i));
  return std::string(1, static_cast<char>('A' + (i / 26 - 1) % 26)) +
         static_cast<char>('A' + i % 26);
}

int64_t TrackEnd(const ImportTrack& t) {
  int64_t end = 0;
  for (const ImportNote& n : t.notes) end = std::max(end, n.start + n.length);
  for (const ImportCommand& c : t.commands) end = std::max(end, c.time + 1);
  return end;
}

// The starts of the bars up to `end`, after the time signatures.
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

// The most common note length that is a plain note value.
int64_t DefaultLength(const ImportTrack& t, int resolution) {
  std::map<int64_t, int> counts;
  for (const ImportNote& n : t.notes) {
    if (resolution % n.length == 0 && IsNoteValue(resolution / n.length)) ++counts[n.length];
  }
  int64_t best = resolution / 4;
  int most = 0;
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

struct BarText {
  VoiceState state;
  std::string text;
};

void WriteTrack(const ImportTrack& track, const std::string& name, const ImportPlan& plan,
                const std::vector<int64_t>& bars, int* loops, ImportResult* result,
                std::string& score) {
  const Lengths lengths(plan.resolution);
  const int64_t l = DefaultLength(track, plan.resolution);
  bool ticky = false;
  score += "\n// " + name + ": " + (track.midi_name.empty() ? "track" : track.midi_name) +
           " (MIDI track " + std::to_string(track.midi_track + 1) + ", channel " +
           std::to_string(track.channel + 1) + ")\n";
  std::string head = "ch" + std::to_string(track.channel + 1);
  if (name == "A" && !plan.definitions.empty()) head = plan.definitions + " " + head;
  if (l != plan.resolution / 4) head += " l" + lengths.Text(l, -1, &ticky);
  score += name + " " + head + "\n";
  TrackWriter writer(track, lengths, l, result);
  const int64_t end = TrackEnd(track);
  std::vector<BarText> texts;
  for (size_t b = 0; b + 1 < bars.size() && bars[b] < end; ++b) {
    BarText bar{writer.state(), ""};
    bar.text = writer.Bar(bars[b], std::min(bars[b + 1], end));
    texts.push_back(bar);
  }
  // A loop repeats at most 255 times; a longer run of equal bars (a long
  // silence, most often) nests one loop in another, so that the score grows
  // with what changes, not with the song's length.
  constexpr size_t kMostPasses = 255;
  for (size_t b = 0; b < texts.size();) {
    size_t run = 1;
    while (b + run < texts.size() && run < kMostPasses * kMostPasses &&
           texts[b + run].state == texts[b].state && texts[b + run].text == texts[b].text) {
      ++run;
    }
    if (run > kMostPasses && *loops < 999) {
      const size_t outer = run / kMostPasses;
      PutLine(score, name, "[[" + texts[b].text + "]255]" + std::to_string(outer));
      *loops += 2;
      run = outer * kMostPasses;
    } else if (run >= 2 && *loops < 1000) {
      run = std::min(run, kMostPasses);
      PutLine(score, name, "[" + texts[b].text + "]" + std::to_string(run));
      ++*loops;
    } else {
      run = 1;
      PutLine(score, name, texts[b].text);
    }
    b += run;
  }
}

void Report(const SmfSong& song, const ImportPlan& plan, int grid, ImportResult* r) {
  auto line = [r](const std::string& s) { r->report.push_back(s); };
  line(std::to_string(r->tracks) + " tracks, " + std::to_string(r->notes) + " notes, resolution " +
       std::to_string(plan.resolution));
  if (song.smpte) {
    line("SMPTE division: taken as " + std::to_string(song.division) +
         " ticks per quarter at tempo " + std::to_string(song.smpte_tempo) +
         (song.smpte_inexact ? " (29.97 frames per second taken as 30)" : ""));
  }
  if (plan.scaled) {
    line(std::to_string(song.division) + " ticks per quarter do not fit: resolution scaled to " +
         std::to_string(plan.resolution) + ", times rounded");
  }
  const ImportCounts& c = plan.counts;
  auto count = [&](int n, const std::string& what) {
    if (n > 0) line(std::to_string(n) + " " + what);
  };
  if (grid > 0) {
    line("grid " + std::to_string(grid) + ": " + std::to_string(c.moved) +
         " note starts and ends moved, the largest by " + std::to_string(c.largest_move) +
         " ticks");
  }
  count(c.unended_notes, "notes without an end, written held (hit)");
  count(c.zero_length_notes, "notes of length 0 lengthened to 1 tick");
  count(c.long_notes, "notes longer than 15359 ticks shortened");
  count(c.long_sysex, "System Exclusive messages over 255 bytes left out");
  count(c.byte_lists_left_out, "byte lists beyond the 256 a song holds left out");
  count(c.bends_rounded, "fine pitch bends beyond the 256 byte lists a song holds kept to 7 bits");
  count(c.inexact_tempos, "tempos rounded to whole quarters per minute");
  count(c.key_signatures, "key signatures left out");
  count(c.texts, "texts and markers left out");
  count(song.skipped_meta, "other meta events skipped");
  count(song.dropped_tempos, "tempo events of an SMPTE-timed file left out");
  count(song.bytes_outside, "bytes outside the tracks skipped");
}

}  // namespace

ImportResult WriteScore(const SmfSong& song, const std::string& file_title,
                        const ImportOptions& options) {
  ImportResult result;
  const ImportPlan plan = PlanTracks(song, options.grid);
  result.resolution = plan.resolution;
  result.tracks = static_cast<int>(plan.tracks.size());
  result.moved = plan.counts.moved;
  result.largest_move = static_cast<int>(plan.counts.largest_move);
  std::string title = plan.first_track_name.empty() ? file_title : plan.first_track_name;
  std::replace(title.begin(), title.end(), '\n', ' ');
  std::replace(title.begin(), title.end(), '\r', ' ');
  std::string& score = result.score;
  score = "#title " + title + "\n#clock " + std::to_string(plan.resolution) + "\n";
  int64_t end = 0;
  for (const ImportTrack& t : plan.tracks) end = std::max(end, TrackEnd(t));
  const std::vector<int64_t> bars = BarStarts(plan.bars, end);
  int loops = 0;
  for (size_t i = 0; i < plan.tracks.size(); ++i) {
    WriteTrack(plan.tracks[i], TrackName(i), plan, bars, &loops, &result, score);
  }
  Report(song, plan, options.grid, &result);
  return result;
}
