// The editor control (Memo1): plain text, no word wrap, Tab types a tab,
// the selection stays visible while another window has the focus.
//
// Esc is reported only through escapePressed, and only while this control
// has the keyboard focus, since only then does it receive keys.
// It marks two lines: the caret's line, faintly, and the line of the
// diagnostic picked in the compiler message window. The playhead's marks
// show over everything, the selection included: the editor draws its
// selection itself, under them. A full-width space (U+3000), easily typed
// by mistake for a space, shows as a faint box.
// An optional gutter at the left numbers the lines from 0, as the compiler's
// report counts them.
#ifndef QUERN_SHELL_QT_SCORE_EDIT_H_
#define QUERN_SHELL_QT_SCORE_EDIT_H_

#include <QColor>
#include <QPlainTextEdit>

#include "shell/qt/colors.h"

class ScoreEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit ScoreEdit(QWidget* parent = nullptr);

  // Text and background colours, kept in the palette of every state; the
  // marks' colours follow from them.
  void SetColors(const QColor& text, const QColor& background);
  const EditorMarkColors& MarkColors() const { return mark_colors_; }
  // The selection's colours (the system's highlight).
  QColor SelectionBackground() const { return selection_back_; }
  QColor SelectionText() const { return selection_text_; }
  // Marks block number line (from 0) as the picked diagnostic's line; -1
  // removes the mark.
  void MarkDiagnosticLine(int line);
  int MarkedDiagnosticLine() const { return diagnostic_line_; }
  // The playhead's marks (the notes sounding now), drawn over the line marks
  // and the selection; a mark whose text was deleted is left out.
  void SetPlayheadMarks(const QList<QTextEdit::ExtraSelection>& marks);
  const QList<QTextEdit::ExtraSelection>& PlayheadMarks() const { return playhead_marks_; }

  // The line-number gutter.
  void SetLineNumbersVisible(bool visible);
  bool LineNumbersVisible() const { return line_numbers_visible_; }
  QWidget* LineNumberArea() const { return gutter_; }
  int LineNumberAreaWidth() const;
  // Draws the numbers of the visible lines; the gutter calls it.
  void PaintLineNumbers(QPaintEvent* event);

 signals:
  void escapePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void RenewLineMarks();
  void UpdateGutterWidth();
  void UpdateGutter(const QRect& rect, int dy);
  void PaintFullWidthSpaces();

  int diagnostic_line_ = -1;
  EditorMarkColors mark_colors_;
  QColor selection_back_, selection_text_;
  QList<QTextEdit::ExtraSelection> playhead_marks_;
  bool line_numbers_visible_ = false;
  QWidget* gutter_ = nullptr;
};

#endif  // QUERN_SHELL_QT_SCORE_EDIT_H_
