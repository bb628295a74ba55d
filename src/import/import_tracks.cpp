// The track plan: the file's timing becomes the score's resolution, its
// events score commands and key events in score tracks, one per MIDI track
// and channel.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <utility>

#include "import/import_plan.h"
#include "import/import_text.h"

namespace {

// How file ticks become score ticks, and how the score's tempos go back
// into the file when it is exported again.
struct Timing {
  int64_t num = 1;  // score ticks = file ticks * num / den
  int64_t den = 1;
  int64_t division = 0;    // the file's ticks per quarter
  int64_t resolution = 0;  // the score's ticks per whole note
  int64_t Score(uint64_t file_tick, int* rounded) const {
    if (num == den) return static_cast<int64_t>(file_tick);
    // A tick so late that scaling it would overflow lies past any time a
    // track holds: it is counted as late, not wrapped round to an early one.
    if (file_tick > UINT64_MAX / static_cast<uint64_t>(num)) return INT64_MAX;
    const uint64_t scaled = file_tick * static_cast<uint64_t>(num);
    if (scaled % static_cast<uint64_t>(den) != 0) ++*rounded;
    return static_cast<int64_t>((scaled + static_cast<uint64_t>(den) / 2) /
                                static_cast<uint64_t>(den));
  }
};

// The file division and file ticks per song tick that an export of a song
// of this resolution writes (as the exporter chooses them).
std::pair<int64_t, int64_t> ExportTiming(int64_t r) {
  if (r % 4 == 0) return {r / 4, 1};
  if (r <= 32767) return {r, 4};
  if (r % 2 == 0) return {r / 2, 2};
  return {(r + 2) / 4, 1};
}

// Microseconds per quarter that an export writes for a tempo.
int64_t ExportedTempo(int64_t tempo, int64_t r) {
  const auto [division, scale] = ExportTiming(r);
  const int64_t us = 240000000 * division / (tempo * scale * r);
  return std::min<int64_t>(us, 0xffffff);
}

// The score tempo for microseconds per file quarter: one that an export
// writes back as the same microseconds when there is one (*exact), else the
// nearest.
int ScoreTempo(uint32_t us, const Timing& t, bool* exact) {
  if (us == 0) us = 1;
  const double ideal = 240000000.0 * static_cast<double>(t.num) * static_cast<double>(t.division) /
                       (static_cast<double>(t.resolution) * static_cast<double>(t.den) * us);
  const int64_t near = std::clamp<int64_t>(std::llround(ideal), 1, 9999);
  *exact = false;
  if (t.num == t.den) {
    for (int64_t b = std::max<int64_t>(1, near - 2); b <= std::min<int64_t>(9999, near + 2); ++b) {
      if (ExportedTempo(b, t.resolution) == us) {
        *exact = true;
        return static_cast<int>(b);
      }
    }
  }
  return static_cast<int>(near);
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
constexpr int64_t kFittingResolution = 1920;

bool TemposExact(const SmfSong& song, const Timing& t) {
  for (const SmfEvent& e : song.events) {
    bool exact = false;
    if (e.kind == SmfKind::kTempo) ScoreTempo(e.value, t, &exact);
    if (e.kind == SmfKind::kTempo && !exact) return false;
  }
  return true;
}

// 4 x ticks per quarter where it fits. A division of 8192 and more may come
// from an odd resolution above 32767, whose export scales every tempo: the
// odd neighbours of 4 x division are taken when they give the file's tempos
// back exactly and 4 x division does not.
Timing ChooseTiming(const SmfSong& song) {
  Timing t;
  t.division = song.division;
  const int64_t natural = 4 * t.division;
  t.resolution = natural;
  if (natural > 65535) t.resolution = natural / ((natural + 65534) / 65535);
  if (AwkwardResolution(t.resolution)) t.resolution = kFittingResolution;
  if (t.resolution == natural && natural - 1 > 32767 && !song.smpte && !TemposExact(song, t)) {
    for (int64_t odd : {natural + 1, natural - 1}) {
      Timing o = t;
      o.resolution = odd;
      if (odd <= 65535 && !AwkwardResolution(odd) && TemposExact(song, o)) return o;
    }
  }
  if (t.resolution != natural) {
    t.num = t.resolution;
    t.den = natural;
  }
  return t;
}

std::string ControllerName(int number) {
  switch (number) {
    case 0:
      return "Msb";
    case 32:
      return "Lsb";
    case 11:
      return "Exp";
    case 64:
      return "Ped";
    case 91:
      return "Rev";
    case 93:
      return "Cho";
    default: {
      std::string name = "Cc";
      name += static_cast<char>('a' + number / 26);
      name += static_cast<char>('a' + number % 26);
      return name;
    }
  }
}

struct Builder {
  Builder(const SmfSong& s, ImportPlan& p, const Timing& t, int g)
      : song(s), plan(p), timing(t), grid(g) {}

  const SmfSong& song;
  ImportPlan& plan;
  Timing timing;
  int grid = 0;
  std::map<std::pair<int, int>, int> track_of;  // (MIDI track, channel) -> index
  std::vector<int> index_of;                    // the same, at MIDI track * 16 + channel
  std::vector<std::vector<KeyEvent>> keys = std::vector<std::vector<KeyEvent>>(16 * 128);
  int last_tempo = -1;

  ImportCommand& Add(int track, int64_t time, uint32_t seq, CommandKind kind) {
    auto& list = plan.tracks[static_cast<size_t>(track)].commands;
    list.emplace_back();
    list.back().time = time;
    list.back().seq = seq;
    list.back().kind = kind;
    return list.back();
  }

  void Bytes(int track, int64_t time, uint32_t seq, std::string bytes, int channel) {
    Add(track, time, seq, CommandKind::kBytes).text = std::move(bytes);
    plan.tracks[static_cast<size_t>(track)].commands.back().channel = channel;
  }

  void Attribute(int track, int64_t time, uint32_t seq, int number, int value) {
    ImportCommand& c = Add(track, time, seq, CommandKind::kAttribute);
    c.number = number;
    c.value = value;
  }

  // A program change right after both bank selects of its tick and track
  // becomes one program command with its bank.
  void Program(int track, int64_t time, uint32_t seq, int program) {
    auto& list = plan.tracks[static_cast<size_t>(track)].commands;
    const size_t n = list.size();
    auto is = [&](size_t i, int number) {
      return list[i].kind == CommandKind::kAttribute && list[i].number == number &&
             list[i].time == time;
    };
    std::string text = "@" + std::to_string(program);
    if (n >= 2 && is(n - 2, 0) && is(n - 1, 32)) {
      text += "." + std::to_string(list[n - 2].value) + "." + std::to_string(list[n - 1].value);
      const uint32_t first = list[n - 2].seq;
      list.resize(n - 2);
      seq = first;
    }
    Add(track, time, seq, CommandKind::kText).text = text;
  }

  void Channel(const SmfEvent& e, int64_t time, uint32_t seq) {
    const int channel = e.status & 15;
    const int track = index_of[static_cast<size_t>(e.track) * 16 + static_cast<size_t>(channel)];
    switch (e.status & 0xf0) {
      case 0x80:
      case 0x90: {
        const bool on = (e.status & 0xf0) == 0x90 && e.data2 > 0;
        if ((e.status & 0xf0) == 0x80 && e.data2 != 0 && e.data2 != 64) {
          ++plan.counts.release_velocities;
        }
        keys[static_cast<size_t>(channel * 128 + e.data1)].push_back(
            {time, seq, static_cast<uint16_t>(track), on ? e.data2 : uint8_t{0}, on});
        return;
      }
      case 0xa0:
        Bytes(track, time, seq,
              std::string{'\xa0', static_cast<char>(e.data1), static_cast<char>(e.data2)}, channel);
        return;
      case 0xb0:
        Attribute(track, time, seq, e.data1, e.data2);
        return;
      case 0xc0:
        Program(track, time, seq, e.data1);
        return;
      case 0xd0:
        Bytes(track, time, seq, std::string{'\xd0', static_cast<char>(e.data1)}, channel);
        return;
      default:
        if (e.data1 == 0) {
          Attribute(track, time, seq, kBendAttribute, e.data2);
        } else {
          Bytes(track, time, seq,
                std::string{'\xe0', static_cast<char>(e.data1), static_cast<char>(e.data2)},
                channel);
        }
    }
  }

  // The score track for events without a channel: the first of their MIDI
  // track, else the first of all.
  int HomeOf(int midi_track) const {
    auto it = track_of.lower_bound({midi_track, -1});
    if (it != track_of.end() && it->first.first == midi_track) return it->second;
    return 0;
  }

  // The channel of a byte list's status bytes, -1 for none; mixed channels
  // are counted and the first one taken.
  int ChannelOf(std::string_view bytes) {
    int channel = -1;
    for (char c : bytes) {
      const auto b = static_cast<uint8_t>(c);
      if (b < 0x80 || b > 0xef) continue;
      if (channel >= 0 && (b & 15) != channel) {
        ++plan.counts.mixed_channel_lists;
        break;
      }
      channel = b & 15;
    }
    return channel;
  }

  // A message over the 255 bytes a byte list holds goes out in parts, one
  // after the other (253 is stored as two bytes).
  // Whether an export takes channel messages out of these bytes sent as one
  // message: it does so with any but a whole System Exclusive message.
  static bool Reframed(std::string_view bytes) {
    const bool framed = bytes.size() >= 2 && static_cast<uint8_t>(bytes.front()) == 0xf0 &&
                        static_cast<uint8_t>(bytes.back()) == 0xf7;
    return !framed && std::any_of(bytes.begin(), bytes.end(), [](char c) {
      return static_cast<uint8_t>(c) >= 0x80 && static_cast<uint8_t>(c) <= 0xef;
    });
  }

  void SysEx(const SmfEvent& e, int64_t time, uint32_t seq) {
    const std::string_view bytes = song.Bytes(e);
    if (bytes.empty()) return;  // an escape of no bytes sends nothing
    const int track = HomeOf(e.track);
    const int channel = ChannelOf(bytes);
    std::vector<std::string> parts(1);
    int stored = 0;
    if (bytes.size() > 255) ++plan.counts.long_sysex;
    for (char c : bytes) {
      const int size = static_cast<uint8_t>(c) == 253 ? 2 : 1;
      if (stored + size > 255) {
        parts.emplace_back();
        stored = 0;
      }
      parts.back() += c;
      stored += size;
    }
    if (std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return Reframed(p); })) {
      ++plan.counts.reframed_lists;
    }
    for (std::string& part : parts) Bytes(track, time, seq, std::move(part), channel);
  }

