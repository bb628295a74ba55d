#include "lsp/document.h"

#include <algorithm>

#include "lsp/text_lines.h"

void Document::Split() {
  lines_.clear();
  for (std::string_view line : SplitTextLines(text_)) {
    lines_.emplace_back(static_cast<size_t>(line.data() - text_.data()), line.size());
  }
}

void Document::Replace(std::string text, int version) {
  text_ = std::move(text);
  version_ = version;
  Split();
}

std::string_view Document::Line(int line) const {
  if (line < 0 || line >= LineCount()) return {};
  const auto [offset, length] = lines_[static_cast<size_t>(line)];
  return std::string_view(text_).substr(offset, length);
}

bool Document::Contains(const TextPosition& position) const {
  return position.line >= 0 && position.line < LineCount() && position.character >= 0 &&
         position.character <= Utf16Length(Line(position.line));
}

size_t Document::Offset(const TextPosition& position) const {
  if (position.line < 0) return 0;
  if (position.line >= LineCount()) return text_.size();
  const std::string_view line = Line(position.line);
  return lines_[static_cast<size_t>(position.line)].first +
         ByteOfUtf16(line, std::max(position.character, 0));
}

void Document::Edit(const TextRange& range, std::string_view text, int version) {
  const size_t start = Offset(range.start);
  const size_t end = std::max(start, Offset(range.end));
  text_.replace(start, end - start, text);
  version_ = version;
  Split();
}
