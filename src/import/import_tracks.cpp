#include "import/import_tracks.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <utility>

namespace {

struct Timing {
  int64_t num = 1;  // score ticks = file ticks * num / den
  int64_t den = 1;
  int64_t Score(uint64_t file_tick) const {
    if (num == den) return static_cast<int64_t>(file_tick);
    return static_cast<int64_t>((file_tick * static_cast<uint64_t>(num) + den / 2) / den);
  }
};

std::string ByteList(std::initializer_list<int> bytes) {
  std::string out = "{";
  for (int b : bytes) out += (out.size() > 1 ? " " : "") + std::to_string(b);
  return out + "}";
}

std::string ByteList(const std::string& bytes) {
  std::string out = "{";
  for (char c : bytes) out += (out.size() > 1 ? " " : "") + std::to_string(static_cast<uint8_t>(c));
  return out + "}";
}

// The score's tempo for microseconds per quarter: the smallest whole tempo
// that writes back as the same microseconds, else the nearest.
int TempoFor(uint32_t us, bool* exact) {
  if (us == 0) us = 1;
  int64_t b = 60000000 / (static_cast<int64_t>(us) + 1) + 1;
  // Tempos below 4 all go out as the largest tempo value a file holds.
  if (us >= 0xffffff) b = 1;
  *exact = b >= 1 && b <= 9999 && std::min<int64_t>(60000000 / b, 0xffffff) == us;
  if (!*exact) b = (60000000 + us / 2) / us;
  return static_cast<int>(std::clamp<int64_t>(b, 1, 9999));
}

struct Builder {
  const SmfSong& song;
  ImportPlan& plan;
  Timing timing;
  std::map<std::pair<int, int>, int> track_of;  // (MIDI track, channel) -> index
  std::map<std::pair<int, int>, std::deque<ImportNote>> sounding;  // (index, key)
  bool seen_tempo = false;
  std::array<bool, 128> defined{};
  int byte_lists = 0;

  void Command(int track, int64_t time, std::string text) {
    plan.tracks[static_cast<size_t>(track)].commands.push_back({time, std::move(text)});
  }

  // A program change right after both bank selects of its tick becomes one
  // program command with its bank.
  void Program(int track, int64_t time, int program) {
    auto& list = plan.tracks[static_cast<size_t>(track)].commands;
    const size_t n = list.size();
    int msb = -1, lsb = -1;
    if (n >= 2 && list[n - 2].time == time && list[n - 1].time == time &&
        std::sscanf(list[n - 2].text.c_str(), "Msb%d", &msb) == 1 &&
        std::sscanf(list[n - 1].text.c_str(), "Lsb%d", &lsb) == 1) {
      list.resize(n - 2);
      Command(track, time, "@" + std::to_string(program) + "." + std::to_string(msb) + "." +
                               std::to_string(lsb));
      return;
    }
    Command(track, time, "@" + std::to_string(program));
  }

  // Controllers go out by name: the language's own V, P and M, and names the
  // score defines for the others it uses.
  void Controller(int track, int64_t time, int number, int value) {
    std::string name = number == 7 ? "V" : number == 10 ? "P" : number == 1 ? "M" : "";
    if (name.empty()) {
      name = ControllerName(number);
      if (!defined[static_cast<size_t>(number)]) {
        defined[static_cast<size_t>(number)] = true;
        plan.definitions += (plan.definitions.empty() ? "" : " ") + name + "=" +
                            std::to_string(number);
      }
    }
    Command(track, time, name + std::to_string(value));
  }

  static std::string ControllerName(int number) {
    switch (number) {
      case 0: return "Msb";
      case 32: return "Lsb";
      case 11: return "Exp";
      case 64: return "Ped";
      case 91: return "Rev";
      case 93: return "Cho";
      default: {
        std::string name = "Cc";
        name += static_cast<char>('a' + number / 26);
        name += static_cast<char>('a' + number % 26);
        return name;
      }
    }
  }

  // Byte lists are counted: a song holds 256 of them (see FitByteLists).
  void ByteListCommand(int track, int64_t time, std::string text) {
    ++byte_lists;
    Command(track, time, std::move(text));
  }

