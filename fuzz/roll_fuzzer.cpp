// A score, then the same bytes as a song image, drawn as a piano roll: the
// model (a bounded run), the SVG, scenes at the whole song and at a close
// zoom, hit tests and the notes at places of the text. Oracles: the SVG
// holds one note rectangle per note drawn, every note found at a place has
// that place or a call site there, and every index handed out is a note.
#include <cstdlib>
#include <string>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"
#include "fuzz_support.h"
#include "roll/roll_model.h"
#include "roll/roll_svg.h"
#include "roll/roll_view.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void DrawAndHit(const RollModel& model) {
  RollView svg_view;
  svg_view.width = 400;
  const std::string svg = RollSvg(model, svg_view);
  Check(Count(svg, "<rect class=\"note\"") == model.notes.size());
  const RollIndex index(model);
  RollViewport view;
  FitRollSong(model, &view);
  for (int zoom = 0; zoom < 2; ++zoom) {
    RollScene scene;
    RollMarks marks;
    marks.now = model.end_tick / 2;
    BuildRollScene(index, view, marks, &scene);
    for (const RollNoteBox& box : scene.sounding) Check(box.note < model.notes.size());
    for (int x = 0; x < view.width; x += 37) {
      for (int y = 0; y < view.height; y += 5) {
        const long note = HitRollNote(index, view, x, y);
        Check(note < static_cast<long>(model.notes.size()));
        Check(HitRollBar(model, view, x, y) != 0);
      }
    }
    ZoomRollTime(model, 64, view.width / 2.0, &view);
    ZoomRollKeys(model, 3, view.height / 2.0, &view);
  }
}

void CheckPlaces(const RollModel& model) {
  for (size_t p = 0; p < model.places.size(); p += 1 + model.places.size() / 16) {
    const SourcePlace at = model.places[p].place;
    for (size_t i : NotesAtPlace(model, at)) {
      Check(i < model.notes.size());
      const NoteSource* source = model.Source(model.notes[i]);
      Check(source != nullptr);
      bool there = source->place == at;
      for (const SourcePlace& call : source->calls) there = there || call == at;
      Check(there);
    }
    const SourcePlace end{at.line + 1, 0};
    for (size_t i : NotesAtPlace(model, at, end)) Check(i < model.notes.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool set_up = SetUpCompiler();
  if (!set_up) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  SourceMap map;
  if (CompileScore(text.c_str(), &map) <= 2) {
    const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
    RollModel model;
    if (BuildRollModel(image.data(), image.size(), map, &model, kFuzzTicks)) {
      DrawAndHit(model);
      CheckPlaces(model);
    }
  }
  // An exactly sized copy, so that a read past the image is caught.
  const std::vector<uint8_t> bytes(data, data + size);
  RollModel model;
  if (BuildRollModel(bytes.data(), bytes.size(), SourceMap{}, &model, kFuzzTicks)) {
    DrawAndHit(model);
  }
  return 0;
}
