#include "shell/qt/find_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <iterator>
#include <vector>

FindDialog::FindDialog(QPlainTextEdit* editor, QWidget* parent)
    : QDialog(parent, Qt::Tool), editor_(editor) {
  setObjectName(QStringLiteral("FindDialog"));
  find_ = new QLineEdit;
  replace_ = new QLineEdit;
  replace_label_ = new QLabel(QStringLiteral("置換後:"));
  whole_word_ = new QCheckBox(QStringLiteral("単語単位(&W)"));
  case_ = new QCheckBox(QStringLiteral("大文字と小文字を区別(&C)"));
  regex_ = new QCheckBox(QStringLiteral("正規表現(&R)"));
  auto* next = new QPushButton(QStringLiteral("次を検索(&F)"));
  next->setDefault(true);
  replace_one_ = new QPushButton(QStringLiteral("置換(&E)"));
  replace_all_ = new QPushButton(QStringLiteral("すべて置換(&A)"));
  status_ = new QLabel;

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("検索:")), 0, 0);
  grid->addWidget(find_, 0, 1);
  grid->addWidget(next, 0, 2);
  grid->addWidget(replace_label_, 1, 0);
  grid->addWidget(replace_, 1, 1);
  grid->addWidget(replace_one_, 1, 2);
  grid->addWidget(replace_all_, 2, 2);
  auto* options = new QHBoxLayout;
  options->addWidget(whole_word_);
  options->addWidget(case_);
  options->addWidget(regex_);
  grid->addLayout(options, 2, 0, 1, 2);
  grid->addWidget(status_, 3, 0, 1, 3);
  // Tab goes from the text to find to its replacement, then to the buttons
  // and the options (hidden ones are passed over).
  QWidget* const order[] = {find_,        replace_,    next,  replace_one_,
                            replace_all_, whole_word_, case_, regex_};
  for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);

  connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
  connect(replace_one_, &QPushButton::clicked, this, &FindDialog::ReplaceOne);
  connect(replace_all_, &QPushButton::clicked, this, [this] { ReplaceAll(); });
}

void FindDialog::ShowFind() {
  ShowMode(false);
}

void FindDialog::ShowReplace() {
  ShowMode(true);
}

void FindDialog::ShowMode(bool replace) {
  setWindowTitle(replace ? QStringLiteral("置換") : QStringLiteral("検索"));
  for (QWidget* w : {static_cast<QWidget*>(replace_), static_cast<QWidget*>(replace_label_),
                     static_cast<QWidget*>(replace_one_), static_cast<QWidget*>(replace_all_)}) {
    w->setVisible(replace);
  }
  QString selected = editor_->textCursor().selectedText();
  if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
    find_->setText(selected);
  status_->clear();
  show();
  raise();
  activateWindow();
  find_->setFocus();
  find_->selectAll();
}

QRegularExpression FindDialog::Pattern() const {
  QString pattern = regex_->isChecked() ? find_->text() : QRegularExpression::escape(find_->text());
  if (whole_word_->isChecked()) pattern = QStringLiteral("\\b(?:%1)\\b").arg(pattern);
  QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
  if (!case_->isChecked()) options |= QRegularExpression::CaseInsensitiveOption;
  return QRegularExpression(pattern, options);
}

void FindDialog::Say(const QString& text) {
  status_->setText(text);
}

std::optional<FindDialog::Match> FindDialog::MatchFrom(const QRegularExpression& pattern,
                                                       int position) const {
  QTextBlock block = editor_->document()->findBlock(position);
  int offset = position - block.position();
  for (; block.isValid(); block = block.next(), offset = 0) {
    QRegularExpressionMatchIterator matches = pattern.globalMatch(block.text(), offset);
    while (matches.hasNext()) {
      QRegularExpressionMatch match = matches.next();
      if (match.capturedLength() > 0) {
        return Match{block.position() + static_cast<int>(match.capturedStart()), match};
      }
    }
  }
  return std::nullopt;
}

std::optional<FindDialog::Match> FindDialog::SelectedMatch(
    const QRegularExpression& pattern) const {
  const QTextCursor cursor = editor_->textCursor();
  if (!cursor.hasSelection()) return std::nullopt;
  const QTextBlock block = editor_->document()->findBlock(cursor.selectionStart());
  const int offset = cursor.selectionStart() - block.position();
  QRegularExpressionMatch match =
      pattern.match(block.text(), offset, QRegularExpression::NormalMatch,
                    QRegularExpression::AnchorAtOffsetMatchOption);
  if (!match.hasMatch() || match.capturedLength() == 0 ||
      block.position() + static_cast<int>(match.capturedEnd()) != cursor.selectionEnd()) {
    return std::nullopt;
  }
  return Match{cursor.selectionStart(), match};
}

bool FindDialog::FindNext() {
  QRegularExpression pattern = Pattern();
  if (find_->text().isEmpty()) return false;
  if (!pattern.isValid()) {
    Say(QStringLiteral("正規表現が正しくありません: ") + pattern.errorString());
    return false;
  }
  std::optional<Match> found = MatchFrom(pattern, editor_->textCursor().selectionEnd());
  if (!found) found = MatchFrom(pattern, 0);  // wrap round to the start
  if (!found) {
    Say(QStringLiteral("見つかりません: ") + find_->text());
    return false;
  }
  status_->clear();
  QTextCursor cursor(editor_->document());
  cursor.setPosition(found->start);
  cursor.setPosition(found->start + static_cast<int>(found->match.capturedLength()),
                     QTextCursor::KeepAnchor);
  editor_->setTextCursor(cursor);
  editor_->ensureCursorVisible();
  return true;
}

QString FindDialog::Replacement(const QRegularExpressionMatch& match) const {
  if (!regex_->isChecked()) return replace_->text();
  QString result;
  const QString text = replace_->text();
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1].isDigit()) {
      result += match.captured(text[i + 1].digitValue());
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

void FindDialog::ReplaceOne() {
  QRegularExpression pattern = Pattern();
  if (pattern.isValid() && !find_->text().isEmpty()) {
    if (std::optional<Match> selected = SelectedMatch(pattern)) {
      QTextCursor cursor = editor_->textCursor();
      cursor.insertText(Replacement(selected->match));
      editor_->setTextCursor(cursor);
    }
  }
  FindNext();
}

int FindDialog::ReplaceAll() {
  QRegularExpression pattern = Pattern();
  if (find_->text().isEmpty()) return 0;
  if (!pattern.isValid()) {
    Say(QStringLiteral("正規表現が正しくありません: ") + pattern.errorString());
    return 0;
  }
  // Every match of the text as it stands, then the replacements from the
  // last to the first, so that each one's place is still where it was.
  std::vector<Match> matches;
  for (std::optional<Match> found = MatchFrom(pattern, 0); found;
       found = MatchFrom(pattern, found->start + static_cast<int>(found->match.capturedLength()))) {
    matches.push_back(*found);
  }
  QTextCursor edit(editor_->document());
  edit.beginEditBlock();
  for (auto m = matches.rbegin(); m != matches.rend(); ++m) {
    edit.setPosition(m->start);
    edit.setPosition(m->start + static_cast<int>(m->match.capturedLength()),
                     QTextCursor::KeepAnchor);
    edit.insertText(Replacement(m->match));
  }
  edit.endEditBlock();
  Say(QStringLiteral("%1 個を置換しました").arg(matches.size()));
  return static_cast<int>(matches.size());
}
