// Watches the score file in the editor for changes made by other programs.
//
// In: the path of the file the editor holds (Watch), after every load and
// save, so that the editor's own writes are never taken for changes.
// Out: changedOnDisk() when the file's bytes differ from those last seen;
// removedFromDisk() once when it is gone. A file that comes back after a
// removal counts as changed.
// What can go wrong: nothing; an empty path or a folder is not watched.
#ifndef QUERN_SHELL_QT_DISK_WATCH_H_
#define QUERN_SHELL_QT_DISK_WATCH_H_

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <optional>

class DiskWatch : public QObject {
  Q_OBJECT
 public:
  explicit DiskWatch(QObject* parent = nullptr);

  // Watches path from its present bytes on; an empty path stops watching.
  void Watch(const QString& path);
  QString Path() const { return path_; }
  // Compares the file with what was last seen; emits as described above.
  // The watcher calls it; so may anyone who suspects a change.
  void Check();

 signals:
  void changedOnDisk();
  void removedFromDisk();

 private:
  void Rewatch();

  QFileSystemWatcher watcher_;
  QString path_;
  std::optional<QByteArray> seen_;  // the bytes last seen; none: removed
};

#endif  // QUERN_SHELL_QT_DISK_WATCH_H_
