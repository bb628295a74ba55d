#include "shell/qt/score_highlighter.h"

#include "shell/qt/colors.h"
#include "syntax/score_classes.h"

namespace {

enum BlockState { kNormal = 0, kInBlockComment = 1 };

QTextCharFormat Format(QColor color, bool bold = false, bool italic = false) {
  QTextCharFormat format;
  format.setForeground(color);
  if (bold) format.setFontWeight(QFont::Bold);
  if (italic) format.setFontItalic(true);
  return format;
}

}  // namespace

ScoreHighlighter::ScoreHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  SetColors(Qt::black, Qt::white);
}

void ScoreHighlighter::SetColors(const QColor& text, const QColor& background) {
  // The designed colours suit black text on white; each keeps its hue on
  // other backgrounds, made lighter or darker until it reads there and on
  // the caret's and the diagnostic's line marks. Notes are the text itself
  // and take the text colour.
  const QList<QColor> backgrounds = TokenBackgrounds(text, background);
  auto format = [&](QColor designed, bool bold = false, bool italic = false) {
    return Format(ReadableColor(designed, backgrounds, text), bold, italic);
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
  bool in_block_comment = previousBlockState() == kInBlockComment;
  const std::u16string_view line(reinterpret_cast<const char16_t*>(text.utf16()),
                                 static_cast<size_t>(text.size()));
  const QTextCharFormat* formats[kScoreClassCount] = {
      &comment_, &header_, &track_, &macro_,  &common_, &continuation_, &note_,
      &command_, &number_, &loop_,  &quoted_, &bytes_,  &attribute_,    &macro_use_};
  for (const ClassRun& run : ClassifyScoreLine(line, &in_block_comment)) {
    setFormat(run.start, run.length, *formats[static_cast<int>(run.score_class)]);
  }
  setCurrentBlockState(in_block_comment ? kInBlockComment : kNormal);
}
