// How each note is written so that the player sends the file's note events
// of every channel and key in their order and at their ticks.
//
// The player keeps one note-off entry per scheduled note. A scheduled note
// is released when its gate runs out, before anything else of that tick, or
// at once when a scheduled note of the same channel and key is struck, on
// any track. So a note-on whose next event of its key is a note-off at a
// later tick is a scheduled note of that length; a note-on followed by a
// note-off at its own tick and then by another scheduled note-on of that
// tick is a note the next one cuts ("c&c"). Every other note-on is held
// ("hit": no note-off from the player), and a note-off that no scheduled
// note gives is sent by the Off template at its place. The table of
// note-off entries has room for kNoteOffEntries notes; a note that would
// find it full is held instead.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <queue>

#include "import/import_plan.h"

namespace {

struct PlannedNote {
  ImportNote note;
  int track = 0;
  int striker = -1;  // kCut: the note that cuts it
};

struct PlannedOff {
  int track = 0;
  int key = 0;
  int64_t tick = 0;
  uint32_t seq = 0;
};

// Whether the note-on at j can be scheduled: it ends at the next event,
// a note-off, either by its gate or by the cut of a scheduled note-on that
// follows at the same tick.
std::vector<uint8_t> Schedulable(const std::vector<KeyEvent>& l) {
  std::vector<uint8_t> can(l.size(), 0);
  for (size_t j = l.size(); j-- > 0;) {
    if (!l[j].on || j + 1 >= l.size() || l[j + 1].on) continue;
    const int64_t gap = l[j + 1].tick - l[j].tick;
    if (gap > 0) {
      can[j] = gap <= kLongestLength;
    } else {
      can[j] = j + 2 < l.size() && l[j + 2].on && l[j + 2].tick == l[j].tick && can[j + 2];
    }
  }
  return can;
}

void PlanKey(const std::vector<KeyEvent>& l, int key, std::vector<PlannedNote>& notes,
             std::vector<PlannedOff>& offs, ImportCounts& counts) {
  const std::vector<uint8_t> can = Schedulable(l);
  std::vector<uint8_t> taken(l.size(), 0);
  std::vector<int> note_at(l.size(), -1);
  int ons = 0, offs_seen = 0;
  for (size_t j = 0; j < l.size(); ++j) {
    if (!l[j].on) {
      ++offs_seen;
      if (!taken[j]) offs.push_back({l[j].track, key, l[j].tick, l[j].seq});
      continue;
    }
    ++ons;
    PlannedNote p;
    p.track = l[j].track;
    p.note.start = l[j].tick;
    p.note.seq = l[j].seq;
    p.note.key = static_cast<uint8_t>(key);
    p.note.velocity = l[j].velocity;
    if (j + 1 < l.size() && !l[j + 1].on) {
      p.note.off_seq = l[j + 1].seq;
      p.note.length = l[j + 1].tick - l[j].tick;
    }
    if (can[j]) {
      taken[j + 1] = 1;
      p.note.mode = p.note.length > 0 ? NoteMode::kScheduled : NoteMode::kCut;
    } else {
      p.note.mode = NoteMode::kHeld;
    }
    note_at[j] = static_cast<int>(notes.size());
    notes.push_back(p);
  }
  for (size_t j = 0; j + 2 < l.size(); ++j) {
    if (note_at[j] >= 0 && notes[static_cast<size_t>(note_at[j])].note.mode == NoteMode::kCut) {
      notes[static_cast<size_t>(note_at[j])].striker = note_at[j + 2];
    }
  }
  counts.unended_notes += std::max(0, ons - offs_seen);
}

// A scheduled (or cut) note that becomes held: its note-off, at the end of
// its length, goes out through Off.
void Hold(PlannedNote& p, std::vector<PlannedOff>& offs) {
  p.note.mode = NoteMode::kHeld;
  offs.push_back({p.track, p.note.key, p.note.start + p.note.length, p.note.off_seq});
}

// At most kNoteOffEntries scheduled notes wait for their note-off at once
// (expired ones are freed before a tick's notes are struck); a cut note
// takes an entry for the moment until its striker frees it.
// At least as many notes as wait for their note-off at once at the most
// (a cut note counted for a tick): when that fits, nothing need be held. The
// song's time is cut into as many stretches as there are notes, and a note
// counts in every stretch it touches. (Only a song near the limit goes on to
// the exact count below, which gives the same answer.)
size_t MostWaiting(const std::vector<PlannedNote>& notes) {
  int64_t end = 1;
  for (const PlannedNote& p : notes) end = std::max(end, p.note.start + p.note.length + 2);
  const int64_t stretches = std::min<int64_t>(end, static_cast<int64_t>(notes.size()) + 1);
  const int64_t width = (end + stretches - 1) / stretches;
  std::vector<int> change(static_cast<size_t>(stretches) + 1, 0);
  for (const PlannedNote& p : notes) {
    if (p.note.mode == NoteMode::kHeld) continue;
    ++change[static_cast<size_t>(p.note.start / width)];
    --change[static_cast<size_t>((p.note.start + std::max<int64_t>(p.note.length, 1)) / width) + 1];
  }
  int64_t now = 0, most = 0;
  for (int c : change) most = std::max(most, now += c);
  return static_cast<size_t>(most);
}

void KeepWithinNoteOffTable(std::vector<PlannedNote>& notes, std::vector<PlannedOff>& offs) {
  if (MostWaiting(notes) <= static_cast<size_t>(kNoteOffEntries)) return;
  std::vector<size_t> order;
  for (size_t i = 0; i < notes.size(); ++i) {
    if (!notes[i].note.free() || notes[i].note.mode == NoteMode::kCut) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return notes[a].note.start != notes[b].note.start ? notes[a].note.start < notes[b].note.start
                                                      : notes[a].note.seq < notes[b].note.seq;
  });
  std::priority_queue<int64_t, std::vector<int64_t>, std::greater<int64_t>> ends;
  for (size_t i : order) {
    PlannedNote& p = notes[i];
    while (!ends.empty() && ends.top() <= p.note.start) ends.pop();
    if (ends.size() >= static_cast<size_t>(kNoteOffEntries)) {
      Hold(p, offs);
    } else if (p.note.mode == NoteMode::kScheduled) {
      ends.push(p.note.start + p.note.length);
    }
  }
  // A cut note whose striker is held now is released by nobody: it is held
  // too. Strikers come later in the file, so the latest are settled first.
  std::vector<size_t> cut;
  for (size_t i = 0; i < notes.size(); ++i) {
    if (notes[i].note.mode == NoteMode::kCut) cut.push_back(i);
  }
  std::sort(cut.begin(), cut.end(),
            [&](size_t a, size_t b) { return notes[a].note.seq > notes[b].note.seq; });
  for (size_t i : cut) {
    const int s = notes[i].striker;
    if (s < 0 || notes[static_cast<size_t>(s)].note.mode == NoteMode::kHeld) Hold(notes[i], offs);
  }
}

}  // namespace

