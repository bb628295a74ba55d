#include "roll/roll_text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

const char* const kNoteNames[12] = {"c",  "c+", "d",  "d+", "e",  "f",
                                    "f+", "g",  "g+", "a",  "a+", "b"};
const uint32_t kColours[] = {0xe6194b, 0x3cb44b, 0x4363d8, 0xf58231, 0x911eb4, 0x42d4f4,
                             0xf032e6, 0x9a6324, 0x469990, 0x808000, 0x000075, 0xbfef45};

std::string Place(const SourcePlace& p) {
  return std::to_string(p.line) + ":" + std::to_string(p.column);
}

}  // namespace

std::string RollNoteName(int key) {
  const int k = std::max(key, 0);
  return kNoteNames[k % 12] + std::to_string(k / 12 - 1);
}

bool RollIsBlackKey(int key) {
  const int k = std::max(key, 0) % 12;
  return k == 1 || k == 3 || k == 6 || k == 8 || k == 10;
}

std::string RollBarBeat(int64_t tick, int bar_ticks, int resolution) {
  const BarPosition at = BarBeatAt(tick - 1, bar_ticks, resolution);
  return std::to_string(at.bar) + ":" + std::to_string(at.beat);
}

uint32_t RollTrackRgb(int track) {
  return kColours[static_cast<size_t>(std::max(track, 0)) % std::size(kColours)];
}

std::string RollTrackColour(int track) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(RollTrackRgb(track)));
  return text;
}

std::string RollTrackName(const RollModel& model, int track) {
  if (track >= 0 && track < static_cast<int>(model.track_names.size()) &&
      !model.track_names[track].empty()) {
    return model.track_names[track];
  }
  return std::to_string(track + 1);
}

std::string RollNoteTitle(const RollModel& model, const RollNote& n,
                          const std::string& track_name) {
  std::string title = track_name + " " + RollNoteName(n.key) + " " +
                      RollBarBeat(n.tick, model.BarTicks(n.track), model.resolution) + " length " +
                      (n.gate > 0 ? std::to_string(n.gate) : std::string("held")) + " velocity " +
                      std::to_string(n.velocity);
  if (const NoteSource* source = model.Source(n)) {
    title += " line " + Place(source->place);
    for (const SourcePlace& call : source->calls) title += " < " + Place(call);
  }
  return title;
}
