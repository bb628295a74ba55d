// The compiler message window (TForm3): the report of the last compilation,
// one entry per line, and the jump from an entry to its place in the score.
//
// The main window fills the list; this window only shows it. A double-click
// or Enter on an entry that starts with "line : column" asks for a jump;
// entries without a position ("Object Size : ...", plain text, negative
// numbers) do nothing. Closing the window hides it and says so through
// closedByUser, so that the main window can clear its menu check. Esc in
// the list asks to stop playback. As a window of its own it stays in front
// of the main window.
#ifndef QUERN_SHELL_QT_MESSAGE_WINDOW_H_
#define QUERN_SHELL_QT_MESSAGE_WINDOW_H_

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "shell/settings.h"

class QListWidget;

class MessageWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MessageWindow(QWidget* parent = nullptr);

  // Creation: placement (each value applied when 0 or more), list font and
  // colours, and visibility from the settings fields.
  void ApplySettings(const Placement& placement, const FontSetting& font, bool visible);
  void ApplyFont(const FontSetting& font);
  Placement CurrentPlacement() const;

  void ClearEntries();
  void SetEntries(const QStringList& entries);
  void AppendEntry(const QString& entry);
  QStringList Entries() const;
  QListWidget* List() const { return list_; }

  // Shows the window and brings it to the front.
  void ShowInFront();
  // Keeps the window in front of owner (as its transient window) while it
  // is a window of its own, so that raising owner never hides it.
  void StayInFrontOf(QWidget* owner);
  // Jumps from the selected entry, if it is a jump target.
  void JumpFromSelected();
  // Selects the first entry that is a jump target, if there is one.
  void SelectFirstPosition();

 signals:
  void jumpRequested(int line, int column);
  // The line of the selected entry, or -1 when it names no position.
  void selectedLineChanged(int line);
  void closedByUser();
  // Esc in the list: stop playback, as Esc in the editor does.
  void stopRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReportSelectedLine();
  void TieToOwner();

  QListWidget* list_;
  QPointer<QWidget> owner_;
};

#endif  // QUERN_SHELL_QT_MESSAGE_WINDOW_H_
