#include "shell/qt/disk_watch.h"

#include <QFile>
#include <QFileInfo>

DiskWatch::DiskWatch(QObject* parent) : QObject(parent) {
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DiskWatch::Check);
  // A file replaced by renaming another over it is watched again through
  // its folder.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DiskWatch::Check);
  look_timer_.setSingleShot(true);
  look_timer_.setInterval(kLookMs);
  connect(&look_timer_, &QTimer::timeout, this, &DiskWatch::Look);
}

DiskWatch::~DiskWatch() = default;

void DiskWatch::Watch(const QString& path, std::optional<std::string> held) {
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  look_timer_.stop();
  path_.clear();
  seen_.reset();
  settle_.reset();
  probe_.reset();
  if (path.isEmpty() || QFileInfo(path).isDir()) return;
  path_ = path;
  seen_ = std::move(held);
  probe_ = std::make_unique<DiskProbe>(QFile::encodeName(path).toStdString());
  settle_ = std::make_unique<SettledRead>(probe_.get());
  Rewatch();
  Check();
}

void DiskWatch::Rewatch() {
  if (QFileInfo::exists(path_) && !watcher_.files().contains(path_)) watcher_.addPath(path_);
  QString folder = QFileInfo(path_).absolutePath();
  if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

void DiskWatch::Check() {
  if (path_.isEmpty()) return;
  settle_->Restart();
  if (!look_timer_.isActive()) look_timer_.start();
}

void DiskWatch::Look() {
  // Armed before the look, so that a write after it is noticed.
  Rewatch();
  switch (settle_->Look()) {
    case SettledRead::Result::kWait:
      look_timer_.start();
      return;
    case SettledRead::Result::kUnreadable:
      return;
    case SettledRead::Result::kGone:
      if (!seen_) return;
      seen_.reset();
      emit removedFromDisk();
      return;
    case SettledRead::Result::kSettled:
      if (seen_ == settle_->Bytes()) return;
      seen_ = settle_->Bytes();
      emit changedOnDisk();
      return;
  }
}
