// The main window's everyday editing commands (redo, find and replace, go
// to line, line numbers), the exports to MIDI and WAV, and the docked
// message window.
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTextBlock>
#include <algorithm>

#include "player/midi_output.h"
#include "player/output/outputs.h"
#include "player/player.h"
#include "player/song_export.h"
#include "player/song_length.h"
#include "shell/editor_rules.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/disk_watch.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/find_dialog.h"
#include "shell/qt/main_window.h"
#include "shell/qt/message_dock.h"
#include "shell/qt/message_window.h"
#include "shell/qt/recent_files.h"
#include "shell/qt/score_edit.h"
#include "shell/score_file.h"

namespace {

const QString kModifiedMark = QStringLiteral("[*]");
constexpr double kMeasureBudgetMs = 2000;

}  // namespace

void MainWindow::CreateEditingActions() {
  QAction* redo = AddAction(QStringLiteral("Redo1"), QStringLiteral("やり直し(&R)"), nullptr);
  redo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  connect(redo, &QAction::triggered, edit_, &QPlainTextEdit::redo);
  AddAction(QStringLiteral("Find1"), QStringLiteral("検索(&F) ..."), &MainWindow::FindText,
            QKeySequence(Qt::CTRL | Qt::Key_F));
  AddAction(QStringLiteral("Replace1"), QStringLiteral("置換(&R) ..."), &MainWindow::ReplaceText,
            QKeySequence(Qt::CTRL | Qt::Key_H));
  AddAction(QStringLiteral("GoToLine1"), QStringLiteral("行へ移動(&G) ..."), &MainWindow::GoToLine,
            QKeySequence(Qt::CTRL | Qt::Key_G));
  AddAction(QStringLiteral("LineNumbers1"), QStringLiteral("行番号"),
            &MainWindow::ToggleLineNumbers)
      ->setCheckable(true);
  AddAction(QStringLiteral("DockMessage1"), QStringLiteral("メッセージを下に表示"),
            &MainWindow::ToggleMessageDock)
      ->setCheckable(true);
  AddAction(QStringLiteral("ExportMidi1"), QStringLiteral("MIDI ファイルに書き出す…"),
            &MainWindow::ExportMidi);
  AddAction(QStringLiteral("ExportWav1"), QStringLiteral("WAV に書き出す…"),
            &MainWindow::ExportWav);
}

void MainWindow::ApplyShortcutContexts() {
  // The editor's commands work from every window of the application: after
  // a failed compile the focus is in the message window.
  for (const char* name : {"Open1", "Save1", "CompPlay1", "SaveCompPlay1", "Quit1"}) {
    Action(QString::fromLatin1(name))->setShortcutContext(Qt::ApplicationShortcut);
  }
}

// ---------------------------------------------------------------- caption

void MainWindow::SetCaption(const QString& text) {
  // "[*]" is where the toolkit shows the modified mark; the caption itself
  // stays the designed text.
  setWindowTitle(text + kModifiedMark);
  // Replacing the text may clear the document's modified state without a
  // word: the mark follows the state the text is in now.
  if (edit_) setWindowModified(edit_->document()->isModified());
}

QString MainWindow::Caption() const {
  QString title = windowTitle();
  if (title.endsWith(kModifiedMark)) title.chop(kModifiedMark.size());
  return title;
}

// ---------------------------------------------------------------- messages

QDockWidget* MainWindow::MessageDockWidget() const {
  return message_dock_->Dock();
}

void MainWindow::ShowMessages() {
  message_dock_->Show();
  Action(QStringLiteral("ShowMessage1"))->setChecked(true);
}

void MainWindow::ToggleMessageDock() {
  message_dock_->SetDocked(Action(QStringLiteral("DockMessage1"))->isChecked());
}

