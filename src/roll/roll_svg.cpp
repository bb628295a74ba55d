#include "roll/roll_svg.h"

#include <algorithm>
#include <cstdio>

#include "roll/roll_text.h"

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Names are Shift-JIS bytes: keep ASCII, mark the rest.
        out += (static_cast<unsigned char>(c) < 0x80 && c >= 0x20) ? std::string(1, c) : "?";
    }
  }
  return out;
}

bool Drawn(const RollView& view, int track) {
  auto has = [track](const std::vector<int>& v) {
    return std::find(v.begin(), v.end(), track) != v.end();
  };
  if (has(view.mute)) return false;
  return view.solo.empty() || has(view.solo);
}

// The geometry of one picture.
struct Frame {
  int64_t start = 0, stop = 1;
  int low = 60, high = 71;  // whole octaves
  double scale = 1;         // pixels per tick
  int width = 0, height = 0;
  int legend_top = 0;
  double X(int64_t tick) const { return kRollKeysWidth + (tick - start) * scale; }
  int Y(int key) const { return kRollRulerHeight + (high - key) * kRollRowHeight; }
};

Frame MakeFrame(const RollModel& model, const RollView& view, int tracks) {
  Frame f;
  f.start = view.start;
  f.stop = view.stop > view.start ? view.stop : std::max(model.end_tick, view.start + 1);
  f.low = std::clamp(model.lowest_key / 12 * 12, 0, 240);
  f.high = std::clamp(model.highest_key / 12 * 12 + 11, f.low + 11, 255);
  f.width = std::max(view.width, kRollKeysWidth + 100);
  f.scale = static_cast<double>(f.width - kRollKeysWidth) / static_cast<double>(f.stop - f.start);
  f.legend_top = f.Y(f.low) + kRollRowHeight + 8;
  f.height = f.legend_top + 16 * std::max(tracks, 1) + 8;
  return f;
}

void DrawKeyboard(const Frame& f, std::string* out) {
  *out += "<g class=\"keys\">\n";
  for (int key = f.low; key <= f.high; ++key) {
    const bool black = RollIsBlackKey(key);
    *out += "<rect x=\"0\" y=\"" + std::to_string(f.Y(key)) + "\" width=\"" +
            std::to_string(black ? kRollKeysWidth * 2 / 3 : kRollKeysWidth) + "\" height=\"" +
            std::to_string(kRollRowHeight) + "\" fill=\"" + (black ? "#333" : "#fff") +
            "\" stroke=\"#bbb\" stroke-width=\"0.5\"/>\n";
    if (key % 12 == 0) {
      *out += "<text x=\"" + std::to_string(kRollKeysWidth - 2) + "\" y=\"" +
              std::to_string(f.Y(key) + kRollRowHeight) +
              "\" font-size=\"7\" text-anchor=\"end\">" + RollNoteName(key) + "</text>\n";
    }
  }
  *out += "</g>\n";
}

// Bar and beat lines as one repeating pattern, and the bar numbers thinned
// so that they stay readable and bounded by the width.
void DrawGrid(const RollModel& model, const Frame& f, std::string* out) {
  const int bar = model.RulerBarTicks();
  const int beat = std::max(model.resolution / 4, 1);
  const double bar_px = bar * f.scale;
  const double top = kRollRulerHeight, bottom = f.Y(f.low) + kRollRowHeight;
  const std::string h = Number(bottom - top);
  // Ticks start at 1: bar 1 begins there.
  const double origin = f.X(1);
  if (bar_px >= 2) {
    *out += "<defs><pattern id=\"bars\" patternUnits=\"userSpaceOnUse\" x=\"" + Number(origin) +
            "\" y=\"" + Number(top) + "\" width=\"" + Number(bar_px) + "\" height=\"" + h + "\">";
    *out +=
        "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"" + h + "\" stroke=\"#888\" stroke-width=\"1\"/>";
    if (bar % beat == 0 && beat * f.scale >= 4) {
      // A bar longer than the picture holds only the beats it shows.
      for (int b = beat; b < bar && b * f.scale < f.width; b += beat) {
        const std::string x = Number(b * f.scale);
        *out += "<line x1=\"" + x + "\" y1=\"0\" x2=\"" + x + "\" y2=\"" + h +
                "\" stroke=\"#ddd\" stroke-width=\"0.5\"/>";
      }
    }
    *out += "</pattern></defs>\n";
    *out += "<rect class=\"grid\" x=\"" + std::to_string(kRollKeysWidth) + "\" y=\"" + Number(top) +
            "\" width=\"" + std::to_string(f.width - kRollKeysWidth) + "\" height=\"" + h +
            "\" fill=\"url(#bars)\"/>\n";
  }
  const int64_t every =
      std::max<int64_t>(1, static_cast<int64_t>(40.0 / std::max(bar_px, 1e-9)) + 1);
  const int64_t first = (f.start - 1) / bar + 1, last = (f.stop - 1) / bar + 1;
  *out += "<g class=\"ruler\" font-size=\"9\">\n";
  for (int64_t n = first; n <= last; ++n) {
    if ((n - 1) % every != 0) continue;
    const double x = f.X(1 + (n - 1) * bar);
    if (x < kRollKeysWidth) continue;
    *out += "<text x=\"" + Number(x + 2) + "\" y=\"12\">" + std::to_string(n) + "</text>\n";
  }
  *out += "</g>\n";
}

