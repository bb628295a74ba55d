#include "import/smf_compare.h"

#include <map>
#include <utility>
#include <vector>

namespace {

// (tick, what): one message as it acts.
using Sent = std::pair<uint64_t, std::string>;

struct Sends {
  std::map<std::string, std::vector<Sent>> lists;  // by what the messages set
  std::vector<std::pair<uint64_t, uint32_t>> tempos;
};

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out += (out.empty() ? "" : " ");
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void AddChannel(const SmfEvent& e, Sends& s) {
  const int kind = e.status & 0xf0;
  const std::string channel = "channel " + std::to_string((e.status & 15) + 1);
  switch (kind) {
    case 0x80:
    case 0x90: {
      const bool on = kind == 0x90 && e.data2 > 0;
      s.lists[channel + " key " + std::to_string(e.data1)].push_back(
          {e.tick, on ? "note-on " + std::to_string(e.data2) : "note-off"});
      return;
    }
    case 0xa0:
      s.lists[channel + " key pressure " + std::to_string(e.data1)].push_back(
          {e.tick, std::to_string(e.data2)});
      return;
    case 0xb0:
      s.lists[channel + " controller " + std::to_string(e.data1)].push_back(
          {e.tick, std::to_string(e.data2)});
      return;
    case 0xc0:
      s.lists[channel + " program"].push_back({e.tick, std::to_string(e.data1)});
      return;
    case 0xd0:
      s.lists[channel + " pressure"].push_back({e.tick, std::to_string(e.data1)});
      return;
    default:
      s.lists[channel + " pitch bend"].push_back({e.tick, std::to_string(e.data2 * 128 + e.data1)});
  }
}

Sends SendsOf(const SmfSong& song) {
  Sends s;
  uint32_t tempo = 500000;
  std::map<uint64_t, uint32_t> by_tick;
  for (const SmfEvent& e : song.events) {
    switch (e.kind) {
      case SmfKind::kChannel:
        AddChannel(e, s);
        break;
      case SmfKind::kSysEx:
      case SmfKind::kEscape: {
        if (e.length == 0) break;  // an escape of no bytes sends nothing
        // The bytes of one tick joined: a message sent in parts is the same.
        std::vector<Sent>& sent = s.lists["system exclusive"];
        if (!sent.empty() && sent.back().first == e.tick) {
          sent.back().second += " " + Hex(song.Bytes(e));
        } else {
          sent.push_back({e.tick, Hex(song.Bytes(e))});
        }
        break;
      }
      case SmfKind::kTempo:
        by_tick[e.tick] = e.value;
        break;
      default:
        break;
    }
  }
  for (const auto& [tick, value] : by_tick) {
    if (value != tempo) s.tempos.push_back({tick, value});
    tempo = value;
  }
  return s;
}

std::string SentText(const std::vector<Sent>& list, size_t i) {
  if (i >= list.size()) return "nothing";
  return list[i].second + " at tick " + std::to_string(list[i].first);
}

}  // namespace

std::string FirstDifference(const SmfSong& a, const SmfSong& b) {
  if (a.division != b.division) {
    return "division " + std::to_string(a.division) + " against " + std::to_string(b.division);
  }
  const Sends x = SendsOf(a), y = SendsOf(b);
  std::map<std::string, int> names;
  for (const auto& [what, list] : x.lists) names[what] = 0;
  for (const auto& [what, list] : y.lists) names[what] = 0;
  static const std::vector<Sent> kNone;
  for (const auto& [what, unused] : names) {
    const auto ix = x.lists.find(what), iy = y.lists.find(what);
    const std::vector<Sent>& p = ix == x.lists.end() ? kNone : ix->second;
    const std::vector<Sent>& q = iy == y.lists.end() ? kNone : iy->second;
    for (size_t i = 0; i < std::max(p.size(), q.size()); ++i) {
      if (i < p.size() && i < q.size() && p[i] == q[i]) continue;
      return what + ": " + SentText(p, i) + " against " + SentText(q, i);
    }
  }
  for (size_t i = 0; i < std::max(x.tempos.size(), y.tempos.size()); ++i) {
    if (i < x.tempos.size() && i < y.tempos.size() && x.tempos[i] == y.tempos[i]) continue;
    auto text = [](const std::vector<std::pair<uint64_t, uint32_t>>& t, size_t k) {
      return k < t.size()
                 ? std::to_string(t[k].second) + " us at tick " + std::to_string(t[k].first)
                 : std::string("nothing");
    };
    return "tempo: " + text(x.tempos, i) + " against " + text(y.tempos, i);
  }
  return {};
}
