#include "shell/qt/disk_watch.h"

#include <QFileInfo>

#include "shell/score_file.h"

namespace {

std::optional<QByteArray> BytesOf(const QString& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return QByteArray::fromStdString(*bytes);
}

}  // namespace

DiskWatch::DiskWatch(QObject* parent) : QObject(parent) {
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DiskWatch::Check);
  // A file replaced by renaming another over it is watched again through
  // its folder.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DiskWatch::Check);
}

void DiskWatch::Watch(const QString& path) {
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  path_.clear();
  seen_.reset();
  if (path.isEmpty() || QFileInfo(path).isDir()) return;
  path_ = path;
  seen_ = BytesOf(path);
  Rewatch();
}

void DiskWatch::Rewatch() {
  if (QFileInfo::exists(path_) && !watcher_.files().contains(path_)) watcher_.addPath(path_);
  QString folder = QFileInfo(path_).absolutePath();
  if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

void DiskWatch::Check() {
  if (path_.isEmpty()) return;
  std::optional<QByteArray> now = BytesOf(path_);
  Rewatch();
  if (now == seen_) return;
  const bool removed = !now && seen_;
  seen_ = now;
  if (removed) {
    emit removedFromDisk();
  } else {
    emit changedOnDisk();
  }
}