  void NoteOff(int track, int key, int64_t time) {
    auto it = sounding.find({track, key});
    if (it == sounding.end() || it->second.empty()) return;
    ImportNote note = it->second.front();
    it->second.pop_front();
    note.length = time - note.start;
    plan.tracks[static_cast<size_t>(track)].notes.push_back(note);
  }

  void Channel(const SmfEvent& e, int64_t time) {
    const int track = track_of.at({e.track, e.status & 15});
    switch (e.status & 0xf0) {
      case 0x90:
        if (e.data2 > 0) {
          sounding[{track, e.data1}].push_back({time, 0, e.data1, e.data2});
          return;
        }
        [[fallthrough]];
      case 0x80:
        NoteOff(track, e.data1, time);
        return;
      case 0xa0:
        ByteListCommand(track, time, ByteList({160, e.data1, e.data2}));
        return;
      case 0xb0:
        Controller(track, time, e.data1, e.data2);
        return;
      case 0xc0:
        Program(track, time, e.data1);
        return;
      case 0xd0:
        ByteListCommand(track, time, ByteList({208, e.data1}));
        return;
      default:
        if (e.data1 == 0) {
          Command(track, time, "D" + std::to_string(e.data2));
        } else {
          ByteListCommand(track, time, ByteList({224, e.data1, e.data2}));
        }
    }
  }

  // The score track for events without a channel: the first of their MIDI
  // track, else the first of all.
  int HomeOf(int midi_track) const {
    auto it = track_of.lower_bound({midi_track, 0});
    if (it != track_of.end() && it->first.first == midi_track) return it->second;
    return 0;
  }

  void Other(const SmfEvent& e, int64_t time) {
    switch (e.kind) {
      case SmfKind::kSysEx:
      case SmfKind::kEscape:
        if (e.bytes.empty()) return;  // an escape of no bytes sends nothing
        if (e.bytes.size() > 255) {
          ++plan.counts.long_sysex;
        } else {
          ByteListCommand(HomeOf(e.track), time, ByteList(e.bytes));
        }
        return;
      case SmfKind::kTempo: {
        bool exact = true;
        const int tempo = TempoFor(e.value, &exact);
        if (!exact) ++plan.counts.inexact_tempos;
        // Only the last tempo of a tick counts; a song starts at 120.
        auto& list = plan.tracks[0].commands;
        if (!list.empty() && list.back().time == time && list.back().text[0] == 't') {
          list.pop_back();
        }
        if (time == 0 && tempo == 120 && !seen_tempo) return;
        seen_tempo = true;
        Command(0, time, "t" + std::to_string(tempo));
        return;
      }
      case SmfKind::kTimeSignature: {
        const int power = std::min<int>(static_cast<int>(e.value & 255), 16);
        const int64_t length = std::max<int64_t>(
            1, (static_cast<int64_t>(e.value >> 8) * plan.resolution) >> power);
        if (!plan.bars.empty() && plan.bars.back().time == time) plan.bars.pop_back();
        plan.bars.push_back({time, length});
        return;
      }
      case SmfKind::kKeySignature:
        ++plan.counts.key_signatures;
        return;
      case SmfKind::kTrackName:
        if (e.track == 0 && plan.first_track_name.empty()) plan.first_track_name = e.bytes;
        for (ImportTrack& t : plan.tracks) {
          if (t.midi_track == e.track && t.midi_name.empty()) t.midi_name = e.bytes;
        }
        return;
      default:
        ++plan.counts.texts;
        return;
    }
  }

  void MakeTracks() {
    for (const SmfEvent& e : song.events) {
      if (e.kind == SmfKind::kChannel) track_of.emplace(std::make_pair(e.track, e.status & 15), 0);
    }
    if (track_of.empty()) track_of.emplace(std::make_pair(0, 0), 0);
    for (auto& [key, index] : track_of) {
      index = static_cast<int>(plan.tracks.size());
      ImportTrack t;
      t.midi_track = key.first;
      t.channel = key.second;
      plan.tracks.push_back(t);
    }
  }

