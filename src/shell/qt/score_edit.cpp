#include "shell/qt/score_edit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTextBlock>

namespace {

// The gutter beside the text; the editor paints it.
class Gutter : public QWidget {
 public:
  explicit Gutter(ScoreEdit* edit) : QWidget(edit), edit_(edit) {
    setObjectName(QStringLiteral("LineNumbers"));
  }
  QSize sizeHint() const override { return QSize(edit_->LineNumberAreaWidth(), 0); }

 protected:
  void paintEvent(QPaintEvent* event) override { edit_->PaintLineNumbers(event); }

 private:
  ScoreEdit* edit_;
};

}  // namespace

ScoreEdit::ScoreEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ScoreEdit::RenewLineMarks);
  connect(this, &QPlainTextEdit::textChanged, this, &ScoreEdit::RenewLineMarks);
  gutter_ = new Gutter(this);
  gutter_->hide();
  connect(this, &QPlainTextEdit::blockCountChanged, this, &ScoreEdit::UpdateGutterWidth);
  connect(this, &QPlainTextEdit::updateRequest, this, &ScoreEdit::UpdateGutter);
}

void ScoreEdit::SetLineNumbersVisible(bool visible) {
  line_numbers_visible_ = visible;
  gutter_->setVisible(visible);
  UpdateGutterWidth();
}

int ScoreEdit::LineNumberAreaWidth() const {
  if (!line_numbers_visible_) return 0;
  // Room for the last line's number (counted from 0), at least two digits.
  int digits = QString::number(std::max(1, blockCount() - 1)).size();
  return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(2, digits);
}

void ScoreEdit::UpdateGutterWidth() {
  setViewportMargins(LineNumberAreaWidth(), 0, 0, 0);
  QRect area = contentsRect();
  gutter_->setGeometry(area.left(), area.top(), LineNumberAreaWidth(), viewport()->height());
}

void ScoreEdit::UpdateGutter(const QRect& rect, int dy) {
  if (!line_numbers_visible_) return;
  if (dy) {
    gutter_->scroll(0, dy);
  } else {
    gutter_->update(0, rect.y(), gutter_->width(), rect.height());
  }
}

void ScoreEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  UpdateGutterWidth();
}

void ScoreEdit::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateGutterWidth();
}

void ScoreEdit::PaintLineNumbers(QPaintEvent* event) {
  QPainter painter(gutter_);
  QColor base = palette().color(QPalette::Base);
  QColor text = palette().color(QPalette::Text);
  painter.fillRect(event->rect(), base.lightness() < 128 ? base.lighter(140) : base.darker(108));
  painter.setPen(text);
  painter.setFont(font());
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  while (block.isValid() && top <= event->rect().bottom()) {
    int bottom = top + qRound(blockBoundingRect(block).height());
    if (block.isVisible() && bottom >= event->rect().top()) {
      painter.drawText(0, top, gutter_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                       QString::number(block.blockNumber()));
    }
    block = block.next();
    top = bottom;
  }
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
