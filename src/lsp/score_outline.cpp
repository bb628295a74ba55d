#include "lsp/score_outline.h"

#include "compiler/reader/reader_internal.h"
#include "lsp/text_lines.h"

namespace {

std::string Utf8Of(std::u16string_view units) {
  std::string out;
  for (char16_t c : units) out += static_cast<char>(c);  // names are ASCII
  return out;
}

}  // namespace

ScoreIndex IndexScore(const Document& document) {
  ScoreIndex index;
  std::vector<OutlineItem>& items = index.items;
  index.classes.reserve(static_cast<size_t>(document.LineCount()));
  bool in_block_comment = false;
  for (int line = 0; line < document.LineCount(); ++line) {
    const std::u16string text = ToUtf16(document.Line(line));
    index.classes.push_back(ClassifyScoreLine(text, &in_block_comment));
    for (const ClassRun& run : index.classes.back()) {
      OutlineItem item;
      int sign = 1;
      switch (run.score_class) {
        case ScoreClass::kTrack:
          item.kind = OutlineItem::kTrack;
          sign = 0;
          break;
        case ScoreClass::kMacro:
          item.kind = OutlineItem::kMacro;
          break;
        case ScoreClass::kCommon:
          item.kind = OutlineItem::kCommon;
          break;
        case ScoreClass::kMacroUse:
          item.kind = OutlineItem::kCall;
          break;
        default:
          continue;
      }
      item.line = line;
      item.name = Utf8Of(std::u16string_view(text).substr(static_cast<size_t>(run.start + sign),
                                                          static_cast<size_t>(run.length - sign)));
      item.sign_and_name = {{line, run.start}, {line, run.start + run.length}};
      item.name_range = {{line, run.start + sign}, {line, run.start + run.length}};
      items.push_back(std::move(item));
    }
  }
  return index;
}

bool CommonSelects(std::string_view after_star, const std::string& track) {
  if (track.empty()) return false;
  int error_offset = -1;
  const std::string text(after_star);
  const uint32_t set = CommonLetterSet(text.c_str(), &error_offset);
  const int letter = track[0] - 'A';
  return letter >= 0 && letter < 26 && (set & (uint32_t{1} << letter)) != 0;
}
