#include "shell/qt/note_text.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <cstring>

#include "shell/text_codec.h"

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

int ShiftJisColumns(QStringView text) {
  int column = 0;
  for (char32_t c : text.toUcs4()) column += ShiftJisLength(c);
  return column;
}

SourcePlace PlaceOfPosition(const QTextDocument* document, int position) {
  const QTextBlock block = document->findBlock(position);
  return SourcePlace{block.blockNumber(),
                     ShiftJisColumns(QStringView(block.text()).left(position - block.position()))};
}
