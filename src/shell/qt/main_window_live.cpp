// The main window's live editing: the actions and tool bar button, and the
// compilation that leaves the playing song alone.
#include <QHBoxLayout>
#include <QStatusBar>
#include <QToolButton>

#include "compiler/driver/driver.h"
#include "shell/editor_rules.h"
#include "shell/qt/live_edit.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/main_window.h"
#include "shell/qt/message_dock.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_compiler.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"
#include "shell/report_lines.h"
#include "shell/score_file.h"

void MainWindow::CreateLiveEdit() {
  LiveEdit::Hooks hooks;
  hooks.compile = [this](std::vector<uint8_t>* image, QStringList* tracks) {
    return CompileForLive(image, tracks);
  };
  hooks.playing = [this] {
    return std::pair<const uint8_t*, size_t>(song_copy_.data(), song_size_);
  };
  hooks.commit = [this](std::vector<uint8_t>* image) {
    // The player reads the new bytes where they are: swap the buffers
    // (never resize the new one, which would move them).
    song_size_ = image->size();
    std::swap(song_copy_, *image);
    image->clear();
    image->shrink_to_fit();
    return std::pair<const uint8_t*, size_t>(song_copy_.data(), song_size_);
  };
  live_edit_ = new LiveEdit(this, edit_, store_.get(), live_, std::move(hooks));
}

void MainWindow::AddLiveEditButton() {
  auto* button = new QToolButton(tool_bar_);
  button->setObjectName(QStringLiteral("LiveEditButton1"));
  button->setDefaultAction(live_edit_->LiveAction());
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  auto* strip = static_cast<QHBoxLayout*>(tool_bar_->layout());
  strip->insertWidget(strip->count() - 1, button);  // before the stretch
}

// Compiles the text for live editing: the messages go to the message window
// without taking the focus from the text, and the playing song goes on.
bool MainWindow::CompileForLive(std::vector<uint8_t>* image, QStringList* tracks) {
  EncodedScore text = MakeCompileText(edit_->toPlainText(), format_);
  const int severity = compiler_->Compile(text.bytes.c_str());
  messages_->SetEntries(ReportEntries(compiler_->Report()));
  if (severity > 2) {
    ShowMessages();
    activateWindow();
    edit_->setFocus();
    return false;
  }
  last_severity_ = severity;
  std::basic_string_view<uint8_t> bytes = compiler_->Image();
  image->assign(bytes.begin(), bytes.end());
  *tracks = CompiledTrackNames();
  messages_->AppendEntry(
      QString::fromStdString(ObjectSizeLine(static_cast<long long>(image->size()))));
  return true;
}
