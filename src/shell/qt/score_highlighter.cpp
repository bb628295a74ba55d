#include "shell/qt/score_highlighter.h"

#include "shell/qt/colors.h"

namespace {

enum BlockState { kNormal = 0, kInBlockComment = 1 };

bool IsUpper(QChar c) {
  return c >= u'A' && c <= u'Z';
}
bool IsLetter(QChar c) {
  return IsUpper(c) || (c >= u'a' && c <= u'z');
}
bool IsDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}
bool IsHexDigit(QChar c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool IsNameChar(QChar c) {
  return IsLetter(c) || IsDigit(c) || c == u'_';
}

QTextCharFormat Format(QColor color, bool bold = false, bool italic = false) {
  QTextCharFormat format;
  format.setForeground(color);
  if (bold) format.setFontWeight(QFont::Bold);
  if (italic) format.setFontItalic(true);
  return format;
}

int RunEnd(const QString& text, int i, bool (*in_run)(QChar)) {
  while (i < text.size() && in_run(text[i])) ++i;
  return i;
}

}  // namespace

ScoreHighlighter::ScoreHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  SetColors(Qt::black, Qt::white);
}

void ScoreHighlighter::SetColors(const QColor& text, const QColor& background) {
  // The designed colours suit black text on white; each keeps its hue on
  // other backgrounds, made lighter or darker until it reads. Notes are the
  // text itself and take the text colour.
  auto format = [&](QColor designed, bool bold = false, bool italic = false) {
    return Format(ReadableColor(designed, background, text), bold, italic);
  };
  comment_ = format(QColor(0x6a, 0x8a, 0x5a), false, true);
  header_ = format(QColor(0x9a, 0x40, 0x9a), true);
  track_ = format(QColor(0x1a, 0x4f, 0xa8), true);
  macro_ = format(QColor(0x8a, 0x3a, 0x10), true);
  common_ = format(QColor(0x00, 0x7a, 0x7a), true);
  continuation_ = format(QColor(0x1a, 0x4f, 0xa8), true);
  note_ = format(text);
  command_ = format(QColor(0x1a, 0x4f, 0xa8));
  number_ = format(QColor(0xa0, 0x30, 0x30));
  loop_ = format(QColor(0xc0, 0x60, 0x00), true);
  quoted_ = format(QColor(0x00, 0x80, 0x40));
  bytes_ = format(QColor(0x70, 0x50, 0xa0));
  attribute_ = format(QColor(0x00, 0x6a, 0x9a), true);
  macro_use_ = format(QColor(0x8a, 0x3a, 0x10));
  rehighlight();
}

QList<QTextCharFormat> ScoreHighlighter::ClassFormats() const {
  return {comment_, header_, track_, macro_,  common_, continuation_, note_,
          command_, number_, loop_,  quoted_, bytes_,  attribute_,    macro_use_};
}

void ScoreHighlighter::highlightBlock(const QString& text) {
  setCurrentBlockState(kNormal);
  int from = 0;
  if (previousBlockState() == kInBlockComment) {
    int end = text.indexOf(QStringLiteral("*/"));
    if (end < 0) {
      setFormat(0, text.size(), comment_);
      setCurrentBlockState(kInBlockComment);
      return;
    }
    setFormat(0, end + 2, comment_);
    from = end + 2;
  } else {
    from = HighlightLineStart(text);
    if (from < 0) return;
  }
  HighlightBody(text, from);
}

// Colours the line's sign and name; returns where the body starts, or -1
// for a line that is no score text.
int ScoreHighlighter::HighlightLineStart(const QString& text) {
  if (text.isEmpty()) return -1;
  QChar first = text[0];
  if (first == u'#') {
    setFormat(0, text.size(), header_);
    return -1;
  }
  if (IsUpper(first)) {
    int end = RunEnd(text, 0, IsNameChar);
    setFormat(0, end, track_);
    return end;
  }
  if (first == u'%' || first == u'@') {
    int end = RunEnd(text, 1, IsNameChar);
    setFormat(0, end, macro_);
    return end;
  }
  if (first == u'*') {
    int end = RunEnd(text, 1, [](QChar c) { return IsUpper(c) || c == u'-' || c == u'~'; });
    setFormat(0, end, common_);
    return end;
  }
  if (first == u'+') {
    setFormat(0, 1, continuation_);
    return 1;
  }
  setFormat(0, text.size(), comment_);
  return -1;
}

void ScoreHighlighter::HighlightBody(const QString& text, int i) {
  int byte_list_depth = 0;
  while (i < text.size()) {
    QChar c = text[i];
    int start = i;
    if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'/') {
      setFormat(i, text.size() - i, comment_);
      return;
    }
    if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
      int end = text.indexOf(QStringLiteral("*/"), i + 2);
      if (end < 0) {
        setFormat(i, text.size() - i, comment_);
        setCurrentBlockState(kInBlockComment);
        return;
      }
      setFormat(i, end + 2 - i, comment_);
      i = end + 2;
      continue;
    }
    if (c == u'"') {
      int end = text.indexOf(u'"', i + 1);
      end = end < 0 ? text.size() : end + 1;
      setFormat(i, end - i, quoted_);
      i = end;
      continue;
    }
    if (IsDigit(c)) {
      i = RunEnd(text, i, IsDigit);
      setFormat(start, i - start, number_);
      continue;
    }
    if (c == u'$' && i + 1 < text.size() && IsHexDigit(text[i + 1])) {
      i = RunEnd(text, i + 1, IsHexDigit);
      setFormat(start, i - start, number_);
      continue;
    }
    if (IsUpper(c)) {
      i = RunEnd(text, i, IsLetter);
      setFormat(start, i - start, attribute_);
      continue;
    }
    if ((c == u'%' || c == u'@') && i + 1 < text.size() && IsLetter(text[i + 1])) {
      i = RunEnd(text, i + 1, [](QChar ch) { return IsLetter(ch) || IsDigit(ch); });
      setFormat(start, i - start, macro_use_);
      continue;
    }
    if (c == u'{') ++byte_list_depth;
    if (byte_list_depth > 0) {
      setFormat(i, 1, bytes_);
      if (c == u'}') --byte_list_depth;
      ++i;
      continue;
    }
    if (c == u'[' || c == u']' || c == u'/' || c == u'|') {
      setFormat(i, 1, loop_);
    } else if (QStringLiteral("abcdefgr").contains(c)) {
      setFormat(i, 1, note_);
    } else if (IsLetter(c) || QStringLiteral("<>@").contains(c)) {
      setFormat(i, 1, command_);
    }
    ++i;
  }
}
