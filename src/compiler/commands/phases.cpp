// Phases: quoted names that several tracks share, aligned across tracks.
//
// While a track is parsed every quoted name leaves a mark (name index, time)
// in the mark list; a track's marks end with -1 and the list with -2. After
// the last track OrderPhases puts the names that occur in two or more tracks
// (the phases) into one order and gives each the latest time at which a track
// reaches it, counting the delays that earlier phases caused. In the second
// pass AlignTrackPhases shifts each track's records to those times.
//
// The mark list holds 128 entries, marks and ends together; the first entry
// beyond reports once and every later one is dropped. A song whose list
// overflowed, or whose tracks disagree on the order, keeps its times: its
// marks turn void and nothing moves.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

constexpr int kMarkLimit = 128;
constexpr int kTrackEnd = -1;
constexpr int kSongEnd = -2;

static_assert(kMarkLimit == PhaseTable::kMarkLimit);
using Mark = PhaseTable::Mark;  // name: a name index, kTrackEnd or kSongEnd
using Phase = PhaseTable::Phase;

PhaseTable& Table(CompileContext& cc) {
  return cc.commands.phases;
}

// Entries actually stored: walks stop here even after an overflow.
int StoredMarks(CompileContext& cc) {
  return std::min(Table(cc).mark_count, kMarkLimit);
}

void AppendMark(CompileContext& cc, int name, int time) {
  PhaseTable& t = Table(cc);
  if (t.mark_count < kMarkLimit) {
    t.marks[t.mark_count++] = Mark{name, time};
  } else if (t.mark_count == kMarkLimit) {
    ReportMessage(cc, kTooManyMarks);
    t.mark_count = kMarkLimit + 1;
  }
}

// The end of the track whose marks start at entry begin.
int TrackEndOf(CompileContext& cc, int begin) {
  int end = begin;
  while (end < StoredMarks(cc) && Table(cc).marks[end].name >= 0) ++end;
  return end;
}

// +1 when phase a comes before b, -1 when b comes first, 0 when no track
// holds both. Every track that holds both must agree, else *agree is cleared.
int ComparePhases(CompileContext& cc, int a, int b, bool* agree) {
  const Mark* marks = Table(cc).marks;
  int result = 0;
  for (int begin = 0; begin < StoredMarks(cc); begin = TrackEndOf(cc, begin) + 1) {
    if (marks[begin].name == kSongEnd) break;
    int end = TrackEndOf(cc, begin);
    int first = begin;
    while (first < end && marks[first].name != a && marks[first].name != b) ++first;
    if (first == end) continue;
    int other = marks[first].name == a ? b : a;
    int answer = 0;
    for (int i = first + 1; i < end; ++i) {
      if (marks[i].name == other) answer = other == b ? 1 : -1;
    }
    if (answer == 0) continue;
    if (result == 0) {
      result = answer;
    } else if (answer != result) {
      *agree = false;
    }
  }
  if (result == 0) *agree = false;
  return result;
}

// One insertion pass: each phase i+1 that comes before phase i moves down
// behind the nearest phase that comes before it.
void SortPhases(CompileContext& cc, bool* agree) {
  PhaseTable& t = Table(cc);
  for (int i = 0; i < t.phase_count - 1; ++i) {
    Phase next = t.phases[i + 1];
    if (ComparePhases(cc, t.phases[i].name, next.name, agree) >= 0) continue;
    int j = i - 1;
    while (j >= 0 && ComparePhases(cc, t.phases[j].name, next.name, agree) <= 0) --j;
    for (int k = i; k >= j + 1; --k) t.phases[k + 1] = t.phases[k];
    t.phases[j + 1] = next;
  }
}

// The latest arrival at phase p; then every track that reaches p earlier is
// delayed from its mark on.
void AlignPhase(CompileContext& cc, Phase* p) {
  Mark* marks = Table(cc).marks;
  int latest = INT32_MIN;
  for (int i = 0; i < StoredMarks(cc); ++i) {
    if (marks[i].name == p->name) latest = std::max(latest, marks[i].time);
  }
  p->time = latest;
  for (int begin = 0; begin < StoredMarks(cc); begin = TrackEndOf(cc, begin) + 1) {
    int end = TrackEndOf(cc, begin);
    int at = begin;
    while (at < end && marks[at].name != p->name) ++at;
    if (at == end) continue;
    int delay = latest - marks[at].time;
    for (int i = at; i < end; ++i) marks[i].time += delay;
  }
}