  void Tempo(const SmfEvent& e, int64_t time, uint32_t seq) {
    bool exact = true;
    const int tempo = ScoreTempo(e.value, timing, &exact);
    if (!exact && timing.num == timing.den) ++plan.counts.inexact_tempos;
    // Only the last tempo of a tick counts, and one that changes nothing
    // is not written.
    auto& list = plan.tracks[0].commands;
    if (!list.empty() && list.back().kind == CommandKind::kAttribute &&
        list.back().number == kTempoAttribute && list.back().time == time) {
      list.pop_back();
      last_tempo = -1;
      for (size_t i = list.size(); i-- > 0;) {
        if (list[i].kind == CommandKind::kAttribute && list[i].number == kTempoAttribute) {
          last_tempo = list[i].value;
          break;
        }
      }
    }
    if (tempo == last_tempo || (last_tempo < 0 && time > 0 && tempo == 120)) return;
    last_tempo = tempo;
    Attribute(0, time, seq, kTempoAttribute, tempo);
  }

  void Other(const SmfEvent& e, int64_t time, uint32_t seq) {
    switch (e.kind) {
      case SmfKind::kSysEx:
      case SmfKind::kEscape:
        SysEx(e, time, seq);
        return;
      case SmfKind::kTempo:
        Tempo(e, time, seq);
        return;
      case SmfKind::kTimeSignature: {
        if ((e.value >> 8) == 0) {  // a bar of no beats says nothing
          ++plan.counts.empty_signatures;
          return;
        }
        const int power = std::min<int>(static_cast<int>(e.value & 255), 16);
        const int64_t length =
            std::max<int64_t>(1, (static_cast<int64_t>(e.value >> 8) * plan.resolution) >> power);
        if (!plan.bars.empty() && plan.bars.back().time == time) plan.bars.pop_back();
        plan.bars.push_back({time, length});
        return;
      }
      case SmfKind::kKeySignature:
        plan.key_signatures.push_back({time, static_cast<int8_t>(e.value >> 8)});
        return;
      case SmfKind::kTrackName: {
        const std::string name = TextLine(song.Bytes(e));
        if (e.track == 0 && plan.first_track_name.empty()) plan.first_track_name = name;
        for (ImportTrack& t : plan.tracks) {
          if (t.midi_track == e.track && t.midi_name.empty()) t.midi_name = name;
        }
        return;
      }
      default: {
        const std::string text = TextLine(song.Bytes(e));
        if (!text.empty()) {
          plan.comments.push_back({time, (e.kind == SmfKind::kMarker ? "marker: " : "") + text});
        }
        return;
      }
    }
  }

