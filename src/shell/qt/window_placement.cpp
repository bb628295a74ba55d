#include "shell/qt/window_placement.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "shell/qt/colors.h"
#include "shell/qt/settings_dialog.h"

namespace {

// After a show, the window is fitted again at these times and on every move
// or resize until the last: the window system adds the frame in its own
// time, and tells of it by moving the window inside the frame.
constexpr int kChecksAfterShowMs[] = {0, 50, 200, 500, 1000, 2000};
constexpr int kSettleMs = 2000;

class ScreenKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show) {
      shown_.start();
      for (int ms : kChecksAfterShowMs) {
        QTimer::singleShot(ms, window, [window] { KeepOnScreen(window); });
      }
    } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
               shown_.isValid() && shown_.elapsed() < kSettleMs) {
      QTimer::singleShot(0, window, [window] { KeepOnScreen(window); });
    }
    return false;
  }

 private:
  QElapsedTimer shown_;
};

QList<QRect> AvailableAreas() {
  QList<QRect> available;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) available.append(primary->availableGeometry());
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != primary) available.append(screen->availableGeometry());
  }
  return available;
}

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

QRect FitWindowOnScreens(const QRect& window, const QMargins& frame,
                         const QList<QRect>& available) {
  const QRect fitted = FitOnScreens(window.marginsAdded(frame), available).marginsRemoved(frame);
  return QRect(fitted.topLeft(), fitted.size().expandedTo(QSize(1, 1)));
}

QRect DefaultMainFrame(const QRect& available) {
  auto side = [](int screen, int least, int most) {
    return std::min(screen, std::clamp(screen * 4 / 5, least, most));
  };
  QRect frame(0, 0, side(available.width(), 640, 1600), side(available.height(), 480, 1200));
  frame.moveCenter(available.center());
  return frame;
}

void ApplyMainPlacement(QWidget* window, const MainPlacement& place) {
  const QScreen* primary = QGuiApplication::primaryScreen();
  const QRect available = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
  if (place.width && place.height) {
    window->resize(*place.width, *place.height);
  } else {
    window->resize(DefaultMainFrame(available).size());
  }
  if (place.x && place.y) {
    window->move(*place.x, *place.y);
  } else {
    QRect centred(QPoint(), window->size());
    centred.moveCenter(available.center());
    window->move(centred.topLeft());
  }
  // Saved places may lie on a screen that is gone; the settings take the
  // corrected place at the next save.
  KeepOnScreen(window);
  KeepOnScreenWhenShown(window);
}

void KeepOnScreen(QWidget* window) {
  // A window docked into another is placed by it; a maximised or
  // full-screen window is where the window system put it.
  if (!window->isWindow() || window->isMaximized() || window->isFullScreen() ||
      window->isMinimized()) {
    return;
  }
  // Before the window system has added the frame, the frame is the window
  // itself.
  const QRect frame = window->frameGeometry(), inner = window->geometry();
  const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                         frame.right() - inner.right(), frame.bottom() - inner.bottom());
  const QRect fitted = FitWindowOnScreens(inner, margins, AvailableAreas());
  if (fitted == inner) return;
  window->resize(fitted.size());
  // A window's position is its frame's.
  window->move(fitted.topLeft() - QPoint(margins.left(), margins.top()));
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
