#include "shell/qt/score_edit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

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
  selection_back_ = palette().color(QPalette::Active, QPalette::Highlight);
  selection_text_ = palette().color(QPalette::Active, QPalette::HighlightedText);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ScoreEdit::RenewLineMarks);
  connect(this, &QPlainTextEdit::textChanged, this, &ScoreEdit::RenewLineMarks);
  connect(this, &QPlainTextEdit::selectionChanged, this, &ScoreEdit::RenewLineMarks);
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
  mark_colors_ = MarkColorsFor(text, background);
  QPalette p = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::Base, background);
  }
  // The text control would draw the selection over every mark; the editor
  // draws it itself instead (RenewLineMarks), the same with and without the
  // focus, under the playhead's marks.
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setBrush(group, QPalette::Highlight, Qt::NoBrush);
    p.setBrush(group, QPalette::HighlightedText, Qt::NoBrush);
  }
  setPalette(p);
  // The scroll bars keep the system's highlight.
  for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
    QPalette own = bar->palette();
    own.setColor(QPalette::Highlight, selection_back_);
    own.setColor(QPalette::HighlightedText, selection_text_);
    bar->setPalette(own);
  }
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
  if (!mark_colors_.caret_line.isValid()) {
    mark_colors_ = MarkColorsFor(palette().color(QPalette::Text), palette().color(QPalette::Base));
  }

  QTextEdit::ExtraSelection caret_line;
  caret_line.format.setBackground(mark_colors_.caret_line);
  caret_line.format.setProperty(QTextFormat::FullWidthSelection, true);
  caret_line.cursor = textCursor();
  caret_line.cursor.clearSelection();
  marks.append(caret_line);

  QTextBlock block = document()->findBlockByNumber(diagnostic_line_);
  if (diagnostic_line_ >= 0 && block.isValid()) {
    QTextEdit::ExtraSelection diagnostic;
    diagnostic.format.setBackground(mark_colors_.diagnostic_line);
    diagnostic.format.setProperty(QTextFormat::FullWidthSelection, true);
    diagnostic.cursor = QTextCursor(block);
    marks.append(diagnostic);
  }
  if (textCursor().hasSelection()) {
    QTextEdit::ExtraSelection selection;
    selection.cursor = textCursor();
    selection.format.setBackground(selection_back_);
    selection.format.setForeground(selection_text_);
    marks.append(selection);
  }
  for (const QTextEdit::ExtraSelection& mark : playhead_marks_) {
    // Emptied, or turned round by typing where its text was: deleted.
    if (mark.cursor.anchor() < mark.cursor.position()) marks.append(mark);
  }
  setExtraSelections(marks);
}

void ScoreEdit::paintEvent(QPaintEvent* event) {
  QPlainTextEdit::paintEvent(event);
  PaintFullWidthSpaces();
}

// A faint box round every full-width space on the lines in view.
void ScoreEdit::PaintFullWidthSpaces() {
  QPainter painter(viewport());
  painter.setPen(mark_colors_.full_width_box);
  const QPointF offset = contentOffset();
  const int bottom = viewport()->height();
  for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
    const QRectF bounds = blockBoundingGeometry(block).translated(offset);
    if (bounds.top() > bottom) break;
    const QString text = block.text();
    for (int i = text.indexOf(QChar(0x3000)); i >= 0; i = text.indexOf(QChar(0x3000), i + 1)) {
      const QTextLine line = block.layout()->lineForTextPosition(i);
      if (!line.isValid()) continue;
      const QPointF at = bounds.topLeft() + block.layout()->position();
      const qreal left = line.cursorToX(i), right = line.cursorToX(i + 1);
      const QRectF box(at.x() + left + 1, at.y() + line.y() + 1, right - left - 3,
                       line.height() - 3);
      painter.drawRect(box);
    }
  }
}

void ScoreEdit::SetPlayheadMarks(const QList<QTextEdit::ExtraSelection>& marks) {
  playhead_marks_ = marks;
  RenewLineMarks();
}
