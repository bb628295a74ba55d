// The token classes of the score language, as the editor colours them and as
// the language server hands them to other editors.
//
// In: one line of score text in UTF-16 code units (without its line break),
//   and whether a block comment is open at its start.
// Out: runs of code units with their class, in rising order, never
//   overlapping; code units in no run have no class. Whether a block comment
//   is still open at the line's end.
// Works line by line, as the compiler classifies lines: a line is score text
//   only when its first character is a capital letter or one of @ % + *;
//   header lines start with #, and every other line is a comment. Block
//   comments /* ... */ may run over several lines. Character classes are
//   ASCII only: other characters (both units of a surrogate pair included)
//   have no class inside score text.
// Nothing fails. Thread: any; no state beyond the arguments.
#ifndef QUERN_SYNTAX_SCORE_CLASSES_H_
#define QUERN_SYNTAX_SCORE_CLASSES_H_

#include <cstdint>
#include <string_view>
#include <vector>

enum class ScoreClass : uint8_t {
  kComment,
  kHeader,
  kTrack,         // the track name at a line's start
  kMacro,         // the sign and name of a macro line
  kCommon,        // the sign and letter set of a common line
  kContinuation,  // the "+" of a continuation line
  kNote,          // a b c d e f g, and the rest r
  kCommand,
  kNumber,
  kLoop,       // [ ] / |
  kQuoted,     // "phase"
  kBytes,      // { ... }
  kAttribute,  // a name of capital and small letters
  kMacroUse,   // %NAME or @NAME in a body
};
constexpr int kScoreClassCount = 14;

struct ClassRun {
  int start = 0;   // code units from the line's start
  int length = 0;  // code units
  ScoreClass score_class = ScoreClass::kComment;
};

std::vector<ClassRun> ClassifyScoreLine(std::u16string_view line, bool* in_block_comment);

#endif  // QUERN_SYNTAX_SCORE_CLASSES_H_
