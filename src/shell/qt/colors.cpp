#include "shell/qt/colors.h"

#include <QApplication>
#include <QPalette>
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

// Walks the lightness of designed from its own towards 0 or 1 (step -1 or
// +1, in 1/255) until the colour reaches the contrast; invalid if it never
// does.
QColor WalkLightness(const QColor& designed, const QColor& background, int step) {
  float hue = 0, saturation = 0, lightness = 0;
  designed.toHsl().getHslF(&hue, &saturation, &lightness);
  if (hue < 0) hue = 0;  // grey: no hue to keep
  for (int l = qRound(lightness * 255); l >= 0 && l <= 255; l += step) {
    QColor candidate = QColor::fromHslF(hue, saturation, l / 255.0f).toRgb();
    if (ContrastRatio(candidate, background) >= kMinTokenContrast) return candidate;
  }
  return QColor();
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
  if (ContrastRatio(designed, background) >= kMinTokenContrast) return designed.toRgb();
  const int towards_text = Luminance(text) >= Luminance(background) ? 1 : -1;
  QColor found = WalkLightness(designed, background, towards_text);
  if (!found.isValid()) found = WalkLightness(designed, background, -towards_text);
  return found;
}