// Tempo changes, thinned to one mark in kTempoSpacing pixels (a gradual
// change sets a new tempo on many ticks): the size follows the width.
constexpr double kTempoSpacing = 24;

void DrawTempos(const RollModel& model, const Frame& f, std::string* out) {
  *out += "<g class=\"tempo\" font-size=\"8\" fill=\"#a00\">\n";
  double last_x = -kTempoSpacing;
  for (const TempoChange& t : model.tempos) {
    if (t.tick < f.start || t.tick >= f.stop) continue;
    if (f.X(t.tick) < last_x + kTempoSpacing) continue;
    last_x = f.X(t.tick);
    const std::string x = Number(f.X(t.tick));
    *out += "<path d=\"M" + x + " 16 l3 6 h-6 z\"/><text x=\"" + Number(f.X(t.tick) + 4) +
            "\" y=\"25\">t" + std::to_string(t.quarters_per_minute) + "</text>\n";
  }
  *out += "</g>\n";
}

void DrawNotes(const RollModel& model, const RollView& view, const Frame& f, std::string* out) {
  *out += "<g class=\"notes\">\n";
  for (size_t i = model.FirstNoteFrom(f.start); i < model.notes.size(); ++i) {
    const RollNote& n = model.notes[i];
    if (n.tick >= f.stop) break;
    if (!Drawn(view, n.track)) continue;
    const double x = f.X(n.tick);
    const double w = std::max(static_cast<double>(model.DrawnTicks(n)) * f.scale, 1.0);
    *out += "<rect class=\"note\" x=\"" + Number(x) + "\" y=\"" + std::to_string(f.Y(n.key)) +
            "\" width=\"" + Number(w) + "\" height=\"" + std::to_string(kRollRowHeight) +
            "\" fill=\"" + RollTrackColour(n.track) + "\" fill-opacity=\"" +
            Number(0.25 + 0.75 * n.velocity / 127.0) + "\"";
    if (const NoteSource* source = model.Source(n)) {
      *out += " data-line=\"" + std::to_string(source->place.line) + "\" data-col=\"" +
              std::to_string(source->place.column) + "\"";
    }
    *out += "><title>" + Escaped(RollNoteTitle(model, n, RollTrackName(model, n.track))) +
            "</title></rect>\n";
  }
  *out += "</g>\n";
}

void DrawLegend(const RollModel& model, const RollView& view, const Frame& f, std::string* out) {
  std::vector<bool> used(model.track_names.size() + 1, false);
  for (const RollNote& n : model.notes) {
    if (n.track >= static_cast<int>(used.size())) used.resize(n.track + 1, false);
    used[n.track] = true;
  }
  *out += "<g class=\"legend\" font-size=\"10\">\n";
  int row = 0;
  for (size_t t = 0; t < used.size(); ++t) {
    if (!used[t]) continue;
    const int y = f.legend_top + 16 * row++;
    const std::string name = RollTrackName(model, static_cast<int>(t));
    *out += "<rect x=\"" + std::to_string(kRollKeysWidth) + "\" y=\"" + std::to_string(y) +
            "\" width=\"10\" height=\"10\" fill=\"" + RollTrackColour(static_cast<int>(t)) +
            "\"/><text x=\"" + std::to_string(kRollKeysWidth + 14) + "\" y=\"" +
            std::to_string(y + 9) + "\">" + Escaped(name) +
            (Drawn(view, static_cast<int>(t)) ? "" : " (muted)") + "</text>\n";
  }
  *out += "</g>\n";
}

}  // namespace

std::string RollSvg(const RollModel& model, const RollView& view) {
  const Frame f = MakeFrame(model, view, static_cast<int>(model.track_names.size()));
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(f.width) +
         "\" height=\"" + std::to_string(f.height) + "\" font-family=\"sans-serif\">\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#fafafa\"/>\n";
  DrawGrid(model, f, &out);
  DrawKeyboard(f, &out);
  DrawTempos(model, f, &out);
  DrawNotes(model, view, f, &out);
  DrawLegend(model, view, f, &out);
  if (model.bounded && (view.stop == 0 || view.stop > model.end_tick)) {
    out += "<text class=\"bounded\" x=\"" + std::to_string(f.width - 4) +
           "\" y=\"12\" font-size=\"9\" text-anchor=\"end\" fill=\"#a00\">the song goes on: drawn "
           "up to tick " +
           std::to_string(model.end_tick) + "</text>\n";
  }
  out += "</svg>\n";
  return out;
}
