#include "shell/score_browser.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

#include "shell/score_file.h"
#include "shell/text_codec.h"

namespace {

constexpr int kNameWidth = 20;

// Hidden entries (on Unix, names that start with "."); ".." never is.
bool IsHidden(const QFileInfo& info) {
  return info.isHidden() && info.fileName() != u"..";
}

// Sorts entries by display line in the user locale's order, ignoring case.
void SortEntries(std::vector<BrowserEntry>& entries) {
  QCollator collator{QLocale()};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const BrowserEntry& a, const BrowserEntry& b) {
                     return collator.compare(a.display, b.display) < 0;
                   });
}

bool IsRoot(const QString& directory) {
  return QDir(directory).isRoot();
}

}  // namespace

std::string TitleFromText(std::string_view text) {
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.starts_with("#title")) continue;
    // Pass over the byte after "#title" whatever it is, then blanks.
    size_t i = 7;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] != '"') continue;
    std::string_view title = line.substr(i + 1);
    return std::string(title.substr(0, title.find('"')));
  }
  return {};
}

QString DisplayLine(const QString& name, const QString& title) {
  // The name's width as the Shift-JIS bytes it would take.
  int width = 0;
  for (QChar ch : name) {
    if (!ch.isLowSurrogate()) width += ShiftJisLength(ch.unicode());
  }
  QString line = name;
  if (width < kNameWidth) line += QString(kNameWidth - width, u' ');
  return line + title;
}

QString ReadTitle(const QString& directory, const QString& name) {
  std::optional<std::string> bytes = ReadFileBytes(directory + name);
  if (!bytes) return DisplayLine(name, QString());
  std::string_view text(*bytes);
  bool utf8 = LooksLikeUtf8(text);
  // A UTF-8 file's byte-order mark is no part of its first line.
  if (utf8 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string title = TitleFromText(text);
  QString decoded = utf8 ? QString::fromStdString(title) : DecodeShiftJis(title);
  return DisplayLine(name, decoded);
}

QString NormaliseBrowseDirectory(const QString& directory) {
  QString absolute = directory.isEmpty() ? QDir::currentPath() : QDir(directory).absolutePath();
  QString clean = QDir::cleanPath(absolute);
  if (!clean.endsWith(u'/')) clean += u'/';
  return clean;
}

QString BrowserCaption(const QString& directory) {
  return QStringLiteral("Quern File VIew[") + directory + u']';
}

QStringList Listing::DisplayLines() const {
  QStringList lines;
  for (const BrowserEntry& e : directories) lines << e.display;
  for (const BrowserEntry& e : files) lines << e.display;
  return lines;
}

const BrowserEntry* Listing::EntryAt(int line) const {
  if (line < 0 || line >= LineCount()) return nullptr;
  if (line < DirectoryCount()) return &directories[line];
  return &files[line - DirectoryCount()];
}

Listing ListDirectory(const QString& directory) {
  Listing listing;
  listing.directory = NormaliseBrowseDirectory(directory);
  QDir dir(listing.directory);
  // Directories: ".." is listed like any other, except in the root; "." and
  // hidden ones are left out. Symbolic links to directories count as
  // directories.
  const QFileInfoList dirs =
      dir.entryInfoList(QDir::Dirs | QDir::NoDot | QDir::Hidden | QDir::System, QDir::NoSort);
  for (const QFileInfo& info : dirs) {
    QString name = info.fileName();
    if (IsHidden(info) || (name == u".." && IsRoot(listing.directory))) continue;
    listing.directories.push_back({name, u'[' + name + u']'});
  }
  // A directory that cannot be read lists nothing; its ".." line is kept,
  // so that the user can walk back out of it.
  if (dirs.isEmpty() && dir.exists() && !IsRoot(listing.directory)) {
    listing.directories.push_back({QStringLiteral(".."), QStringLiteral("[..]")});
  }
  // Score files: regular, not hidden, ending in ".qrn" in any case.
  const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::NoSort);
  for (const QFileInfo& info : files) {
    QString name = info.fileName();
    if (IsHidden(info) || !info.isFile() || !name.endsWith(u".qrn", Qt::CaseInsensitive)) continue;
    listing.files.push_back({name, ReadTitle(listing.directory, name)});
  }
  SortEntries(listing.directories);
  SortEntries(listing.files);
  return listing;
}

void ScoreBrowser::StartWith(const QString& argument) {
  QString full = QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
  if (argument.endsWith(u'/') && !full.endsWith(u'/')) full += u'/';
  current_file_path_ = full;
  browse_directory_ = full.left(full.lastIndexOf(u'/') + 1);
}

const Listing& ScoreBrowser::Refresh() {
  browse_directory_ = NormaliseBrowseDirectory(browse_directory_);
  // A directory that does not exist (a command-line file in a folder not yet
  // made, a folder removed since) would list nothing, not even "..", and
  // leave no way out: list the nearest folder that exists instead.
  QString existing = QDir::cleanPath(browse_directory_);
  while (!QFileInfo(existing).isDir()) {
    QString parent = QFileInfo(existing).path();
    if (parent == existing) break;
    existing = parent;
  }
  browse_directory_ = NormaliseBrowseDirectory(existing);
  listing_ = ListDirectory(browse_directory_);
  return listing_;
}

int ScoreBrowser::SelectionToShow() const {
  return remembered_selection_ >= 0 && remembered_selection_ < listing_.LineCount()
             ? remembered_selection_
             : -1;
}

ScoreBrowser::Choice ScoreBrowser::OpenSelected(int line) {
  Choice choice;
  const BrowserEntry* entry = listing_.EntryAt(line);
  if (!entry) return choice;
  if (listing_.IsDirectoryLine(line)) {
    browse_directory_ = listing_.directory + entry->name + u'/';
    remembered_selection_ = 0;
    Refresh();
    choice.kind = Choice::kEnteredDirectory;
    choice.path = browse_directory_;
  } else {
    choice.kind = Choice::kChoseFile;
    choice.path = listing_.directory + entry->name;
  }
  return choice;
}