void MainWindow::WarnAboutNul(const std::string& bytes) {
  // The compiler reads the text up to its first NUL byte, as `quern
  // compile` does: say where the score ends, as a report line the list can
  // jump to.
  const size_t nul = bytes.find('\0');
  if (nul == std::string::npos) return;
  int line = 0;
  size_t line_start = 0;
  for (size_t i = 0; i < nul; ++i) {
    if (bytes[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  const int column = static_cast<int>(nul - line_start);
  const QString warning =
      QString::asprintf("%3d : %3d : Warning ", line, column) +
      QStringLiteral("NUL バイトがあります。スコアはここで終わり、後ろの行はコンパイルされません");
  QStringList entries = messages_->Entries();
  entries.prepend(warning);
  messages_->SetEntries(entries);
  ShowMessages();
  ShowCompileStatus(
      QStringLiteral("%1 行 %2 桁の NUL バイトでスコアが終わっています").arg(line).arg(column));
}

// ---------------------------------------------------------------- editing

void MainWindow::FindText() {
  find_dialog_->ShowFind();
}

void MainWindow::ReplaceText() {
  find_dialog_->ShowReplace();
}

void MainWindow::GoToLine() {
  const int last = edit_->document()->blockCount() - 1;
  std::optional<int> line = dialogs_->AskLineNumber(this, edit_->textCursor().blockNumber(), last);
  if (!line) return;
  QTextCursor cursor(edit_->document()->findBlockByNumber(std::clamp(*line, 0, last)));
  edit_->setTextCursor(cursor);
  edit_->ensureCursorVisible();
  ReportFullWidthAtCaret();
  edit_->setFocus();
}

void MainWindow::ReportFullWidthAtCaret() {
  const QTextCursor caret = edit_->textCursor();
  const QString notice = FullWidthNotice(caret.block().text(), caret.positionInBlock());
  if (!notice.isEmpty()) statusBar()->showMessage(notice);
}

void MainWindow::ToggleLineNumbers() {
  edit_->SetLineNumbersVisible(Action(QStringLiteral("LineNumbers1"))->isChecked());
}

// ---------------------------------------------------------------- export

bool MainWindow::CompileForExport() {
  CompileText();
  if (last_severity_ > 2) return false;
  StopPlayback();
  std::string error;
  if (!LoadSong(song_copy_.data(), song_size_, &error)) {
    dialogs_->Inform(this, QStringLiteral("Error"), QString::fromStdString(error));
    return false;
  }
  return true;
}

QString MainWindow::AskExportPath(const char* filter, const char* suffix) {
  const QString current = browser_->CurrentFilePath();
  QString start = browser_->BrowseDirectory();
  if (!current.isEmpty() && !QFileInfo(current).isDir()) {
    QFileInfo info(current);
    start = info.dir().filePath(info.completeBaseName() + QLatin1Char('.') +
                                QString::fromLatin1(suffix));
  }
  return dialogs_->AskExportPath(this, start, QString::fromLatin1(filter),
                                 QString::fromLatin1(suffix));
}

void MainWindow::ReportExportFailure(const QString& path, const QString& reason) {
  dialogs_->Inform(this, QStringLiteral("Error"),
                   QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
}

void MainWindow::ExportMidi() {
  if (!CompileForExport()) return;
  const QString path = AskExportPath("Standard MIDI File (*.mid)", "mid");
  if (path.isEmpty()) return;
  bool endless = false;
  const std::string file = BuildSongMidiFile(DefaultPlayer().Song(), kDefaultExportTicks, &endless);
  OpenOutput(false);  // a fresh output after the offline run
  QString error;
  if (!WriteFileAtomically(path, file, &error)) {
    ReportExportFailure(path, error);
    return;
  }
  statusBar()->showMessage(
      endless ? QStringLiteral("書き出しました (終わらない曲なので %1 tick までです): %2")
                    .arg(kDefaultExportTicks)
                    .arg(path)
              : QStringLiteral("書き出しました: ") + path);
}

void MainWindow::ExportWav() {
  if (!CompileForExport()) return;
  const QString path = AskExportPath("WAV (*.wav)", "wav");
  if (path.isEmpty()) return;
  // The length in ticks first, for the progress bar (a song too long to
  // measure in a moment gets a busy bar); then the song again from its
  // start.
  const SongLength length =
      MeasureSongLength(DefaultPlayer().Song(), kDefaultExportTicks, TimeBudget(kMeasureBudgetMs));
  LoadSong(song_copy_.data(), song_size_);
  const int total = length.end == SongLength::End::kOutOfBudget
                        ? 0
                        : static_cast<int>(std::max<int64_t>(1, length.ticks));
  if (!export_progress_) {
    export_progress_ = new QProgressDialog(this);
    export_progress_->setObjectName(QStringLiteral("ExportProgress"));
    export_progress_->setWindowTitle(QStringLiteral("WAV に書き出す"));
    export_progress_->setLabelText(QStringLiteral("WAV に書き出しています…"));
    export_progress_->setCancelButtonText(QStringLiteral("キャンセル"));
    export_progress_->setWindowModality(Qt::WindowModal);
    export_progress_->setAutoReset(false);
    export_progress_->setAutoClose(false);
    export_progress_->setMinimumDuration(0);
  }
  export_progress_->setRange(0, total);
  export_progress_->setValue(0);
  export_progress_->show();
  RenderResult result;
  std::string error;
  const bool ok = RenderWav(
      DefaultPlayer().Song(), QFile::encodeName(path).toStdString(),
      settings_.soundfont.toStdString(), kDefaultExportTicks, &result, &error,
      [this, total](int64_t ticks) {
        if (total > 0)
          export_progress_->setValue(static_cast<int>(std::min<int64_t>(ticks, total)));
        QCoreApplication::processEvents();
        return !export_progress_->wasCanceled();
      },
      [this](Sequencer&) { LoadSong(song_copy_.data(), song_size_); });
  if (ok && total > 0) export_progress_->setValue(total);
  export_progress_->hide();
  OpenOutput(false);  // a fresh output after the offline run
  if (!ok) {
    if (error == "cancelled") {
      statusBar()->showMessage(QStringLiteral("WAV の書き出しを取り消しました"));
    } else {
      ReportExportFailure(path, QString::fromStdString(error));
    }
    return;
  }
  statusBar()->showMessage(
      QStringLiteral("書き出しました (%1 秒): %2").arg(result.seconds, 0, 'f', 1).arg(path));
}