void PlanNotes(const std::vector<std::vector<KeyEvent>>& keys, ImportPlan& plan) {
  std::vector<PlannedNote> notes;
  std::vector<PlannedOff> offs;
  size_t events = 0;
  for (const std::vector<KeyEvent>& l : keys) events += l.size();
  notes.reserve(events / 2 + 1);
  for (size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k].empty()) PlanKey(keys[k], static_cast<int>(k % 128), notes, offs, plan.counts);
  }
  KeepWithinNoteOffTable(notes, offs);
  // In file order (each note-on has a place of its own), which is time order
  // unless a grid moved them.
  uint32_t last = 0;
  for (const PlannedNote& p : notes) last = std::max(last, p.note.seq);
  std::vector<uint32_t> at(notes.empty() ? 0 : static_cast<size_t>(last) + 1, UINT32_MAX);
  for (uint32_t i = 0; i < notes.size(); ++i) at[notes[i].note.seq] = i;
  std::vector<size_t> per_track(plan.tracks.size(), 0);
  for (const PlannedNote& p : notes) ++per_track[static_cast<size_t>(p.track)];
  for (size_t t = 0; t < plan.tracks.size(); ++t) plan.tracks[t].notes.reserve(per_track[t]);
  for (uint32_t i : at) {
    if (i != UINT32_MAX)
      plan.tracks[static_cast<size_t>(notes[i].track)].notes.push_back(notes[i].note);
  }
  for (const PlannedOff& o : offs) {
    ImportCommand c;
    c.time = o.tick;
    c.seq = o.seq;
    c.kind = CommandKind::kOff;
    c.number = o.key;
    plan.tracks[static_cast<size_t>(o.track)].commands.push_back(c);
  }
  plan.counts.held_offs += static_cast<int>(offs.size());
  plan.uses_off = plan.uses_off || !offs.empty();
  auto by_time = [](const ImportNote& a, const ImportNote& b) {
    return a.start != b.start ? a.start < b.start : a.seq < b.seq;
  };
  for (ImportTrack& t : plan.tracks) {
    if (!std::is_sorted(t.notes.begin(), t.notes.end(), by_time)) {
      std::sort(t.notes.begin(), t.notes.end(), by_time);
    }
  }
}