  void Run() {
    MakeTracks();
    plan.bars.push_back({0, plan.resolution});
    if (song.smpte) Command(0, 0, "t" + std::to_string(song.smpte_tempo));
    int64_t last = 0;
    for (const SmfEvent& e : song.events) {
      const int64_t time = timing.Score(e.tick);
      last = std::max(last, time);
      if (e.kind == SmfKind::kChannel) {
        Channel(e, time);
      } else {
        Other(e, time);
      }
    }
    for (auto& [key, notes] : sounding) {
      while (!notes.empty()) {
        ++plan.counts.unended_notes;
        ImportNote note = notes.front();
        notes.pop_front();
        note.held = true;
        note.length = 1;
        plan.tracks[static_cast<size_t>(key.first)].notes.push_back(note);
      }
    }
  }
};

void Snap(int64_t* t, int64_t step, ImportCounts* counts) {
  const int64_t snapped = (*t + step / 2) / step * step;
  if (snapped == *t) return;
  ++counts->moved;
  counts->largest_move = std::max(counts->largest_move, std::abs(snapped - *t));
  *t = snapped;
}

void FitNotes(ImportPlan& plan, int grid) {
  const int64_t step = grid > 0 ? std::max<int64_t>(1, plan.resolution / grid) : 0;
  for (ImportTrack& t : plan.tracks) {
    for (ImportNote& n : t.notes) {
      if (n.held) continue;
      if (step > 0) {
        int64_t end = n.start + n.length;
        Snap(&n.start, step, &plan.counts);
        Snap(&end, step, &plan.counts);
        n.length = std::max<int64_t>(end - n.start, step);
      }
      if (n.length <= 0) {
        ++plan.counts.zero_length_notes;
        n.length = 1;
      } else if (n.length > kLongestLength) {
        ++plan.counts.long_notes;
        n.length = kLongestLength;
      }
    }
    std::stable_sort(t.notes.begin(), t.notes.end(), [](const ImportNote& a, const ImportNote& b) {
      return a.start != b.start ? a.start < b.start : a.key < b.key;
    });
  }
}

// Notes of one key that overlap cannot share a track (the second would cut
// the first short): each such note moves to a further track on its channel.
void SplitOverlaps(ImportPlan& plan) {
  std::vector<ImportTrack> out;
  for (ImportTrack& base : plan.tracks) {
    std::vector<ImportTrack> parts(1);
    std::vector<std::array<int64_t, 128>> ends(1);
    ends[0].fill(INT64_MIN);
    for (const ImportNote& n : base.notes) {
      size_t k = 0;
      while (k < parts.size() && ends[k][static_cast<size_t>(n.key)] > n.start) ++k;
      if (k == parts.size()) {
        parts.emplace_back();
        ends.emplace_back();
        ends.back().fill(INT64_MIN);
      }
      parts[k].notes.push_back(n);
      ends[k][static_cast<size_t>(n.key)] = n.start + n.length;
    }
    for (size_t k = 0; k < parts.size(); ++k) {
      ImportTrack t;
      t.midi_track = base.midi_track;
      t.channel = base.channel;
      t.midi_name = base.midi_name;
      t.notes = std::move(parts[k].notes);
      if (k == 0) t.commands = std::move(base.commands);
      out.push_back(std::move(t));
    }
  }
  plan.tracks = std::move(out);
}

std::string TemplateName(int k) {
  std::string name = "Tx";
  name += static_cast<char>('a' + k / 26);
  name += static_cast<char>('a' + k % 26);
  return name;
}

// A song holds 256 byte lists. Beyond that, a list that comes back often is
// defined once as a template attribute and used by name; what still does not
// fit is a pitch bend kept to its high seven bits, or left out.
void FitByteLists(ImportPlan& plan, int byte_lists, int names_used) {
  constexpr int kRoom = 256;
  if (byte_lists <= kRoom) return;
  std::map<std::string, int> uses;
  for (const ImportTrack& t : plan.tracks) {
    for (const ImportCommand& c : t.commands) {
      if (c.text[0] == '{') ++uses[c.text];
    }
  }
  std::vector<std::pair<int, std::string>> by_use;
  for (const auto& [text, n] : uses) {
    if (n > 1) by_use.emplace_back(-n, text);
  }
  std::sort(by_use.begin(), by_use.end());
  std::map<std::string, std::string> named;
  const int room = std::min<int>(120 - names_used, 26 * 26);
  for (size_t k = 0; k < by_use.size() && static_cast<int>(k) < room; ++k) {
    const std::string name = TemplateName(static_cast<int>(k));
    named[by_use[k].second] = name;
    plan.definitions += (plan.definitions.empty() ? "" : " ") + name + "=" + by_use[k].second;
  }
  int inline_lists = 0;
  for (ImportTrack& t : plan.tracks) {
    std::vector<ImportCommand> kept;
    for (ImportCommand& c : t.commands) {
      if (c.text[0] != '{') {
        kept.push_back(std::move(c));
      } else if (auto it = named.find(c.text); it != named.end()) {
        kept.push_back({c.time, it->second + "0"});
      } else if (inline_lists < kRoom) {
        ++inline_lists;
        kept.push_back(std::move(c));
      } else if (int lsb = 0, msb = 0; std::sscanf(c.text.c_str(), "{224 %d %d}", &lsb, &msb) == 2) {
        ++plan.counts.bends_rounded;
        kept.push_back({c.time, "D" + std::to_string(msb)});
      } else {
        ++plan.counts.byte_lists_left_out;
      }
    }
    t.commands = std::move(kept);
  }
}

// A track with very many events is cut, at note starts, into tracks of the
// same channel that take turns in time.
void CutLongTracks(ImportPlan& plan) {
  std::vector<ImportTrack> out;
  for (ImportTrack& t : plan.tracks) {
    if (t.notes.size() + t.commands.size() <= kEventsPerTrack) {
      out.push_back(std::move(t));
      continue;
    }
    size_t n = 0, c = 0;
    while (n < t.notes.size() || c < t.commands.size()) {
      ImportTrack part;
      part.midi_track = t.midi_track;
      part.channel = t.channel;
      part.midi_name = t.midi_name;
      while ((n < t.notes.size() || c < t.commands.size()) &&
             part.notes.size() + part.commands.size() < kEventsPerTrack) {
        const bool note_first = c == t.commands.size() ||
                                (n < t.notes.size() && t.notes[n].start < t.commands[c].time);
        if (note_first) {
          part.notes.push_back(t.notes[n++]);
        } else {
          part.commands.push_back(t.commands[c++]);
        }
      }
      // Keep the rest of the tick in this part.
      const int64_t tick = part.notes.empty() ? part.commands.back().time
                           : part.commands.empty()
                               ? part.notes.back().start
                               : std::max(part.notes.back().start, part.commands.back().time);
      while (n < t.notes.size() && t.notes[n].start == tick) part.notes.push_back(t.notes[n++]);
      while (c < t.commands.size() && t.commands[c].time <= tick) {
        part.commands.push_back(t.commands[c++]);
      }
      out.push_back(std::move(part));
    }
  }
  plan.tracks = std::move(out);
}

// Whether lengths at resolution r need too many terms to write. A length
// is written as terms of r / d ticks for the divisors d of r, largest first,
// so between two neighbouring term sizes a < b at most b / a terms of a are
// used: the sum of those ratios bounds the terms of any length a note can
// have. Four times a large prime leaves a gap that would take thousands of
// terms for one note, more than a line of the score holds.
bool AwkwardResolution(int64_t r) {
  constexpr int64_t kMostTerms = 128;
  int64_t previous = 1;
  int64_t terms = 0;
  for (int64_t d = 2; d <= r && previous <= kLongestLength; ++d) {
    if (r % d != 0) continue;
    terms += d / previous;
    previous = d;
  }
  return terms > kMostTerms;
}

// The resolution used when the file's own does not fit: 480 ticks per
// quarter, which holds every common note value and tuplet.
constexpr int kFittingResolution = 1920;

}  // namespace

ImportPlan PlanTracks(const SmfSong& song, int grid) {
  ImportPlan plan;
  Timing timing;
  const int64_t natural = 4 * static_cast<int64_t>(song.division);
  int64_t resolution = natural <= 65535 ? natural : natural / ((natural + 65534) / 65535);
  if (AwkwardResolution(resolution)) resolution = kFittingResolution;
  plan.resolution = static_cast<int>(resolution);
  if (resolution != natural) {
    timing.num = resolution;
    timing.den = natural;
    plan.scaled = true;
  }
  Builder builder{song, plan, timing, {}, {}, false, {}, 0};
  builder.Run();
  int names_used = 0;
  for (bool d : builder.defined) names_used += d ? 1 : 0;
  FitByteLists(plan, builder.byte_lists, names_used);
  FitNotes(plan, grid);
  SplitOverlaps(plan);
  CutLongTracks(plan);
  return plan;
}
