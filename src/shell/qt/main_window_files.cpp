// The main window's file commands: the save query, save, save as, load,
// open, new and save-compile-play, recent files, and what happens when the
// file in the editor changes or vanishes on disk.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <algorithm>

#include "player/player.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/disk_watch.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/main_window.h"
#include "shell/qt/recent_files.h"
#include "shell/qt/score_edit.h"
#include "shell/score_browser.h"
#include "shell/score_file.h"

namespace {

// Replaces the whole text as one step of the undo history, so that the
// text it replaced comes back with one undo.
void ReplaceWholeText(QPlainTextEdit* edit, const QString& text) {
  QTextCursor cursor(edit->document());
  cursor.beginEditBlock();
  cursor.select(QTextCursor::Document);
  cursor.insertText(text);
  cursor.endEditBlock();
}

}  // namespace

bool MainWindow::QuerySave() {
  if (!edit_->document()->isModified()) return true;
  switch (dialogs_->AskYesNoCancel(this, QStringLiteral("Query"),
                                   QStringLiteral("テキストは変更されています\n保存しますか？"))) {
    case Dialogs::Answer::kYes:
      return SaveInPlaceOrAsk();
    case Dialogs::Answer::kNo:
      return true;
    case Dialogs::Answer::kCancel:
      break;
  }
  return false;
}

bool MainWindow::SaveToPath(const QString& path) {
  // A watched file that vanished is made again, and the user is told.
  const bool recreating = disk_watch_->Path() == path && !QFileInfo::exists(path);
  QString text = edit_->toPlainText();
  SaveResult result = SaveScoreFile(path, text, format_);
  if (result.outcome == SaveOutcome::kWouldLoseCharacters) {
    QString question = QStringLiteral(
                           "Shift-JIS で表せない文字が %1 個あります (最初は %2 行 %3 桁)。\n"
                           "UTF-8 で保存しますか？\n"
                           "[いいえ] を選ぶとそれらの文字は \"?\" になります。")
                           .arg(result.unencodable)
                           .arg(result.first_unencodable.line)
                           .arg(result.first_unencodable.column);
    switch (dialogs_->AskYesNoCancel(this, QStringLiteral("Query"), question)) {
      case Dialogs::Answer::kYes:
        format_.encoding = ScoreEncoding::kUtf8;
        format_.kept_lines.clear();
        result = SaveScoreFile(path, text, format_);
        break;
      case Dialogs::Answer::kNo:
        result = SaveScoreFile(path, text, format_, true);
        break;
      case Dialogs::Answer::kCancel:
        return false;
    }
  }
  if (result.outcome != SaveOutcome::kSaved) {
    // The text stays modified, so nothing is lost by a failed save.
    dialogs_->Inform(this, QStringLiteral("Error"),
                     QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), result.error));
    return false;
  }
  edit_->document()->setModified(false);
  SetCaption(path);
  RememberFile(path, std::move(result.bytes));
  UpdateCommandStates();
  if (recreating) statusBar()->showMessage(QStringLiteral("ファイルを作り直しました: ") + path);
  return true;
}

void MainWindow::SaveCurrent() {
  SaveInPlaceOrAsk();
}

bool MainWindow::SaveInPlaceOrAsk() {
  const QString path = browser_->CurrentFilePath();
  return SavesInPlace(path) ? SaveToPath(path) : SaveWithDialog();
}

// A score saves in place when its file can be read, and when it is the
// file the editor watched and that was removed behind its back: the save
// makes it again, as the status bar promised.
bool MainWindow::SavesInPlace(const QString& path) const {
  if (path.isEmpty() || QFileInfo(path).isDir()) return false;
  if (path == disk_watch_->Path() && !QFileInfo::exists(path)) return true;
  QFile file(path);
  return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}

bool MainWindow::SaveWithDialog() {
  QString start = save_dialog_name_.isEmpty() ? browser_->BrowseDirectory() : save_dialog_name_;
  QString path = dialogs_->AskSavePath(this, start);
  if (path.isEmpty()) return false;
  save_dialog_name_ = path;
  if (!SaveToPath(path)) return false;
  browser_->SetCurrentFilePath(path);
  return true;
}

void MainWindow::LoadFile(const QString& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return;
  const DecodedScore score = DecodeScore(*bytes);
  format_ = score.format;
  edit_->setPlainText(score.text);
  edit_->document()->setModified(false);
  edit_->MarkDiagnosticLine(-1);
  SetCaption(path);
  // The watch compares the file with the bytes shown, never with a later
  // read that could hold a newer version.
  RememberFile(path, std::move(*bytes));
  save_dialog_name_ = path;
  UpdateCommandStates();
  ReportUndecodable(score);
}