  // One score track per MIDI track and channel; more than a score holds
  // (with room left for cutting long ones) are joined by channel.
  void MakeTracks() {
    index_of.assign(static_cast<size_t>(std::max(song.tracks, 1)) * 16, -1);
    for (const SmfEvent& e : song.events) {
      if (e.kind == SmfKind::kChannel)
        index_of[static_cast<size_t>(e.track) * 16 + (e.status & 15)] = 0;
    }
    for (size_t i = 0; i < index_of.size(); ++i) {
      if (index_of[i] == 0)
        track_of.emplace(std::make_pair(static_cast<int>(i / 16), static_cast<int>(i % 16)), 0);
    }
    if (track_of.empty()) track_of.emplace(std::make_pair(0, 0), 0);
    const bool join = track_of.size() > static_cast<size_t>(kMostTracks / 2);
    std::map<int, int> by_channel;
    for (auto& [key, index] : track_of) {
      if (join && by_channel.count(key.second)) {
        index = by_channel[key.second];
        continue;
      }
      index = static_cast<int>(plan.tracks.size());
      by_channel[key.second] = index;
      ImportTrack t;
      t.origin = index;
      t.midi_track = join ? -1 : key.first;
      t.channel = key.second;
      plan.tracks.push_back(t);
    }
    for (const auto& [key, index] : track_of) {
      index_of[static_cast<size_t>(key.first) * 16 + static_cast<size_t>(key.second)] = index;
    }
  }