// Whether every track meets its phases in the order found. Pairs that the
// insertion pass never compares can still form a circle (x before y in one
// track, y before z in another, z before x in a third); aligning such a song
// would move later records before earlier ones.
bool TracksFollowOrder(CompileContext& cc) {
  const PhaseTable& t = Table(cc);
  int rank[kMarkLimit];
  std::fill(rank, rank + kMarkLimit, -1);
  for (int i = 0; i < t.phase_count; ++i) rank[t.phases[i].name] = i;
  int last = -1;
  for (int i = 0; i < StoredMarks(cc); ++i) {
    int name = t.marks[i].name;
    if (name < 0) {
      last = -1;
    } else if (name < kMarkLimit && rank[name] >= 0) {
      if (rank[name] <= last) return false;
      last = rank[name];
    }
  }
  return true;
}

}  // namespace

// phase mark: '"' name '"'
void PhaseMarkCommand(CompileContext& cc) {
  int index = AddPhaseMark(cc, TokenText(cc), Track(cc).position);
  if (index >= 0) AppendEvent(cc, kEventPhaseMark, 0, index);
}

int AddPhaseMark(CompileContext& cc, const char* name, int time) {
  PhaseTable& t = Table(cc);
  auto it = t.names.try_emplace(name, static_cast<int>(t.names.size())).first;
  int index = it->second;
  if (!t.track_names.insert(index).second) {
    ReportMessage(cc, kNameUsed);
    return -1;
  }
  AppendMark(cc, index, time);
  return index;
}

void EndTrackPhases(CompileContext& cc) {
  Table(cc).track_names.clear();
  AppendMark(cc, kTrackEnd, 0);
}

void EndSongPhases(CompileContext& cc) {
  AppendMark(cc, kSongEnd, 0);
}

bool OrderPhases(CompileContext& cc) {
  PhaseTable& t = Table(cc);
  bool agree = true;
  int counts[kMarkLimit] = {};
  for (int i = 0; i < StoredMarks(cc); ++i) {
    int name = t.marks[i].name;
    if (name >= 0 && name < kMarkLimit) ++counts[name];
  }
  t.phase_count = 0;
  for (int name = 0; name < kMarkLimit; ++name) {
    if (counts[name] >= 2) t.phases[t.phase_count++] = Phase{name, 0};
  }
  SortPhases(cc, &agree);
  if (agree) agree = TracksFollowOrder(cc);
  if (agree) {
    for (int i = 0; i < t.phase_count; ++i) AlignPhase(cc, &t.phases[i]);
  } else {
    ReportMessageAt(cc, -1, -1, kOrderMismatch);
  }
  t.aligned = agree && t.mark_count <= kMarkLimit;
  return agree;
}

int PhaseTime(const CompileContext& cc, int name_index) {
  const PhaseTable& t = cc.commands.phases;
  for (int i = 0; i < t.phase_count; ++i) {
    if (t.phases[i].name == name_index) return t.phases[i].time;
  }
  return -1;
}

void AlignTrackPhases(CompileContext& cc) {
  EventTable& events = cc.events;
  bool aligned = Table(cc).aligned;
  int offset = 0;
  for (int i = 0; i < events.Count(); ++i) {
    EventRecord& record = events.At(i);
    if (record.kind == kEventPhaseMark) {
      int time = aligned ? PhaseTime(cc, record.value) : -1;
      if (time >= 0) offset = time - record.time;
      record.kind = kEventVoid;
    }
    record.time += offset;
    if (record.kind == kEventEndOfTrack) break;
  }
}

void ResetPhaseTable(CompileContext& cc) {
  PhaseTable& t = Table(cc);
  t.mark_count = 0;
  t.phase_count = 0;
  t.names.clear();
  t.track_names.clear();
  t.aligned = false;
}
