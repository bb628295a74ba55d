// Dialogs that give the keyboard focus back to the score's text: every
// question, box and modal dialog of the main window goes through one of
// these, so that typing after any of them lands in the text.
//
// In: the dialogs that really ask (the toolkit's, or a test's script) and
// the widget that takes the focus afterwards.
// Out: each answer unchanged; the focus set on the widget after the dialog
// (in its window, which shows it on its next activation if another window
// is active now).
// What can go wrong: nothing beyond the inner dialogs' own outcomes.
#ifndef QUERN_SHELL_QT_FOCUS_DIALOGS_H_
#define QUERN_SHELL_QT_FOCUS_DIALOGS_H_

#include <QPointer>

#include "shell/qt/dialogs.h"

class FocusDialogs final : public Dialogs {
 public:
  FocusDialogs(Dialogs* inner, QWidget* focus) : inner_(inner), focus_(focus) {}

  void Inform(QWidget* parent, const QString& caption, const QString& text) override;
  void InformWithDetail(QWidget* parent, const QString& caption, const QString& text,
                        const QString& detail) override;
  Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) override;
  QString AskSavePath(QWidget* parent, const QString& start) override;
  QString AskExportPath(QWidget* parent, const QString& start, const QString& filter,
                        const QString& suffix) override;
  std::optional<int> AskLineNumber(QWidget* parent, int current, int last) override;
  QString AskOpenPath(QWidget* parent, const QString& start, const QString& filter) override;
  bool AskFont(QWidget* parent, QFont* font) override;
  bool AskColor(QWidget* parent, QColor* color) override;
  int RunModal(QDialog* dialog) override;

 private:
  // Passes the answer through, once the focus is back.
  template <typename T>
  T Back(T answer) {
    Refocus();
    return answer;
  }
  void Refocus();

  Dialogs* inner_;
  QPointer<QWidget> focus_;
};

#endif  // QUERN_SHELL_QT_FOCUS_DIALOGS_H_
