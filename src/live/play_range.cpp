#include "live/play_range.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "compiler/driver/source_lines.h"
#include "player/chase.h"
#include "player/messages.h"

namespace {

class CallbackSink : public NoteSink {
 public:
  explicit CallbackSink(const std::function<bool(const StruckNote&)>& on_note)
      : on_note_(on_note) {}
  void NoteStruck(const StruckNote& note) override {
    if (!stopped_) stopped_ = !on_note_(note);
  }
  bool Stopped() const { return stopped_; }

 private:
  const std::function<bool(const StruckNote&)>& on_note_;
  bool stopped_ = false;
};

// The context of a caret: the line context it belongs to, and the caret
// itself moved to the next line with a context when its own has none.
const LineContext* CaretContext(const SourceMap& map, SourcePlace* caret) {
  if (const LineContext* own = map.Line(caret->line)) return own;
  const LineContext* next = map.LineFrom(caret->line + 1);
  if (next) *caret = SourcePlace{next->line, 0};
  return next;
}

bool SameContext(const LineContext& caret, const LineContext& place) {
  if (caret.kind == kLineTrack) return place.kind == kLineTrack && place.name == caret.name;
  return place.head_line == caret.head_line;
}

bool PlaceCounts(const SourceMap& map, const LineContext& context, SourcePlace place,
                 SourcePlace caret, SourcePlace end) {
  if (place < caret) return false;
  if (end.line >= 0 && !(place < end)) return false;
  const LineContext* own = map.Line(place.line);
  return own && SameContext(context, *own);
}

}  // namespace

bool ScanStruckNotes(const uint8_t* image, size_t size, int64_t max_ticks,
                     const std::function<bool(const StruckNote&)>& on_note, bool* at_bound) {
  if (at_bound) *at_bound = false;
  // A sequencer of its own: scanning never touches the one that plays.
  auto sequencer = std::make_unique<Sequencer>();
  if (!sequencer->Load(image, size)) return false;
  ChaseState silence;
  CallbackSink sink(on_note);
  sequencer->SetMessageCapture(&silence);
  sequencer->SetNoteSink(&sink);
  while (sequencer->TickCount() < max_ticks && !sequencer->Finished() && !sink.Stopped()) {
    // Ticks that the sequencer promises quiet strike nothing: jump over them
    // (a silent run does), so that the scan costs what the song does, not
    // the ticks it spans.
    const int64_t quiet =
        std::min(sequencer->TicksToNextWork(), max_ticks - sequencer->TickCount());
    if (quiet > 1) {
      sequencer->RunSilently(sequencer->TickCount() + quiet);
      sequencer->SetMessageCapture(&silence);  // the silent run takes its capture away
    } else {
      sequencer->Tick();
    }
  }
  if (at_bound) *at_bound = !sink.Stopped() && !sequencer->Finished();
  return true;
}

bool NoteFromCaret(const SourceMap& map, const NoteSource& note, SourcePlace caret,
                   SourcePlace end) {
  const LineContext* context = CaretContext(map, &caret);
  if (!context) return false;
  if (PlaceCounts(map, *context, note.place, caret, end)) return true;
  return std::any_of(note.calls.begin(), note.calls.end(), [&](const SourcePlace& call) {
    return PlaceCounts(map, *context, call, caret, end);
  });
}

int64_t TickFromCaret(const uint8_t* image, size_t size, const SourceMap& map, SourcePlace caret,
                      int64_t max_ticks, bool* at_bound) {
  int64_t found = -1;
  if (at_bound) *at_bound = false;
  // A caret of no context has no note after it: nothing to run.
  if (!CaretContext(map, &caret)) return found;
  ScanStruckNotes(
      image, size, max_ticks,
      [&](const StruckNote& struck) {
        const NoteSource* note = map.Find(struck.track, struck.offset);
        if (note && NoteFromCaret(map, *note, caret)) found = struck.tick;
        return found < 0;
      },
      at_bound);
  return found;
}

TickRange SelectionTicks(const uint8_t* image, size_t size, const SourceMap& map, SourcePlace from,
                         SourcePlace to, int64_t max_ticks) {
  TickRange range;
  std::set<std::pair<int, int>> seen;  // (track, offset): first passes only
  ScanStruckNotes(image, size, max_ticks, [&](const StruckNote& struck) {
    if (!seen.insert({struck.track, struck.offset}).second) return true;
    const NoteSource* note = map.Find(struck.track, struck.offset);
    if (!note || !NoteFromCaret(map, *note, from, to)) return true;
    if (range.start < 0) range.start = struck.tick;
    range.stop = std::max(range.stop, struck.tick + std::max(struck.gate, 1));
    return true;
  });
  return range;
}
