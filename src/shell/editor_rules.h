// The main window's rules that need no window: which commands are enabled,
// where an .xrt file goes, where a report position is in the editor's text,
// and the text handed to the compiler.
//
// In: plain values the window reads from its widgets; the editor's text as
// its widget gives it (lines separated by "\n").
// Out: plain values the window applies. Nothing here can fail.
#ifndef QUERN_SHELL_EDITOR_RULES_H_
#define QUERN_SHELL_EDITOR_RULES_H_

#include <QString>

#include <optional>
#include <string>
#include <string_view>

#include "shell/text_codec.h"

// Last severity before anything was compiled. A compilation succeeded when
// the last severity is 2 or less.
inline constexpr int kNothingCompiled = 99;
inline bool SongIsReady(int last_severity) {
  return last_severity <= 2;
}

// What UpdateCommandStates reads: the text state, the song state, and the
// present enabled state of each group's first member (SpeedButton2 for the
// Save group, OutputXRT1 for the song group).
struct CommandStateInputs {
  bool text_modified = false;
  int last_severity = kNothingCompiled;
  bool save_group_enabled = false;  // SpeedButton2
  bool song_group_enabled = false;  // OutputXRT1
};

// For each group, the state to give all its members, or nothing when the
// group is to be left alone. Save group: Save1, SpeedButton2, enabled exactly
// when the text is modified. Song group: OutputXRT1, Play1, Stop1,
// SpeedButton4, enabled exactly when the song is ready.
struct CommandStateChanges {
  std::optional<bool> save_group;
  std::optional<bool> song_group;
  bool operator==(const CommandStateChanges&) const = default;
};

CommandStateChanges UpdateCommandStates(const CommandStateInputs& in);

// The .xrt path of a score path: the file name's own extension (from its last
// ".") is replaced by ".xrt"; a name without one gets ".xrt" appended. A dot
// in a directory name never counts. A path that ends with a separator (the
// browse directory after New) gives ".xrt" in that directory; an empty path
// gives ".xrt" in the working directory.
std::string MakeXrtPath(std::string_view score_path);
QString MakeXrtPath(const QString& score_path);
inline std::string MakeXrtPath(const char* score_path) {
  return MakeXrtPath(std::string_view(score_path));
}

// The position in the editor's text (a QString index, which is what
// QTextCursor::setPosition takes) of a report position: line and column
// count from 0, and the column counts Shift-JIS bytes from the line's start.
// As in the report, every line counts its bytes plus 2 for its CR LF, and a
// column beyond its line runs on into the following lines. A position past
// the end gives the end of the text; a column that falls inside a double-byte
// character (or inside a line break) gives the start of that character.
// Negative numbers count as 0.
int JumpToPositionOffset(const QString& editor_text, int line, int column);

// The text CompileText hands to CompileScore: every line of the editor
// followed by CR LF, then two empty lines (CR LF twice more), in Shift-JIS.
// The lines are those of the editor: a text that ends with a line break has
// no further empty line after it. Characters without a Shift-JIS form become
// "?" and are counted, with the place of the first one. With the format the
// file was read in, unchanged lines of a Shift-JIS file compile from the
// file's own bytes (its encoding is not looked at: the compiler reads
// Shift-JIS).
EncodedScore MakeCompileText(const QString& editor_text, const ScoreFormat& format = {});

// The message window's line after a successful compilation:
// "Object Size : " + size in decimal + " bytes".
std::string ObjectSizeLine(long long size);

// What the status bar says when a jump (to a report line, to a line) lands
// on a character that looks like one a command is written with but is its
// full-width form, typed by mistake through an input method: the full-width
// space U+3000, or a full-width letter, digit or sign (U+FF01 to U+FF5E).
// Empty for every other character, and beyond the line's end.
QString FullWidthNotice(const QString& line, int index);

#endif  // QUERN_SHELL_EDITOR_RULES_H_
