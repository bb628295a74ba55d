#include "shell/qt/recent_files.h"

#include <QDir>
#include <QFileInfo>

#include "shell/settings.h"

QStringList WithRecentFile(const QStringList& files, const QString& path) {
  QStringList list = files;
  list.removeAll(path);
  list.prepend(path);
  return list.mid(0, kMaxRecentFiles);
}

RecentFilesMenu::RecentFilesMenu(QWidget* parent)
    : QMenu(QStringLiteral("最近使ったファイル(&R)"), parent) {
  setObjectName(QStringLiteral("Recent1"));
  Rebuild();
}

void RecentFilesMenu::SetFiles(const QStringList& files) {
  files_ = files.mid(0, kMaxRecentFiles);
  Rebuild();
}

void RecentFilesMenu::Add(const QString& path) {
  if (path.isEmpty()) return;
  files_ = WithRecentFile(files_, QFileInfo(path).absoluteFilePath());
  Rebuild();
}

void RecentFilesMenu::Remove(const QString& path) {
  files_.removeAll(path);
  Rebuild();
}

void RecentFilesMenu::Rebuild() {
  clear();
  for (int i = 0; i < files_.size(); ++i) {
    const QString path = files_[i];
    QString label = QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path));
    label.replace(QStringLiteral("&"), QStringLiteral("&&")).remove(0, 1);  // keep only our own &
    addAction(label, this, [this, path] { emit openRequested(path); });
  }
  setEnabled(!files_.isEmpty());
}
