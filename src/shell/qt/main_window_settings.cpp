// The main window's settings: reading and writing them, the editor's font
// and colours, the MIDI output they name, and the settings dialog.
#include <QStatusBar>
#include <cstdio>

#include "player/player.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/main_window.h"
#include "shell/qt/message_dock.h"
#include "shell/qt/message_window.h"
#include "shell/qt/recent_files.h"
#include "shell/qt/roll_dock.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/score_highlighter.h"
#include "shell/qt/settings_dialog.h"
#include "shell/qt/sound_status.h"
#include "shell/qt/window_placement.h"

void MainWindow::ReadSettings() {
  settings_ = LoadSettings(*store_, [this](const FontSetting& wanted) {
    ApplyEditorFont(wanted);
    return wanted;
  });
  tool_bar_->setVisible(settings_.show_panel);
  Action(QStringLiteral("Panel1"))->setChecked(settings_.show_panel);
  Action(QStringLiteral("ShowMessage1"))->setChecked(settings_.show_message);
  ApplyMainPlacement(this, settings_.main_placement);
  recent_menu_->SetFiles(settings_.recent_files);
  edit_->SetLineNumbersVisible(settings_.line_numbers);
  Action(QStringLiteral("LineNumbers1"))->setChecked(settings_.line_numbers);
  Action(QStringLiteral("DockMessage1"))->setChecked(settings_.message_docked);
}

void MainWindow::ApplyEditorFont(const FontSetting& font) {
  settings_.editor_font = font;
  edit_->setFont(FontOfGroup(font));
  edit_->SetColors(ColorFromValue(font.color), ColorFromValue(font.back_color));
  highlighter_->SetColors(ColorFromValue(font.color), ColorFromValue(font.back_color));
  edit_->setTabStopDistance(edit_->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
}

// Opens the output the settings name. Without a device the player runs on a
// null output, so editing, compiling and even "playing" go on silently.
void MainWindow::OpenOutput(bool report_failure) {
  std::string error;
  std::unique_ptr<MidiOutput> output =
      open_output_(settings_.midi_output, settings_.soundfont, &error);
  const bool opened = OpenMidiDevices(std::move(output));
  // Opening resets the player's timer interval: the setting's comes back.
  SetTimerInterval(settings_.interval);
  if (opened) {
    sound_status_->ShowWorking();
    return;
  }
  // The box says that there is no device and why; the status bar's lasting
  // indicator and standard error keep the reason, so that the user knows
  // what to set up or choose instead.
  if (!error.empty()) std::fprintf(stderr, "quern-editor: %s\n", error.c_str());
  sound_status_->ShowFailure(QString::fromStdString(error));
  if (!report_failure) return;
  const QString text = QStringLiteral("MIDIデバイスが使用できません");
  const QString reason = EditorSoundReason(QString::fromStdString(error));
  if (error.empty() || reason == text) {
    dialogs_->Inform(this, QStringLiteral("Message"), text);
  } else {
    dialogs_->InformWithDetail(this, QStringLiteral("Message"), text, reason);
  }
}

void MainWindow::RunSettingsDialog() {
  SettingsValues values;
  values.interval = static_cast<int16_t>(settings_.interval);
  values.groups[0] = settings_.editor_font;
  values.groups[1] = settings_.message_font;
  values.groups[2] = settings_.browser_font;
  values.output = settings_.midi_output;
  values.soundfont = settings_.soundfont;
  settings_dialog_->SetValues(values, list_outputs_());
  if (dialogs_->RunModal(settings_dialog_) != QDialog::Accepted) return;

  values = settings_dialog_->Values();
  ApplyEditorFont(values.groups[0]);
  settings_.message_font = values.groups[1];
  messages_->ApplyFont(values.groups[1]);
  settings_.browser_font = values.groups[2];
  browser_->ApplyFont(values.groups[2]);
  settings_.interval = values.interval;
  if (values.output != settings_.midi_output || values.soundfont != settings_.soundfont) {
    // A new output: what plays stops, and the new output takes the next song.
    settings_.midi_output = values.output;
    settings_.soundfont = values.soundfont;
    CloseMidiDevices();
    OpenOutput(true);
  }
  // A playing song follows the new interval at once.
  SetTimerInterval(settings_.interval);
}

void MainWindow::WriteSettings() {
  settings_.show_panel = Action(QStringLiteral("Panel1"))->isChecked();
  settings_.show_message = message_dock_->Shown();
  settings_.main_placement = MainPlacement{x(), y(), width(), height()};
  settings_.browser_placement = browser_->CurrentPlacement();
  QRect messages = message_dock_->WindowGeometry();
  settings_.message_placement =
      Placement{messages.x(), messages.y(), messages.width(), messages.height()};
  settings_.message_docked = message_dock_->Docked();
  settings_.line_numbers = edit_->LineNumbersVisible();
  settings_.recent_files = recent_menu_->Files();
  roll_dock_->WriteSettings();
  QString error;
  if (!SaveSettings(*store_, settings_, &error)) {
    qWarning("quern-editor: the settings could not be saved: %s", qUtf8Printable(error));
  }
}
