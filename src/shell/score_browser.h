// The score file browser without its window: the listing of one directory
// (subdirectories, then score files shown with their titles), the map from a
// display line back to its entry, and the two paths the shell shares.
//
// In: a browse directory; the files in it; the command line's first
// parameter at start-up.
// Out: display lines, the entry each line shows, the chosen score file path.
// What can go wrong: a directory that cannot be read lists nothing more than
// what could be read (an unreadable directory gives an empty listing); a score
// file that cannot be read is listed by its name with no title. Listing
// always completes.
//
// Paths use "/" as the separator; the browse directory, once listed, is
// absolute, has no "." or ".." components and ends with "/".
#ifndef QUERN_SHELL_SCORE_BROWSER_H_
#define QUERN_SHELL_SCORE_BROWSER_H_

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// The title of a score text: the first line that starts with "#title"
// (case matters), followed by any one byte, then spaces and tabs, then a
// double quote, gives the bytes after that quote up to the next double quote
// or the end of the line. A "#title" line without the quote there does not
// count. No such line: an empty title.
std::string TitleFromText(std::string_view score_bytes);

// "%-20s%s": the name padded with spaces to 20 Shift-JIS bytes (its width in
// a fixed-pitch Japanese font), then the title. A name of 20 bytes or more is
// not cut and the title follows it directly.
QString DisplayLine(const QString& name, const QString& title);

// The display line of the score file name in directory (which ends with
// "/"): the title read from the file, decoded as the editor would decode the
// file. A file that cannot be read shows its name alone.
QString ReadTitle(const QString& directory, const QString& name);

// Absolute, "." and ".." resolved (by name, not through links), ending with
// "/". An empty directory is the working directory.
QString NormaliseBrowseDirectory(const QString& directory);

// "Quern File VIew[" + directory + "]".
QString BrowserCaption(const QString& directory);

struct BrowserEntry {
  QString name;     // plain name in the directory
  QString display;  // the line the list shows
};

// One listing: directories first ("[" + name + "]"), then score files
// (ReadTitle), each group sorted by the user locale's order ignoring case,
// comparing whole display lines.
//
// Directories: every subdirectory except hidden ones (a name starting with
// "."); ".." is listed like any other, except in the root directory. Score
// files: regular, not hidden, named *.qrn (the extension in any case).
struct Listing {
  QString directory;  // normalised
  std::vector<BrowserEntry> directories;
  std::vector<BrowserEntry> files;

  int DirectoryCount() const { return static_cast<int>(directories.size()); }
  int FileCount() const { return static_cast<int>(files.size()); }
  int LineCount() const { return DirectoryCount() + FileCount(); }
  QStringList DisplayLines() const;
  // The entry shown at a display line; nullptr outside the listing.
  const BrowserEntry* EntryAt(int line) const;
  bool IsDirectoryLine(int line) const { return line >= 0 && line < DirectoryCount(); }
};

Listing ListDirectory(const QString& directory);

// The browser's state between runs: the current file path, the browse
// directory, the last listing and the remembered selection.
class ScoreBrowser {
 public:
  // Start-up with the command line's first parameter: current file path :=
  // its absolute path; browse directory := that path up to and including its
  // last "/". The caller then loads current_file_path() (LoadFile).
  void StartWith(const QString& argument);

  const QString& current_file_path() const { return current_file_path_; }
  void set_current_file_path(const QString& path) { current_file_path_ = path; }
  const QString& browse_directory() const { return browse_directory_; }
  void set_browse_directory(const QString& directory) { browse_directory_ = directory; }

  // ListDirectory on the browse directory, which it normalises first; a
  // browse directory that does not exist becomes its nearest existing
  // parent. Run each time the window is shown.
  const Listing& Refresh();
  const Listing& listing() const { return listing_; }

  // The line to select after Refresh: the remembered selection when the
  // listing has such a line, else -1.
  int SelectionToShow() const;

  struct Choice {
    enum Kind { kNothing, kEnteredDirectory, kChoseFile } kind = kNothing;
    QString path;  // kChoseFile: browse directory + file name
  };
  // A double-click or Enter on a line (-1: none selected). A directory line
  // enters that directory (remembered selection := 0, listing refreshed); a
  // file line ends the run with its path.
  Choice OpenSelected(int line);

  // The window closes, however the run ended: remembered selection := line.
  void Close(int selected_line) { remembered_selection_ = selected_line < 0 ? -1 : selected_line; }
  int remembered_selection() const { return remembered_selection_; }

 private:
  QString current_file_path_;
  QString browse_directory_;
  Listing listing_;
  int remembered_selection_ = -1;
};

#endif  // QUERN_SHELL_SCORE_BROWSER_H_
