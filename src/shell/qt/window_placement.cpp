#include "shell/qt/window_placement.h"

#include <QWidget>

#include "shell/qt/colors.h"
#include "shell/qt/settings_dialog.h"

void ApplyPlacement(QWidget* window, const QRect& designed, const Placement& placement) {
  int x = placement.x >= 0 ? placement.x : designed.x();
  int y = placement.y >= 0 ? placement.y : designed.y();
  int width = placement.width >= 0 ? placement.width : designed.width();
  int height = placement.height >= 0 ? placement.height : designed.height();
  window->move(x, y);
  window->resize(width, height);
}

Placement PlacementOf(const QWidget* window) {
  return Placement{window->x(), window->y(), window->width(), window->height()};
}

void ApplyListFont(QWidget* list, const FontSetting& font) {
  list->setFont(FontOfGroup(font));
  QPalette p = list->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Text, ColorFromValue(font.color));
    p.setColor(group, QPalette::Base, ColorFromValue(font.back_color));
  }
  list->setPalette(p);
}
