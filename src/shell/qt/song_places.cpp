#include "shell/qt/song_places.h"

#include <algorithm>
#include <cstring>

#include "files/score_text.h"

namespace {

// The character index in text of a Shift-JIS byte column (a column inside a
// double-byte character gives that character).
int CharIndexOfColumn(QStringView text, int column) {
  int bytes = 0;
  int i = 0;
  while (i < text.size()) {
    char32_t c = text[i].unicode();
    int units = 1;
    if (text[i].isHighSurrogate() && i + 1 < text.size()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      units = 2;
    }
    const int width = ShiftJisLength(c);
    if (bytes + width > column) break;
    bytes += width;
    i += units;
  }
  return i;
}

// How many characters from `at` make up the note or call written there: a
// call's "%" and name; a note's "~"/"_" prefixes with their numbers, the
// letter, and the accidental and length behind it. At least one.
int NoteTokenLength(QStringView text, int at) {
  int i = at;
  auto is = [&](const char* set) {
    return i < text.size() && text[i].unicode() < 128 && std::strchr(set, text[i].toLatin1());
  };
  if (is("%")) {  // a macro call: "%" and the name
    ++i;
    while (i < text.size() && text[i].isLetterOrNumber()) ++i;
    return i - at;
  }
  while (is("~_0123456789")) ++i;
  if (is("abcdefgABCDEFG")) ++i;
  while (is("+-=0123456789.^")) ++i;
  return std::max(i - at, 1);
}

}  // namespace

std::shared_ptr<SongPlaces> SongPlaces::Take(QTextDocument* document, SourceMap map) {
  return std::shared_ptr<SongPlaces>(new SongPlaces(document, std::move(map)));
}

SongPlaces::SongPlaces(QTextDocument* document, SourceMap map)
    : document_(document), map_(std::move(map)) {
  if (!document) return;
  text_ = document->toPlainText();
  line_starts_.push_back(0);
  for (int i = 0; i < text_.size(); ++i) {
    if (text_[i] == QLatin1Char('\n')) line_starts_.push_back(i + 1);
  }
  connect(
      document, &QTextDocument::contentsChange, this,
      [this](int position, int removed, int added) { trail_.Record(position, removed, added); });
}

std::optional<QTextCursor> SongPlaces::Mark(SourcePlace place) const {
  if (!document_ || place.line < 0 || place.line >= static_cast<int>(line_starts_.size())) {
    return std::nullopt;
  }
  const int start = line_starts_[place.line];
  const int end = place.line + 1 < static_cast<int>(line_starts_.size())
                      ? line_starts_[place.line + 1] - 1
                      : static_cast<int>(text_.size());
  const QStringView line = QStringView(text_).mid(start, end - start);
  const int at = CharIndexOfColumn(line, std::max(place.column, 0));
  if (at >= line.size()) return std::nullopt;
  const int length = std::min<int>(NoteTokenLength(line, at), line.size() - at);
  const std::optional<TextRange> now = trail_.Forward(TextRange{start + at, start + at + length});
  const int last = document_->characterCount() - 1;
  if (!now || now->stop > last) return std::nullopt;
  QTextCursor cursor(document_);
  cursor.setPosition(now->start);
  cursor.setPosition(now->stop, QTextCursor::KeepAnchor);
  // Text typed at the mark's end stays outside it; the anchor at its start
  // moves on with text typed there.
  cursor.setKeepPositionOnInsert(true);
  return cursor;
}

std::optional<int> SongPlaces::CompiledLine(int position) const {
  const std::optional<int> base = trail_.Back(position);
  if (!base) return std::nullopt;
  const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), *base);
  return static_cast<int>(after - line_starts_.begin()) - 1;
}
