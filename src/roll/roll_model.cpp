#include "roll/roll_model.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <utility>

#include "player/chase.h"
#include "player/messages.h"
#include "player/sequencer.h"

namespace {

// How often a build looks whether it was cancelled.
constexpr int64_t kCancelCheckTicks = 4096;

// Turns what the sequencer strikes into the model's notes. The note-on goes
// out just before the note is reported, so its velocity is the last one sent.
class RecordingSink : public MessageSink, public NoteSink {
 public:
  RecordingSink(const SourceMap& map, RollModel* model) : map_(map), model_(model) {}

  void SendShort(const uint8_t* bytes, int length) override {
    if (length == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) last_velocity_ = bytes[2];
  }
  bool SendLong(const uint8_t*, int) override { return true; }
  void SetTempo(int quarters_per_minute) override {
    std::vector<TempoChange>& tempos = model_->tempos;
    if (tempos.empty() || tempos.back().quarters_per_minute != quarters_per_minute) {
      tempos.push_back({sequencer_->TickCount(), quarters_per_minute});
    }
  }
  void NoteStruck(const StruckNote& struck) override {
    RollNote note;
    note.tick = struck.tick;
    note.gate = struck.gate;
    note.key = struck.note;
    note.velocity = last_velocity_;
    note.channel = struck.channel;
    note.track = struck.track;
    note.offset = struck.offset;
    note.source = SourceIndex(struck);
    model_->lowest_key = std::min(model_->lowest_key, note.key);
    model_->highest_key = std::max(model_->highest_key, note.key);
    model_->notes.push_back(note);
  }
  void SetSequencer(const Sequencer* sequencer) { sequencer_ = sequencer; }

 private:
  // One index per written note, shared by all its passes.
  int SourceIndex(const StruckNote& struck) {
    const NoteSource* source = map_.Find(struck.track, struck.offset);
    if (!source) return -1;
    auto [it, added] = seen_.emplace(source, static_cast<int>(model_->sources.size()));
    if (added) model_->sources.push_back(*source);
    return it->second;
  }

  const SourceMap& map_;
  RollModel* model_;
  const Sequencer* sequencer_ = nullptr;
  int last_velocity_ = 0;
  std::unordered_map<const NoteSource*, int> seen_;
};

// Every note's own place and call sites, sorted, for NotesAtPlace.
void IndexPlaces(RollModel* model) {
  for (size_t i = 0; i < model->notes.size(); ++i) {
    const NoteSource* source = model->Source(model->notes[i]);
    if (!source) continue;
    const uint32_t note = static_cast<uint32_t>(i);
    model->places.push_back({source->place, note});
    for (const SourcePlace& call : source->calls) model->places.push_back({call, note});
  }
  std::sort(model->places.begin(), model->places.end());
}

void Finish(RollModel* model) {
  for (const RollNote& note : model->notes) {
    model->end_tick = std::max(model->end_tick, model->NoteEnd(note));
  }
  if (model->notes.empty()) model->lowest_key = model->highest_key = 60;
  IndexPlaces(model);
}

}  // namespace

int RollModel::RulerBarTicks() const {
  const int track = notes.empty() ? 0 : notes.front().track;
  const int ticks = track < static_cast<int>(bar_ticks.size()) ? bar_ticks[track] : 0;
  return ticks > 0 ? ticks : DefaultBarTicks(resolution);
}

int RollModel::BarTicks(int track) const {
  const bool own = track >= 0 && track < static_cast<int>(bar_ticks.size()) && bar_ticks[track] > 0;
  return own ? bar_ticks[track] : RulerBarTicks();
}

size_t RollModel::FirstNoteFrom(int64_t tick) const {
  auto it = std::lower_bound(notes.begin(), notes.end(), tick,
                             [](const RollNote& n, int64_t t) { return n.tick < t; });
  return static_cast<size_t>(it - notes.begin());
}

bool BuildRollModel(const uint8_t* image, size_t size, const SourceMap& map, RollModel* model,
                    int64_t max_ticks, const std::atomic<bool>* cancel) {
  *model = RollModel{};
  RecordingSink sink(map, model);
  auto sequencer = std::make_unique<Sequencer>(&sink);
  if (!sequencer->Load(image, size)) return false;
  sequencer->SetNoteSink(&sink);
  sink.SetSequencer(sequencer.get());
  model->resolution = sequencer->Messages().Resolution();
  for (int t = 0; t < sequencer->TrackCount(); ++t) model->bar_ticks.push_back(map.BarLength(t));
  int64_t bound = max_ticks;
  while (!sequencer->Finished()) {
    if (sequencer->TickCount() >= max_ticks || model->notes.size() >= kRollMaxNotes) {
      model->bounded = true;
      bound = sequencer->TickCount();
      break;
    }
    if (cancel && sequencer->TickCount() % kCancelCheckTicks == 0 && cancel->load()) {
      *model = RollModel{};
      return false;
    }
    sequencer->Tick();
  }
  Finish(model);
  if (model->bounded) model->end_tick = std::max(model->end_tick, bound);
  return true;
}

std::vector<size_t> NotesAtPlace(const RollModel& model, SourcePlace caret, SourcePlace end) {
  const std::vector<RollPlace>& places = model.places;
  auto from = [&](SourcePlace p) {
    return std::lower_bound(places.begin(), places.end(), RollPlace{p, 0});
  };
  std::vector<size_t> found;
  auto begin = places.end(), stop = places.end();
  if (end.line >= 0) {
    begin = from(caret);
    stop = from(end);
  } else {
    // The last place on the caret's line at or before it.
    auto after = from(SourcePlace{caret.line, caret.column + 1});
    if (after == places.begin()) return found;
    const SourcePlace at = std::prev(after)->place;
    if (at.line != caret.line) return found;
    begin = from(at);
    stop = after;
  }
  for (auto it = begin; it < stop; ++it) found.push_back(it->note);
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}
