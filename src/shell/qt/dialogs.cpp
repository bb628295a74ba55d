#include "shell/qt/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>

// "Quern MIDI Source(*.qrn)|*.qrn" in the toolkit's notation.
const char kScoreFilter[] = "Quern MIDI Source(*.qrn)";
const char kScoreSuffix[] = "qrn";

void QtDialogs::Inform(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

void QtDialogs::InformWithDetail(QWidget* parent, const QString& caption, const QString& text,
                                 const QString& detail) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
  box.setInformativeText(detail);
  box.exec();
}

Dialogs::Answer QtDialogs::AskYesNoCancel(QWidget* parent, const QString& caption,
                                          const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

QString QtDialogs::AskSavePath(QWidget* parent, const QString& start) {
  return AskExportPath(parent, start, QString::fromLatin1(kScoreFilter),
                       QString::fromLatin1(kScoreSuffix));
}

QString QtDialogs::AskExportPath(QWidget* parent, const QString& start, const QString& filter,
                                 const QString& suffix) {
  // The dialog asks before overwriting and only accepts existing folders;
  // the suffix is added when the user types a name without one.
  QFileDialog dialog(parent, QString(), start, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

std::optional<int> QtDialogs::AskLineNumber(QWidget* parent, int current, int last) {
  bool ok = false;
  int line =
      QInputDialog::getInt(parent, QStringLiteral("行へ移動"),
                           QStringLiteral("行番号 (0 - %1):").arg(last), current, 0, last, 1, &ok);
  if (!ok) return std::nullopt;
  return line;
}

QString QtDialogs::AskOpenPath(QWidget* parent, const QString& start, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), start, filter);
}

bool QtDialogs::AskFont(QWidget* parent, QFont* font) {
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, *font, parent);
  if (ok) *font = chosen;
  return ok;
}

bool QtDialogs::AskColor(QWidget* parent, QColor* color) {
  QColor chosen = QColorDialog::getColor(*color, parent);
  if (!chosen.isValid()) return false;
  *color = chosen;
  return true;
}

int QtDialogs::RunModal(QDialog* dialog) {
  return dialog->exec();
}
