#include "shell/qt/colors.h"

#include <QApplication>
#include <QPalette>

#include "shell/settings.h"

namespace {

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
