// Find and replace in the score editor (Ctrl+F, Ctrl+H): a tool window that
// stays open beside the editor.
//
// In: the editor it searches, the text to find and, for a replace, its
// replacement; whole words, case and regular expression as the user ticks
// them.
// Out: the next match selected in the editor (the search wraps round at the
// end); a replacement of the selected match, or of every match as one undo
// step. A regular expression's replacement may name its groups as \1 .. \9.
// Each line is searched as a whole, and a replacement is built from the
// match found there, so lookbehind, lookahead, anchors and word boundaries
// see the text around the match. Every match of a replace-all is found in
// the text as it was before the first replacement. A match is never empty.
// What can go wrong: no match, or an invalid expression: the dialog says so
// in its own status line and the text stays as it was.
#ifndef QUERN_SHELL_QT_FIND_DIALOG_H_
#define QUERN_SHELL_QT_FIND_DIALOG_H_

#include <QDialog>
#include <QRegularExpression>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class FindDialog : public QDialog {
  Q_OBJECT
 public:
  FindDialog(QPlainTextEdit* editor, QWidget* parent = nullptr);

  // Shows the dialog for finding only, or for finding and replacing, with
  // the editor's selection (when it is on one line) as the text to find.
  void ShowFind();
  void ShowReplace();

  // Selects the next match after the caret; false when there is none.
  bool FindNext();
  // Replaces the selection when it is a match, then finds the next one.
  void ReplaceOne();
  // Replaces every match; returns how many.
  int ReplaceAll();

  QLineEdit* FindEdit() const { return find_; }
  QLineEdit* ReplaceEdit() const { return replace_; }
  QCheckBox* WholeWordBox() const { return whole_word_; }
  QCheckBox* CaseBox() const { return case_; }
  QCheckBox* RegexBox() const { return regex_; }
  QLabel* StatusLine() const { return status_; }

 private:
  struct Match {
    int start;  // in the document
    QRegularExpressionMatch match;
  };
  void ShowMode(bool replace);
  // The pattern of the ticked options; invalid for an invalid expression.
  QRegularExpression Pattern() const;
  // The first match that starts at or after position.
  std::optional<Match> MatchFrom(const QRegularExpression& pattern, int position) const;
  // The match that is the editor's selection, if it is one.
  std::optional<Match> SelectedMatch(const QRegularExpression& pattern) const;
  QString Replacement(const QRegularExpressionMatch& match) const;
  void Say(const QString& text);

  QPlainTextEdit* editor_;
  QLineEdit* find_;
  QLineEdit* replace_;
  QLabel* replace_label_;
  QCheckBox* whole_word_;
  QCheckBox* case_;
  QCheckBox* regex_;
  QPushButton* replace_one_;
  QPushButton* replace_all_;
  QLabel* status_;
};

#endif  // QUERN_SHELL_QT_FIND_DIALOG_H_
