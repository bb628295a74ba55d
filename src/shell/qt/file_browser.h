// The score file browser (TForm2): the editor's own Open dialog. It lists
// the subdirectories and the score files of the browse directory, each
// score with its title, walks into directories and ends a modal run with
// the chosen score file.
//
// It keeps the paths the shell shares (the current file path and the browse
// directory) and the selection between runs; the logic is ScoreBrowser's.
// Enter or a double-click opens the selected line; Esc and closing cancel.
#ifndef QUERN_SHELL_QT_FILE_BROWSER_H_
#define QUERN_SHELL_QT_FILE_BROWSER_H_

#include <QDialog>
#include <QStringList>

#include "shell/score_browser.h"
#include "shell/settings.h"

class QListWidget;

class FileBrowser : public QDialog {
  Q_OBJECT
 public:
  explicit FileBrowser(QWidget* parent = nullptr);

  // Creation: placement and list font from the settings fields.
  void ApplySettings(const Placement& placement, const FontSetting& font);
  void ApplyFont(const FontSetting& font);
  Placement CurrentPlacement() const;

  // Start-up: takes the first parameter as the current file and its folder
  // as the browse directory. Returns the file to load, or an empty string.
  QString TakeCommandLine(const QStringList& arguments);

  QString CurrentFilePath() const { return model_.current_file_path(); }
  void SetCurrentFilePath(const QString& path) { model_.set_current_file_path(path); }
  QString BrowseDirectory() const { return model_.browse_directory(); }
  void SetBrowseDirectory(const QString& directory) { model_.set_browse_directory(directory); }
  int RememberedSelection() const { return model_.remembered_selection(); }

  // Lists the browse directory; runs each time the window is shown.
  void ListDirectory();
  // Opens the selected line: enters a directory or ends the run with a file.
  void OpenSelected();
  // The file chosen by the last run that ended with OK.
  QString ChosenPath() const { return chosen_path_; }

  QListWidget* List() const { return list_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ScoreBrowser model_;
  QListWidget* list_;
  QString chosen_path_;
};

#endif  // QUERN_SHELL_QT_FILE_BROWSER_H_
