// The named parts of a document: track lines, macro lines, common lines and
// macro calls, found by the same token classes the editor colours
// (syntax/score_classes.h), so what is coloured as a macro call is what
// navigation finds.
//
// In: a document.
// Out: the classes of every line; every track, macro and common line with
//   its name's range, and every macro call with its name's range (the sign
//   not included), in document order; the tracks a common line selects (the
//   compiler's letter sets).
// Nothing fails. Thread: any; no state beyond the arguments.
#ifndef QUERN_LSP_SCORE_OUTLINE_H_
#define QUERN_LSP_SCORE_OUTLINE_H_

#include <string>
#include <vector>

#include "lsp/document.h"
#include "syntax/score_classes.h"

struct OutlineItem {
  enum Kind { kTrack, kMacro, kCommon, kCall };
  Kind kind = kTrack;
  std::string name;  // track or macro name; a common line's letter set
  int line = 0;
  TextRange sign_and_name;  // with "%", "@" or "*"
  TextRange name_range;     // the name alone
};

// What the answers look up in one version of a document, read in one pass.
struct ScoreIndex {
  // The classes of every line, block comments carried from line to line.
  std::vector<std::vector<ClassRun>> classes;
  std::vector<OutlineItem> items;
};

ScoreIndex IndexScore(const Document& document);

// Whether a common line is read by the track; after_star: the line's text
// behind its "*".
bool CommonSelects(std::string_view after_star, const std::string& track);

#endif  // QUERN_LSP_SCORE_OUTLINE_H_