void MainWindow::ReportUndecodable(const DecodedScore& score) {
  if (score.undecodable == 0) return;
  dialogs_->Inform(
      this, QStringLiteral("Message"),
      QStringLiteral("Shift-JIS として読めないバイトが %1 個あります (最初は %2 行 %3 桁)。\n"
                     "それらのバイトは保存するとそのまま書き戻されます。")
          .arg(score.undecodable)
          .arg(score.first_undecodable.line)
          .arg(score.first_undecodable.column));
}

void MainWindow::OpenWithBrowser() {
  if (dialogs_->RunModal(browser_) != QDialog::Accepted) return;
  QString chosen = browser_->ChosenPath();
  if (chosen.isEmpty() || !QuerySave()) return;
  browser_->SetCurrentFilePath(chosen);
  LoadFile(chosen);
}

void MainWindow::NewScore() {
  if (!QuerySave()) return;
  ClearToNewScore();
}

void MainWindow::ClearToNewScore() {
  // The old song goes with its text: what plays stops, and its tracks, its
  // time and its marks leave the screen.
  StopSong();
  live_->ClearSong();
  edit_->clear();
  edit_->document()->setModified(false);
  edit_->MarkDiagnosticLine(-1);
  format_ = ScoreFormat();
  // Save As starts in the folder, never on the old file's name.
  save_dialog_name_.clear();
  // A browse directory never listed yet is the working directory.
  const QString directory = NormaliseBrowseDirectory(browser_->BrowseDirectory());
  browser_->SetBrowseDirectory(directory);
  browser_->SetCurrentFilePath(directory);
  SetCaption(directory);
  disk_watch_->Watch(QString(), std::nullopt);
  UpdateCommandStates();
}

void MainWindow::SaveCompilePlay() {
  // A score without a file of its own (none yet, or the folder after New)
  // gets one through Save As first; writing to the folder's path would fail.
  const QString path = browser_->CurrentFilePath();
  if (path.isEmpty() || QFileInfo(path).isDir()) {
    if (!SaveWithDialog()) return;
  } else if (!SaveToPath(path)) {
    return;
  }
  CompileText();
  PlaySong();
}

void MainWindow::OpenRecent(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    dialogs_->Inform(this, QStringLiteral("Message"),
                     QStringLiteral("ファイルがありません\n%1").arg(path));
    recent_menu_->Remove(path);
    return;
  }
  if (!QuerySave()) return;
  browser_->SetCurrentFilePath(path);
  LoadFile(path);
}

void MainWindow::RememberFile(const QString& path, std::string bytes) {
  recent_menu_->Add(path);
  disk_watch_->Watch(path, std::move(bytes));
}

// ---------------------------------------------------------------- the file on disk

// Takes the version of the file the watch settled on, never a fresh read
// (which could catch the next writer half-way). The text stays not
// modified, and the user's text is one undo away.
void MainWindow::ReloadFromDisk() {
  // A question already open takes the newest version when it is answered.
  if (reload_question_open_) return;
  const QString path = disk_watch_->Path();
  if (edit_->document()->isModified()) {
    const QString question = QStringLiteral(
                                 "%1\nはほかのプログラムで変更されました。\n読み込み直しますか？\n"
                                 "[いいえ] を選ぶと編集中のテキストがそのまま残ります。")
                                 .arg(path);
    reload_question_open_ = true;
    const Dialogs::Answer answer =
        dialogs_->AskYesNoCancel(this, QStringLiteral("Query"), question);
    reload_question_open_ = false;
    if (answer != Dialogs::Answer::kYes || disk_watch_->Path() != path) return;
  }
  // Gone while the question was open: nothing to take, the text stays.
  if (!disk_watch_->HasVersion()) return;
  const DecodedScore score = DecodeScore(disk_watch_->Bytes());
  format_ = score.format;
  const int caret = edit_->textCursor().position();
  if (score.text != edit_->toPlainText()) ReplaceWholeText(edit_, score.text);
  edit_->document()->setModified(false);
  edit_->MarkDiagnosticLine(-1);
  QTextCursor cursor = edit_->textCursor();
  cursor.setPosition(std::clamp(caret, 0, edit_->document()->characterCount() - 1));
  edit_->setTextCursor(cursor);
  UpdateCommandStates();
  statusBar()->showMessage(QStringLiteral("ディスク上の変更を読み込みました: ") + path);
  ReportUndecodable(score);
}

void MainWindow::ReportRemovedFromDisk() {
  // The text now lives only in the editor: it counts as modified, so that
  // closing asks and Save is offered; the next save makes the file again.
  edit_->document()->setModified(true);
  statusBar()->showMessage(QStringLiteral("ファイルが削除されました: %1 (保存すると作り直します)")
                               .arg(disk_watch_->Path()));
}
