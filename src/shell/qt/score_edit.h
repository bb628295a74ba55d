// The editor control (Memo1): plain text, no word wrap, Tab types a tab,
// the selection stays visible while another window has the focus.
//
// Esc is reported only through escapePressed, and only while this control
// has the keyboard focus, since only then does it receive keys.
// It marks two lines: the caret's line, faintly, and the line of the
// diagnostic picked in the compiler message window.
#ifndef QUERN_SHELL_QT_SCORE_EDIT_H_
#define QUERN_SHELL_QT_SCORE_EDIT_H_

#include <QColor>
#include <QPlainTextEdit>

class ScoreEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit ScoreEdit(QWidget* parent = nullptr);

  // Text and background colours, kept in the palette of every state.
  void SetColors(const QColor& text, const QColor& background);
  // Marks block number line (from 0) as the picked diagnostic's line; -1
  // removes the mark.
  void MarkDiagnosticLine(int line);
  int MarkedDiagnosticLine() const { return diagnostic_line_; }
  // The playhead's marks (the notes sounding now), drawn over the line marks.
  void SetPlayheadMarks(const QList<QTextEdit::ExtraSelection>& marks);
  const QList<QTextEdit::ExtraSelection>& PlayheadMarks() const { return playhead_marks_; }

 signals:
  void escapePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RenewLineMarks();

  int diagnostic_line_ = -1;
  QList<QTextEdit::ExtraSelection> playhead_marks_;
};

#endif  // QUERN_SHELL_QT_SCORE_EDIT_H_
