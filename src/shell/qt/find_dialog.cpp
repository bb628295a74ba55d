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

QTextDocument::FindFlags FindDialog::Flags() const {
  // The document makes every expression case-blind unless told otherwise.
  return case_->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
}

void FindDialog::Say(const QString& text) {
  status_->setText(text);
}

bool FindDialog::FindNext() {
  QRegularExpression pattern = Pattern();
  if (find_->text().isEmpty()) return false;
  if (!pattern.isValid()) {
    Say(QStringLiteral("正規表現が正しくありません: ") + pattern.errorString());
    return false;
  }
  QTextDocument* document = editor_->document();
  QTextCursor found = document->find(pattern, editor_->textCursor(), Flags());
  if (found.isNull() || found.selectionStart() == found.selectionEnd()) {
    found = document->find(pattern, 0, Flags());  // wrap round to the start
  }
  if (found.isNull() || found.selectionStart() == found.selectionEnd()) {
    Say(QStringLiteral("見つかりません: ") + find_->text());
    return false;
  }
  status_->clear();
  editor_->setTextCursor(found);
  editor_->ensureCursorVisible();
  return true;
}

bool FindDialog::SelectionMatches(const QRegularExpression& pattern) const {
  QTextCursor cursor = editor_->textCursor();
  if (!cursor.hasSelection()) return false;
  QTextDocument* document = editor_->document();
  QTextCursor found = document->find(pattern, cursor.selectionStart(), Flags());
  return !found.isNull() && found.selectionStart() == cursor.selectionStart() &&
         found.selectionEnd() == cursor.selectionEnd();
}

QString FindDialog::Replacement(const QString& matched, const QRegularExpression& pattern) const {
  if (!regex_->isChecked()) return replace_->text();
  QRegularExpressionMatch match = pattern.match(matched);
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
  if (pattern.isValid() && !find_->text().isEmpty() && SelectionMatches(pattern)) {
    QTextCursor cursor = editor_->textCursor();
    cursor.insertText(Replacement(cursor.selectedText(), pattern));
    editor_->setTextCursor(cursor);
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
  QTextDocument* document = editor_->document();
  QTextCursor edit(document);
  edit.beginEditBlock();
  int count = 0;
  QTextCursor found = document->find(pattern, 0, Flags());
  while (!found.isNull() && found.selectionStart() != found.selectionEnd()) {
    found.insertText(Replacement(found.selectedText(), pattern));
    ++count;
    found = document->find(pattern, found.position(), Flags());
  }
  edit.endEditBlock();
  Say(QStringLiteral("%1 個を置換しました").arg(count));
  return count;
}
