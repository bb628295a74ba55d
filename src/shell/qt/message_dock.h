// Where the compiler message window lives: its own window (the default), or
// docked under the editor in the main window ("メッセージを下に表示").
//
// In: the message window and the main window; the docked choice.
// Out: show, hide and visibility that mean the same in both places. While
// docked the window keeps the placement it had as a window, so undocking
// (or the next start) puts it back where it was.
#ifndef QUERN_SHELL_QT_MESSAGE_DOCK_H_
#define QUERN_SHELL_QT_MESSAGE_DOCK_H_

#include <QRect>

class MessageWindow;
class QDockWidget;
class QMainWindow;

class MessageDock {
 public:
  MessageDock(MessageWindow* messages, QMainWindow* main_window);

  void SetDocked(bool docked);
  bool Docked() const { return docked_; }
  // Shows the messages; as a window, in front of the others.
  void Show();
  void Hide();
  bool Shown() const;
  QDockWidget* Dock() const { return dock_; }
  // The window's own geometry, also while docked.
  QRect WindowGeometry() const;

 private:
  MessageWindow* messages_;
  QMainWindow* main_window_;
  QDockWidget* dock_;
  bool docked_ = false;
  QRect window_geometry_;
};

#endif  // QUERN_SHELL_QT_MESSAGE_DOCK_H_
