#include "compiler/song/source_map.h"

#include <algorithm>

#include "compiler/driver/compilation.h"
#include "compiler/driver/source_lines.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

constexpr int kMaxCallSites = 16;

}  // namespace

void SourceMap::Clear() {
  notes_.clear();
  tracks_.clear();
  lines_.clear();
  bar_lengths_.clear();
  resolution_ = 192;
}

void SourceMap::SetBarLength(int track, int ticks) {
  if (track < 0) return;
  if (track >= static_cast<int>(bar_lengths_.size())) bar_lengths_.resize(track + 1, 0);
  bar_lengths_[track] = ticks;
}

int SourceMap::BarLength(int track) const {
  if (track >= 0 && track < static_cast<int>(bar_lengths_.size()) && bar_lengths_[track] > 0) {
    return bar_lengths_[track];
  }
  return DefaultBarTicks(resolution_);
}

int DefaultBarTicks(int resolution) {
  return std::max(resolution, 1);
}

BarPosition BarBeatAt(int64_t tick, int bar_ticks, int resolution) {
  tick = std::max<int64_t>(tick, 0);
  const int64_t bar = std::max(bar_ticks, 1);
  const int64_t beat = std::max(resolution / 4, 1);
  const int64_t in_bar = tick % bar;
  return BarPosition{tick / bar + 1, in_bar / beat + 1, in_bar % beat};
}

int SourceMap::AddNote(const NoteSource& note) {
  notes_.push_back(note);
  return static_cast<int>(notes_.size()) - 1;
}

void SourceMap::AddStreamNote(int track, int offset, int note) {
  if (track < 0 || note < 0 || note >= static_cast<int>(notes_.size())) return;
  if (track >= static_cast<int>(tracks_.size())) tracks_.resize(track + 1);
  tracks_[track].emplace_back(offset, note);
}

const NoteSource* SourceMap::Find(int track, int offset) const {
  if (track < 0 || track >= static_cast<int>(tracks_.size())) return nullptr;
  const auto& entries = tracks_[track];
  auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(offset, -1));
  if (it == entries.end() || it->first != offset) return nullptr;
  return &notes_[it->second];
}

const LineContext* SourceMap::Line(int line) const {
  const LineContext* found = LineFrom(line);
  return found && found->line == line ? found : nullptr;
}

const LineContext* SourceMap::LineFrom(int line) const {
  auto it = std::lower_bound(lines_.begin(), lines_.end(), line,
                             [](const LineContext& c, int l) { return c.line < l; });
  return it == lines_.end() ? nullptr : &*it;
}

void SetSourceMapRecorder(CompileContext& cc, SourceMap* map) {
  cc.map.map = map;
  cc.map.track = 0;
}

bool RecordingSourceMap(const CompileContext& cc) {
  return cc.map.map != nullptr;
}

int RecordNotePlace(CompileContext& cc) {
  SourceMap* map = cc.map.map;
  if (!map) return -1;
  NoteSource note;
  note.place = SourcePlace{TokenLine(cc), TokenColumn(cc)};
  int lines[kMaxCallSites], columns[kMaxCallSites];
  const int count = MacroCallPlaces(cc, lines, columns, kMaxCallSites);
  for (int i = 0; i < count; ++i) note.calls.push_back(SourcePlace{lines[i], columns[i]});
  return map->AddNote(note);
}

// The record's two spare link words carry the note's index in the map.
void TagNoteRecord(EventRecord& record, int note) {
  if (note < 0) return;
  record.link1 = static_cast<int16_t>(note & 0x7fff);
  record.link2 = static_cast<int16_t>(note >> 15);
}

void MapBarLength(CompileContext& cc, int ticks) {
  if (cc.map.map) cc.map.map->SetBarLength(cc.map.track, ticks);
}

void SetSourceMapTrack(CompileContext& cc, int track) {
  cc.map.track = track;
}

void MapStreamNote(CompileContext& cc, const EventRecord& record, int offset) {
  if (!cc.map.map || record.link1 < 0 || record.link2 < 0) return;
  cc.map.map->AddStreamNote(cc.map.track, offset, record.link1 | (record.link2 << 15));
}

// A continuation line continues the nearest line above it that is not a
// common line; chains of continuations lead back to that head.
void MapSourceLines(CompileContext& cc, const SourceTable& table) {
  SourceMap* map = cc.map.map;
  if (!map) return;
  std::vector<LineContext> lines;
  int head = -1;  // table index of the current head line
  for (int i = 0; i < table.LineCount(); ++i) {
    const SourceLine& line = table.lines[i];
    LineContext context;
    context.line = line.line_number;
    int from = i;
    if (line.kind == kLineContinuation) {
      from = head;
    } else if (line.kind == kLineTrack || line.kind == kLineMacro) {
      head = i;
    }
    if (from >= 0) {
      const SourceLine& source = table.lines[from];
      context.kind = source.kind;
      context.head_line = source.line_number;
      if (source.kind != kLineCommon) context.name = table.Name(from);
    }
    lines.push_back(std::move(context));
  }
  map->SetLines(std::move(lines));
  map->SetResolution(table.resolution);
}
