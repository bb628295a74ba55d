// The main window's piano roll: the dock, and playing from a note or a bar
// of it the way play from the caret does.
#include "shell/qt/live_edit.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/main_window.h"
#include "shell/qt/roll_dock.h"

void MainWindow::CreateRollDock() {
  roll_dock_ = new RollDock(this, edit_, live_, store_.get(), [this](int64_t tick) {
    live_edit_->Cancel();
    live_->PlayFromTick(tick);
  });
}
