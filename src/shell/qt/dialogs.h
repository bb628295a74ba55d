// Dialogs: every question the windows put to the user goes through here.
//
// The windows never call QMessageBox, QFileDialog, QFontDialog or
// QColorDialog directly, and they run their own modal dialogs through
// RunModal. The application uses QtDialogs; tests hand in a fake that
// answers from a script, so no test ever blocks on a modal loop.
#ifndef QUERN_SHELL_QT_DIALOGS_H_
#define QUERN_SHELL_QT_DIALOGS_H_

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>
#include <optional>

class QWidget;

class Dialogs {
 public:
  enum class Answer { kYes, kNo, kCancel };

  virtual ~Dialogs() = default;

  // A box with one OK button.
  virtual void Inform(QWidget* parent, const QString& caption, const QString& text) = 0;
  // The same, with detail under the text (such as the reason for it).
  virtual void InformWithDetail(QWidget* parent, const QString& caption, const QString& text,
                                const QString& detail) = 0;
  // A box with Yes, No and Cancel and no icon. Closing it counts as Cancel.
  virtual Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) = 0;
  // The Save As dialog, starting from start (a file or a folder). Returns the
  // chosen path, or an empty string when the user cancelled.
  virtual QString AskSavePath(QWidget* parent, const QString& start) = 0;
  // A save dialog for an exported file: filter as "Name (*.ext)", suffix
  // added to a name typed without one. Empty when cancelled.
  virtual QString AskExportPath(QWidget* parent, const QString& start, const QString& filter,
                                const QString& suffix) = 0;
  // Go to line: a line number from 0 to last, starting at current; nothing
  // when cancelled.
  virtual std::optional<int> AskLineNumber(QWidget* parent, int current, int last) = 0;
  // An Open dialog for any file matching filter; empty when cancelled.
  virtual QString AskOpenPath(QWidget* parent, const QString& start, const QString& filter) = 0;
  // Font and colour choices: true and *value changed on OK.
  virtual bool AskFont(QWidget* parent, QFont* font) = 0;
  virtual bool AskColor(QWidget* parent, QColor* color) = 0;
  // Runs one of our own dialogs modally; returns QDialog::Accepted or
  // QDialog::Rejected.
  virtual int RunModal(QDialog* dialog) = 0;
};

// The real dialogs of the toolkit.
class QtDialogs : public Dialogs {
 public:
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
};

// The save dialog's filter and default suffix, shared with tests.
extern const char kScoreFilter[];
extern const char kScoreSuffix[];

#endif  // QUERN_SHELL_QT_DIALOGS_H_
