#include "shell/qt/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "shell/qt/colors.h"
#include "shell/qt/settings_dialog.h"

namespace {

class ScreenKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The window system adds the frame after the show: look once it has.
    if (event->type() == QEvent::Show) {
      auto* window = static_cast<QWidget*>(watched);
      QTimer::singleShot(0, window, [window] { KeepOnScreen(window); });
    }
    return false;
  }
};

}  // namespace

void ApplyPlacement(QWidget* window, const QRect& designed, const Placement& placement) {
  int x = placement.x >= 0 ? placement.x : designed.x();
  int y = placement.y >= 0 ? placement.y : designed.y();
  int width = placement.width >= 0 ? placement.width : designed.width();
  int height = placement.height >= 0 ? placement.height : designed.height();
  window->move(x, y);
  window->resize(width, height);
  KeepOnScreen(window);
  KeepOnScreenWhenShown(window);
}

void KeepOnScreenWhenShown(QWidget* window) {
  const QString name = QStringLiteral("ScreenKeeper");
  if (window->findChild<QObject*>(name, Qt::FindDirectChildrenOnly)) return;
  auto* keeper = new ScreenKeeper(window);
  keeper->setObjectName(name);
  window->installEventFilter(keeper);
}

QRect FitOnScreens(const QRect& frame, const QList<QRect>& available) {
  if (available.isEmpty()) return frame;
  const QRect* best = &available.first();
  long long best_area = -1;
  for (const QRect& screen : available) {
    if (screen.contains(frame)) return frame;
    QRect common = screen.intersected(frame);
    long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
    if (area > best_area) {
      best_area = area;
      best = &screen;
    }
  }
  if (best_area == 0) best = &available.first();
  QRect fitted(frame.topLeft(), frame.size().boundedTo(best->size()));
  fitted.moveLeft(std::clamp(fitted.left(), best->left(), best->right() - fitted.width() + 1));
  fitted.moveTop(std::clamp(fitted.top(), best->top(), best->bottom() - fitted.height() + 1));
  return fitted;
}

void KeepOnScreen(QWidget* window) {
  QList<QRect> available;
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    available.append(primary->availableGeometry());
  }
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) available.append(screen->availableGeometry());
  }
  // The frame is what must be seen; before the window is shown it is the
  // window itself.
  QRect frame = window->frameGeometry();
  QRect fitted = FitOnScreens(frame, available);
  if (fitted == frame) return;
  QSize border = frame.size() - window->size();
  window->resize(fitted.size() - border);
  window->move(fitted.topLeft());
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
