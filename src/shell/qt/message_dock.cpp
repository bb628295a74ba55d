#include "shell/qt/message_dock.h"

#include <QDockWidget>
#include <QMainWindow>

#include "shell/qt/message_window.h"

MessageDock::MessageDock(MessageWindow* messages, QMainWindow* main_window)
    : messages_(messages), main_window_(main_window) {
  dock_ = new QDockWidget(messages->windowTitle(), main_window);
  dock_->setObjectName(QStringLiteral("MessageDock"));
  // The menu item "ｺﾝﾊﾟｲﾗの出力" shows and hides it; the dock has no close
  // button of its own, so that the check mark always tells the truth.
  dock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
  dock_->setAllowedAreas(Qt::BottomDockWidgetArea);
  main_window->addDockWidget(Qt::BottomDockWidgetArea, dock_);
  dock_->hide();
}

void MessageDock::SetDocked(bool docked) {
  if (docked == docked_) return;
  const bool shown = Shown();
  if (docked) {
    window_geometry_ = QRect(messages_->pos(), messages_->size());
    messages_->hide();
    dock_->setWidget(messages_);  // takes it in as a child widget
    docked_ = true;
  } else {
    dock_->hide();
    dock_->setWidget(nullptr);
    messages_->setParent(nullptr, Qt::Window);
    messages_->move(window_geometry_.topLeft());
    messages_->resize(window_geometry_.size());
    docked_ = false;
  }
  if (shown) Show();
}

void MessageDock::Show() {
  if (docked_) {
    messages_->show();
    dock_->show();
  } else {
    messages_->ShowInFront();
  }
}

void MessageDock::Hide() {
  if (docked_) {
    dock_->hide();
  } else {
    messages_->hide();
  }
}

bool MessageDock::Shown() const {
  return docked_ ? !dock_->isHidden() : messages_->isVisible();
}

QRect MessageDock::WindowGeometry() const {
  return docked_ ? window_geometry_ : QRect(messages_->pos(), messages_->size());
}