  // Room for the note events of each key, counted first: the lists then
  // never move as they grow.
  void ReserveKeys() {
    std::vector<uint32_t> count(keys.size(), 0);
    for (const SmfEvent& e : song.events) {
      if (e.kind == SmfKind::kChannel && (e.status & 0xe0) == 0x80) {
        ++count[static_cast<size_t>((e.status & 15) * 128 + e.data1)];
      }
    }
    for (size_t k = 0; k < keys.size(); ++k) keys[k].reserve(count[k]);
  }

  // Every event of the song into the tracks' commands and the keys' lists.
  void Read() {
    MakeTracks();
    plan.bars.push_back({0, plan.resolution});
    if (song.smpte) {
      Attribute(0, 0, 0, kTempoAttribute, song.smpte_tempo);
      last_tempo = song.smpte_tempo;
    }
    ReserveKeys();
    for (size_t i = 0; i < song.events.size(); ++i) {
      const SmfEvent& e = song.events[i];
      const int64_t time = timing.Score(e.tick, &plan.counts.rounded_ticks);
      const auto seq = static_cast<uint32_t>(i + 1);
      if (time > kLatestTime) {
        ++plan.counts.late_events;
        continue;
      }
      if (e.kind == SmfKind::kChannel) {
        Channel(e, time, seq);
      } else {
        Other(e, time, seq);
      }
    }
  }

