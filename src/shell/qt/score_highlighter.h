// Syntax colours of the score language in the editor.
//
// The classes come from syntax/score_classes.h, line by line; an open block
// comment is carried in the block state. Notes take the editor's text colour; every other class
// keeps its designed hue at a lightness that reads on the editor's background
// and on its line marks.
#ifndef QUERN_SHELL_QT_SCORE_HIGHLIGHTER_H_
#define QUERN_SHELL_QT_SCORE_HIGHLIGHTER_H_

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class ScoreHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
 public:
  explicit ScoreHighlighter(QTextDocument* document);

  // Derives every token colour from the editor's text and background
  // colours (see ReadableColor and TokenBackgrounds) and colours the text
  // again.
  void SetColors(const QColor& text, const QColor& background);
  // The format of each token class, for tests.
  QList<QTextCharFormat> ClassFormats() const;

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat comment_, header_, track_, macro_, common_, continuation_;
  QTextCharFormat note_, command_, number_, loop_, quoted_, bytes_, attribute_, macro_use_;
};

#endif  // QUERN_SHELL_QT_SCORE_HIGHLIGHTER_H_
