// The File menu's recent files: the last kMaxRecentFiles scores loaded or
// saved, newest first, kept in the settings.
//
// In: each path the editor loads or saves (Add), and paths it found gone
// (Remove). Out: the list, and a menu of it whose items emit openRequested.
#ifndef QUERN_SHELL_QT_RECENT_FILES_H_
#define QUERN_SHELL_QT_RECENT_FILES_H_

#include <QMenu>
#include <QStringList>

// The list with path first, once, cut to kMaxRecentFiles.
QStringList WithRecentFile(const QStringList& files, const QString& path);

class RecentFilesMenu : public QMenu {
  Q_OBJECT
 public:
  explicit RecentFilesMenu(QWidget* parent = nullptr);

  void SetFiles(const QStringList& files);
  void Add(const QString& path);
  void Remove(const QString& path);
  QStringList Files() const { return files_; }

 signals:
  void openRequested(const QString& path);

 private:
  void Rebuild();

  QStringList files_;
};

#endif  // QUERN_SHELL_QT_RECENT_FILES_H_
