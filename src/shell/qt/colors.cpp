#include "shell/qt/colors.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>

#include "shell/settings.h"

namespace {

double Linear(double channel) {
  return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& color) {
  QColor rgb = color.toRgb();
  return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) + 0.0722 * Linear(rgb.blueF());
}

double LeastContrast(const QColor& color, const QList<QColor>& backgrounds) {
  double least = 21;
  for (const QColor& background : backgrounds) {
    least = std::min(least, ContrastRatio(color, background));
  }
  return least;
}

// Walks the lightness of designed from its own towards 0 or 1 (step -1 or
// +1, in 1/255) until the colour reaches the contrast on every background;
// invalid if it never does.
QColor WalkLightness(const QColor& designed, const QList<QColor>& backgrounds, int step) {
  float hue = 0, saturation = 0, lightness = 0;
  designed.toHsl().getHslF(&hue, &saturation, &lightness);
  if (hue < 0) hue = 0;  // grey: no hue to keep
  for (int l = qRound(lightness * 255); l >= 0 && l <= 255; l += step) {
    QColor candidate = QColor::fromHslF(hue, saturation, l / 255.0f).toRgb();
    if (LeastContrast(candidate, backgrounds) >= kMinTokenContrast) return candidate;
  }
  return QColor();
}

QColor Mix(const QColor& a, const QColor& b, double share_of_b) {
  const QColor x = a.toRgb(), y = b.toRgb();
  auto channel = [share_of_b](int p, int q) { return qRound(p + (q - p) * share_of_b); };
  return QColor(channel(x.red(), y.red()), channel(x.green(), y.green()),
                channel(x.blue(), y.blue()));
}

// A line mark: `tinted` where the text keeps kMinTokenContrast on it; else
// the tint made lighter or darker, away from the text, until it does; else
// brought back towards the background as far as needed (the background
// itself always reaches it when the text reads on it at all, though the
// mark then no longer shows: only a scheme whose own text barely reads).
QColor LineMark(const QColor& background, const QColor& tinted, const QColor& text) {
  if (ContrastRatio(text, background) < kMinTokenContrast) return tinted;
  const int away = Luminance(text) > Luminance(background) ? -1 : 1;
  for (int step = 0; step < 16; ++step) {
    const QColor mix = Mix(tinted, background, step / 16.0);
    if (ContrastRatio(text, mix) >= kMinTokenContrast) return mix;
    const QColor walked = WalkLightness(mix, QList<QColor>{text}, away);
    if (walked.isValid() && walked != background.toRgb()) return walked;
  }
  return background.toRgb();
}

// The text colour for a mark: the editor's own where it reads, else black
// or white, whichever reads better (one of them always reaches 4.5).
QColor TextOnMark(const QColor& mark, const QColor& text) {
  if (ContrastRatio(text, mark) >= kMinTokenContrast) return text.toRgb();
  return ContrastRatio(Qt::black, mark) >= ContrastRatio(Qt::white, mark) ? QColor(Qt::black)
                                                                          : QColor(Qt::white);
}

// The system colour numbers that the settings may name, mapped to the
// palette roles that play the same part on this desktop.
QPalette::ColorRole RoleOfSystemColor(int n) {
  switch (n) {
    case 1:   // desktop
    case 4:   // menu
    case 15:  // button face
      return QPalette::Button;
    case 5:  // window background
      return QPalette::Base;
    case 7:   // menu text
    case 8:   // window text
    case 18:  // button text
      return QPalette::Text;
    case 13:  // highlight
      return QPalette::Highlight;
    case 14:  // highlighted text
      return QPalette::HighlightedText;
    case 17:  // grey text
      return QPalette::PlaceholderText;
    case 23:  // tooltip text
      return QPalette::ToolTipText;
    case 24:  // tooltip background
      return QPalette::ToolTipBase;
    default:
      return QPalette::Window;
  }
}

}  // namespace

QColor ColorFromValue(int32_t value) {
  if (IsSystemColour(value)) {
    return QApplication::palette().color(QPalette::Active,
                                         RoleOfSystemColor(SystemColourNumber(value)));
  }
  return QColor(RedOf(value), GreenOf(value), BlueOf(value));
}

int32_t ValueFromColor(const QColor& color) {
  QColor rgb = color.toRgb();
  return ColourValue(rgb.red(), rgb.green(), rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

QColor ReadableColor(const QColor& designed, const QColor& background, const QColor& text) {
  return ReadableColor(designed, QList<QColor>{background}, text);
}

QColor ReadableColor(const QColor& designed, const QList<QColor>& backgrounds, const QColor& text) {
  if (backgrounds.isEmpty()) return designed.toRgb();
  if (LeastContrast(designed, backgrounds) >= kMinTokenContrast) return designed.toRgb();
  const int towards_text = Luminance(text) >= Luminance(backgrounds.first()) ? 1 : -1;
  QColor found = WalkLightness(designed, backgrounds, towards_text);
  if (!found.isValid()) found = WalkLightness(designed, backgrounds, -towards_text);
  if (found.isValid()) return found;
  return LeastContrast(Qt::black, backgrounds) >= LeastContrast(Qt::white, backgrounds)
             ? QColor(Qt::black)
             : QColor(Qt::white);
}

EditorMarkColors MarkColorsFor(const QColor& text, const QColor& background) {
  const bool dark = Luminance(text) > Luminance(background);
  EditorMarkColors marks;
  marks.caret_line =
      LineMark(background, dark ? background.lighter(130) : background.darker(106), text);
  // A red tint, deeper on a dark background.
  marks.diagnostic_line = LineMark(background,
                                   dark ? Mix(background, QColor(0xc0, 0x30, 0x30), 0.25)
                                        : Mix(background, QColor(0xff, 0x00, 0x00), 0.14),
                                   text);
  marks.note = QColor(0xff, 0xa8, 0x30);
  marks.note_text = TextOnMark(marks.note, text);
  marks.call = QColor(0xff, 0xe2, 0xa8);
  marks.call_text = TextOnMark(marks.call, text);
  marks.full_width_box = Mix(text, background, 0.6);
  return marks;
}

QList<QColor> TokenBackgrounds(const QColor& text, const QColor& background) {
  const EditorMarkColors marks = MarkColorsFor(text, background);
  return {background.toRgb(), marks.caret_line, marks.diagnostic_line};
}
