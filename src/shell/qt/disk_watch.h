// Watches the score file in the editor for changes made by other programs.
//
// In: the path of the file the editor holds and the bytes it holds of it
// (Watch), after every load and save, so that the editor's own writes are
// never taken for changes.
// Out: changedOnDisk() when the file, once it has stopped changing, holds
// bytes other than those last seen (Bytes() gives them: the reader takes
// these, never the file again, so it cannot load a later half-written
// state and take it for this one); removedFromDisk() once when it is gone.
// A file that comes back after a removal counts as changed.
// How: every notice of the file system (the file, or its folder for a file
// replaced by renaming another over it) starts looks kLookMs apart, until
// two agree and a read leaves the file unchanged (files/settled_read.h).
// Each look arms the watch on the file again: the toolkit's watcher drops a
// file that was replaced.
// What can go wrong: nothing; an empty path or a folder is not watched, and
// a file that cannot be read is left alone until it can.
// Thread: the UI thread.
#ifndef QUERN_SHELL_QT_DISK_WATCH_H_
#define QUERN_SHELL_QT_DISK_WATCH_H_

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "files/settled_read.h"

class DiskWatch : public QObject {
  Q_OBJECT
 public:
  static constexpr int kLookMs = 50;

  explicit DiskWatch(QObject* parent = nullptr);
  ~DiskWatch() override;

  // Watches path, of which the editor holds held (nothing: the editor holds
  // no version of it); an empty path stops watching. The file is looked at
  // once at the start, for a change made before the watch was armed.
  void Watch(const QString& path, std::optional<std::string> held);
  QString Path() const { return path_; }
  // The bytes of the version that changedOnDisk announced; false and empty
  // while the file is gone.
  bool HasVersion() const { return seen_.has_value(); }
  const std::string& Bytes() const { return seen_ ? *seen_ : empty_; }
  // The file may have changed: it is looked at until it settles. The
  // watcher calls it; so may anyone who suspects a change.
  void Check();
  // True while a change is being looked at.
  bool Settling() const { return look_timer_.isActive(); }

 signals:
  void changedOnDisk();
  void removedFromDisk();

 private:
  void Look();
  void Rewatch();

  QFileSystemWatcher watcher_;
  QTimer look_timer_;
  QString path_;
  std::unique_ptr<DiskProbe> probe_;
  std::unique_ptr<SettledRead> settle_;
  std::optional<std::string> seen_;  // the bytes last seen; none: gone
  const std::string empty_;
};

#endif  // QUERN_SHELL_QT_DISK_WATCH_H_
