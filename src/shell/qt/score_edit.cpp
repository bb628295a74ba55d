#include "shell/qt/score_edit.h"

#include <QKeyEvent>
#include <QTextBlock>

ScoreEdit::ScoreEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ScoreEdit::RenewLineMarks);
  connect(this, &QPlainTextEdit::textChanged, this, &ScoreEdit::RenewLineMarks);
}

void ScoreEdit::SetColors(const QColor& text, const QColor& background) {
  QPalette p = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::Base, background);
    // The selection looks the same with and without the focus.
    p.setColor(group, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(group, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
  }
  setPalette(p);
  RenewLineMarks();
}

void ScoreEdit::MarkDiagnosticLine(int line) {
  diagnostic_line_ = line;
  RenewLineMarks();
}

void ScoreEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    emit escapePressed();
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void ScoreEdit::RenewLineMarks() {
  QList<QTextEdit::ExtraSelection> marks;
  QColor base = palette().color(QPalette::Base);
  bool dark = base.lightness() < 128;

  QTextEdit::ExtraSelection caret_line;
  caret_line.format.setBackground(dark ? base.lighter(130) : base.darker(106));
  caret_line.format.setProperty(QTextFormat::FullWidthSelection, true);
  caret_line.cursor = textCursor();
  caret_line.cursor.clearSelection();
  marks.append(caret_line);

  QTextBlock block = document()->findBlockByNumber(diagnostic_line_);
  if (diagnostic_line_ >= 0 && block.isValid()) {
    QTextEdit::ExtraSelection diagnostic;
    diagnostic.format.setBackground(dark ? QColor(0x70, 0x30, 0x30) : QColor(0xff, 0xdc, 0xdc));
    diagnostic.format.setProperty(QTextFormat::FullWidthSelection, true);
    diagnostic.cursor = QTextCursor(block);
    marks.append(diagnostic);
  }
  marks.append(playhead_marks_);
  setExtraSelections(marks);
}

void ScoreEdit::SetPlayheadMarks(const QList<QTextEdit::ExtraSelection>& marks) {
  playhead_marks_ = marks;
  RenewLineMarks();
}