  // The notes of every key planned (after the events are read), and the
  // commands of every track in time order.
  void Plan() {
    if (grid > 0) SnapNotes();
    PlanNotes(keys, plan);
    std::vector<std::vector<KeyEvent>>().swap(keys);
    auto by_time = [](const ImportCommand& a, const ImportCommand& b) {
      return a.time != b.time ? a.time < b.time : a.seq < b.seq;
    };
    for (ImportTrack& t : plan.tracks) {
      if (!std::is_sorted(t.commands.begin(), t.commands.end(), by_time)) {
        std::stable_sort(t.commands.begin(), t.commands.end(), by_time);
      }
    }
  }

  // --grid: the notes, paired first in, first out, move their starts and
  // ends to the nearest step; a note shorter than half a step keeps one step.
  void SnapNotes() {
    const int64_t step = std::max<int64_t>(1, plan.resolution / grid);
    auto snap = [step](int64_t t) { return (t + step / 2) / step * step; };
    auto moved = [&](int64_t from, int64_t to) {
      if (from == to) return;
      ++plan.counts.moved;
      plan.counts.largest_move = std::max(plan.counts.largest_move, std::abs(to - from));
    };
    for (std::vector<KeyEvent>& l : keys) {
      std::deque<size_t> open;
      std::vector<KeyEvent> out = l;
      for (size_t j = 0; j < l.size(); ++j) {
        if (l[j].on) {
          open.push_back(j);
        } else if (!open.empty()) {
          const size_t on = open.front();
          open.pop_front();
          out[on].tick = snap(l[on].tick);
          out[j].tick = snap(l[j].tick);
          moved(l[on].tick, out[on].tick);
          if (out[j].tick <= out[on].tick) {
            out[j].tick = out[on].tick + step;
            ++plan.counts.lengthened;
          } else {
            moved(l[j].tick, out[j].tick);
          }
        }
      }
      for (size_t on : open) {
        out[on].tick = snap(l[on].tick);
        moved(l[on].tick, out[on].tick);
      }
      std::stable_sort(out.begin(), out.end(), [](const KeyEvent& a, const KeyEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.seq < b.seq;
      });
      l = std::move(out);
    }
  }
};

}  // namespace

void NameAttributes(ImportPlan& plan) {
  std::map<int, int> uses;  // controller -> uses
  for (const ImportTrack& t : plan.tracks) {
    for (const ImportCommand& c : t.commands) {
      if (c.kind == CommandKind::kAttribute && c.number < 128) ++uses[c.number];
    }
  }
  plan.controller_names[1] = "M";
  plan.controller_names[7] = "V";
  plan.controller_names[10] = "P";
  // Six names are the language's own; Off takes one.
  const int room = 128 - 6 - (plan.uses_off ? 1 : 0);
  std::vector<std::pair<int, int>> by_use;
  for (const auto& [number, n] : uses) {
    if (plan.controller_names[number].empty()) by_use.emplace_back(-n, number);
  }
  std::sort(by_use.begin(), by_use.end());
  for (size_t i = 0; i < by_use.size() && static_cast<int>(i) < room; ++i) {
    plan.controller_names[by_use[i].second] = ControllerName(by_use[i].second);
  }
  for (ImportTrack& t : plan.tracks) {
    for (ImportCommand& c : t.commands) {
      if (c.kind != CommandKind::kAttribute || c.number >= 128 ||
          !plan.controller_names[c.number].empty()) {
        continue;
      }
      ++plan.counts.controllers_as_bytes;
      c.kind = CommandKind::kBytes;
      c.text = std::string{'\xb0', static_cast<char>(c.number), static_cast<char>(c.value)};
      c.channel = t.channel;
    }
  }
}

ImportPlan PlanTracks(SmfSong& song, int grid) {
  ImportPlan plan;
  const Timing timing = ChooseTiming(song);
  plan.resolution = static_cast<int>(timing.resolution);
  plan.scaled = timing.num != timing.den;
  Builder builder(song, plan, timing, grid);
  builder.Read();
  // What follows needs none of the events: their memory serves the plan.
  std::vector<SmfEvent>().swap(song.events);
  std::string().swap(song.payload);
  builder.Plan();
  NameAttributes(plan);
  FitByteLists(plan);
  return plan;
}
