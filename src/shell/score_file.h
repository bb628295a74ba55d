// Reading and writing score files and other files of the editor.
//
// In: a path; for a save, the editor's text and the format it was read in.
// Out: the decoded text (see text_codec.h), or whether the file was written.
// What can go wrong:
// - a file that cannot be read: ReadScoreFile gives nothing, and the editor
//   loads nothing and says nothing;
// - a text holding characters the file's encoding cannot hold: SaveScoreFile
//   refuses (SaveOutcome::kWouldLoseCharacters) unless the caller passes
//   allow_loss, so that the editor can ask first or offer UTF-8;
// - a file that cannot be written: kFailed with the system's reason; the old
//   file stays as it was, because every write goes to a temporary file that
//   replaces the target only when it is complete (QSaveFile). Where the
//   folder lets no temporary file be made but the file itself is writable,
//   the file is written in place instead; a failure of that write is
//   reported the same way.
#ifndef QUERN_SHELL_SCORE_FILE_H_
#define QUERN_SHELL_SCORE_FILE_H_

#include <QString>

#include <optional>
#include <string>
#include <string_view>

#include "shell/text_codec.h"

// The whole file, or nothing when it cannot be opened and read.
std::optional<std::string> ReadFileBytes(const QString& path);

std::optional<DecodedScore> ReadScoreFile(const QString& path);

enum class SaveOutcome { kSaved, kWouldLoseCharacters, kFailed };

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kFailed;
  int unencodable = 0;  // with kWouldLoseCharacters (or kSaved with allow_loss)
  TextPlace first_unencodable;
  QString error;      // with kFailed: the system's reason
  std::string bytes;  // with kSaved: the bytes the file now holds
};

SaveResult SaveScoreFile(const QString& path, const QString& text, const ScoreFormat& format,
                         bool allow_loss = false);

// Writes bytes to path through a temporary file and a rename. Used for
// .xrt files too. On failure returns false and puts the reason in *error.
bool WriteFileAtomically(const QString& path, std::string_view bytes, QString* error = nullptr);

#endif  // QUERN_SHELL_SCORE_FILE_H_
