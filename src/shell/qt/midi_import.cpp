// The editor's MIDI import: "MIDI ファイルを読み込む…" in the File menu and a
// .mid file dropped on the window. The score opens as a new, unnamed text and
// the import report goes to the message window.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <utility>

#include "files/file_io.h"
#include "files/score_text.h"
#include "import/score_writer.h"
#include "import/smf_reader.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/main_window.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"

namespace {

QString DroppedMidiPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    const QString path = url.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mid") || suffix == QLatin1String("midi")) return path;
  }
  return {};
}

// Takes .mid drops on the window and on the editor, before the editor would
// paste the file's address as text.
class MidiDropFilter : public QObject {
 public:
  explicit MidiDropFilter(MainWindow* window) : QObject(window), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!DroppedMidiPath(drag->mimeData()).isEmpty()) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const QString path = DroppedMidiPath(drop->mimeData());
      if (!path.isEmpty()) {
        drop->acceptProposedAction();
        window_->ImportMidiFile(path);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  MainWindow* window_;
};

}  // namespace

void MainWindow::CreateImportAction() {
  AddAction(QStringLiteral("ImportMidi1"), QStringLiteral("MIDI ファイルを読み込む…"),
            &MainWindow::ImportMidi);
  auto* filter = new MidiDropFilter(this);
  setAcceptDrops(true);
  installEventFilter(filter);
  edit_->viewport()->installEventFilter(filter);
}

void MainWindow::ImportMidi() {
  const QString path =
      dialogs_->AskOpenPath(this, browser_->BrowseDirectory(),
                            QStringLiteral("MIDI ファイル (*.mid *.midi);;すべてのファイル (*)"));
  if (!path.isEmpty()) ImportMidiFile(path);
}

void MainWindow::ImportMidiFile(const QString& path) {
  const std::string file_path = path.toStdString();
  std::string bytes, error;
  SmfSong song;
  if (!ReadFileChecked(file_path, kMaxInputFileBytes, &bytes, &error) ||
      !ReadSmf(bytes, &song, &error)) {
    messages_->ClearEntries();
    messages_->AppendEntry(QFileInfo(path).fileName() + QStringLiteral(": ") +
                           QString::fromStdString(error));
    messages_->ShowInFront();
    return;
  }
  if (!QuerySave()) return;
  const ImportResult result = WriteScore(
      std::move(song), QFileInfo(path).completeBaseName().toStdString(), ImportOptions{});
  ClearToNewScore();
  edit_->setPlainText(QString::fromStdString(result.score));
  edit_->document()->setModified(true);
  messages_->ClearEntries();
  messages_->AppendEntry(QFileInfo(path).fileName() + QStringLiteral(" を読み込みました"));
  for (const std::string& line : result.report)
    messages_->AppendEntry(QString::fromStdString(line));
  for (const std::string& line : result.compiler_messages) {
    messages_->AppendEntry(QString::fromStdString(ShiftJisToUtf8(line)));
  }
  messages_->ShowInFront();
  UpdateCommandStates();
}
