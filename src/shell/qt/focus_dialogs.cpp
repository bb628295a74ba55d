#include "shell/qt/focus_dialogs.h"

#include <QWidget>

void FocusDialogs::Refocus() {
  if (focus_) focus_->setFocus(Qt::OtherFocusReason);
}

void FocusDialogs::Inform(QWidget* parent, const QString& caption, const QString& text) {
  inner_->Inform(parent, caption, text);
  Refocus();
}

void FocusDialogs::InformWithDetail(QWidget* parent, const QString& caption, const QString& text,
                                    const QString& detail) {
  inner_->InformWithDetail(parent, caption, text, detail);
  Refocus();
}

Dialogs::Answer FocusDialogs::AskYesNoCancel(QWidget* parent, const QString& caption,
                                             const QString& text) {
  return Back(inner_->AskYesNoCancel(parent, caption, text));
}

QString FocusDialogs::AskSavePath(QWidget* parent, const QString& start) {
  return Back(inner_->AskSavePath(parent, start));
}

QString FocusDialogs::AskExportPath(QWidget* parent, const QString& start, const QString& filter,
                                    const QString& suffix) {
  return Back(inner_->AskExportPath(parent, start, filter, suffix));
}

std::optional<int> FocusDialogs::AskLineNumber(QWidget* parent, int current, int last) {
  return Back(inner_->AskLineNumber(parent, current, last));
}

QString FocusDialogs::AskOpenPath(QWidget* parent, const QString& start, const QString& filter) {
  return Back(inner_->AskOpenPath(parent, start, filter));
}

bool FocusDialogs::AskFont(QWidget* parent, QFont* font) {
  return Back(inner_->AskFont(parent, font));
}

bool FocusDialogs::AskColor(QWidget* parent, QColor* color) {
  return Back(inner_->AskColor(parent, color));
}

int FocusDialogs::RunModal(QDialog* dialog) {
  return Back(inner_->RunModal(dialog));
}
