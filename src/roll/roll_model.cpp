#include "roll/roll_model.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "player/chase.h"
#include "player/messages.h"
#include "player/sequencer.h"

namespace {

// Collects what one tick sends: note-on velocities and tempo changes.
class RecordingSink : public MessageSink, public NoteSink {
 public:
  void SendShort(const uint8_t* bytes, int length) override {
    if (length == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) {
      velocities_[(bytes[0] & 0x0F) * 128 + bytes[1]] = bytes[2];
    }
  }
  bool SendLong(const uint8_t*, int) override { return true; }
  void SetTempo(int quarters_per_minute) override {
    if (!tempos_) return;
    if (tempos_->empty() || tempos_->back().quarters_per_minute != quarters_per_minute) {
      tempos_->push_back({sequencer_->TickCount(), quarters_per_minute});
    }
  }
  void NoteStruck(const StruckNote& note) override { struck_.push_back(note); }

  std::vector<StruckNote>& Struck() { return struck_; }
  int Velocity(int channel, int key) const {
    return velocities_[((channel & 0x0F) * 128 + (key & 0x7F))];
  }
  void RecordTempos(const Sequencer* sequencer, std::vector<TempoChange>* tempos) {
    sequencer_ = sequencer;
    tempos_ = tempos;
  }

 private:
  std::vector<StruckNote> struck_;
  int velocities_[16 * 128] = {};
  const Sequencer* sequencer_ = nullptr;
  std::vector<TempoChange>* tempos_ = nullptr;
};

// One index per written note, shared by all its passes.
int SourceIndex(const SourceMap& map, const StruckNote& struck, RollModel* model,
                std::map<const NoteSource*, int>* seen) {
  const NoteSource* source = map.Find(struck.track, struck.offset);
  if (!source) return -1;
  auto [it, added] = seen->emplace(source, static_cast<int>(model->sources.size()));
  if (added) model->sources.push_back(*source);
  return it->second;
}

void TakeTick(const SourceMap& map, RecordingSink& sink, RollModel* model,
              std::map<const NoteSource*, int>* seen) {
  for (const StruckNote& struck : sink.Struck()) {
    RollNote note;
    note.tick = struck.tick;
    note.gate = struck.gate;
    note.key = struck.note;
    note.velocity = sink.Velocity(struck.channel, struck.note);
    note.channel = struck.channel;
    note.track = struck.track;
    note.offset = struck.offset;
    note.source = SourceIndex(map, struck, model, seen);
    model->lowest_key = std::min(model->lowest_key, note.key);
    model->highest_key = std::max(model->highest_key, note.key);
    model->end_tick = std::max(model->end_tick, note.tick + std::max(note.gate, 1));
    model->notes.push_back(note);
  }
  sink.Struck().clear();
}

bool PlaceMatches(const NoteSource& source, SourcePlace place) {
  return source.place == place ||
         std::find(source.calls.begin(), source.calls.end(), place) != source.calls.end();
}

bool PlaceInRange(const NoteSource& source, SourcePlace from, SourcePlace to) {
  auto in = [&](SourcePlace p) { return !(p < from) && p < to; };
  return in(source.place) || std::any_of(source.calls.begin(), source.calls.end(), in);
}

// The place the caret stands on: the last note place or call site on the
// caret's line at or before it.
SourcePlace PlaceAtCaret(const RollModel& model, SourcePlace caret) {
  SourcePlace best;
  auto consider = [&](SourcePlace p) {
    if (p.line == caret.line && p.column <= caret.column && best < p) best = p;
  };
  for (const NoteSource& source : model.sources) {
    consider(source.place);
    for (const SourcePlace& call : source.calls) consider(call);
  }
  return best;
}

}  // namespace

int RollModel::RulerBarTicks() const {
  const int track = notes.empty() ? 0 : notes.front().track;
  const int ticks = track < static_cast<int>(bar_ticks.size()) ? bar_ticks[track] : 0;
  return ticks > 0 ? ticks : DefaultBarTicks(resolution);
}

size_t RollModel::FirstNoteFrom(int64_t tick) const {
  auto it = std::lower_bound(notes.begin(), notes.end(), tick,
                             [](const RollNote& n, int64_t t) { return n.tick < t; });
  return static_cast<size_t>(it - notes.begin());
}

bool BuildRollModel(const uint8_t* image, size_t size, const SourceMap& map, RollModel* model,
                    int64_t max_ticks) {
  *model = RollModel{};
  RecordingSink sink;
  auto sequencer = std::make_unique<Sequencer>(&sink);
  if (!sequencer->Load(image, size)) return false;
  sequencer->SetNoteSink(&sink);
  sink.RecordTempos(sequencer.get(), &model->tempos);
  model->resolution = sequencer->Messages().Resolution();
  for (int t = 0; t < sequencer->TrackCount(); ++t) model->bar_ticks.push_back(map.BarLength(t));
  std::map<const NoteSource*, int> seen;
  while (!sequencer->Finished()) {
    if (sequencer->TickCount() >= max_ticks) {
      model->bounded = true;
      model->end_tick = std::max(model->end_tick, max_ticks);
      break;
    }
    sequencer->Tick();
    TakeTick(map, sink, model, &seen);
  }
  if (model->notes.empty()) model->lowest_key = model->highest_key = 60;
  return true;
}

std::vector<size_t> NotesAtPlace(const RollModel& model, const SourceMap& map, SourcePlace caret,
                                 SourcePlace end) {
  (void)map;
  std::vector<size_t> found;
  const SourcePlace at = end.line >= 0 ? caret : PlaceAtCaret(model, caret);
  if (at.line < 0) return found;
  for (size_t i = 0; i < model.notes.size(); ++i) {
    const NoteSource* source = model.Source(model.notes[i]);
    if (!source) continue;
    if (end.line >= 0 ? PlaceInRange(*source, at, end) : PlaceMatches(*source, at)) {
      found.push_back(i);
    }
  }
  return found;
}
