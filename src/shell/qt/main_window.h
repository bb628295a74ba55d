// The main editor window (TForm1): one score in the editor, the menus and
// the tool bar, and the commands that tie the editor to the compiler, the
// player, the compiler message window, the file browser and the settings.
//
// Creation runs the application's start-up in order: settings, MIDI output
// (a failure is reported and the editor runs on without sound), the timer
// interval, the compiler, the song copy; then the file browser (which opens
// the command-line file), the message window and the settings dialog.
// Closing asks to save a modified text, then stops playback, closes the
// output, releases the compiler and writes the settings.
//
// The window keeps the state the shell's windows share: the last severity
// (99 before the first compilation), the song copy of the last successful
// compilation and the settings. The player reads the song copy while a song
// plays, so it is only changed after StopPlayback.
#ifndef QUERN_SHELL_QT_MAIN_WINDOW_H_
#define QUERN_SHELL_QT_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/midi_output.h"
#include "shell/qt/score_compiler.h"
#include "shell/settings.h"
#include "shell/text_codec.h"

class Dialogs;
class DiskWatch;
class FileBrowser;
class LivePlayback;
class LiveEdit;
class FindDialog;
class MessageDock;
class MessageWindow;
class QAction;
class QDockWidget;
class QLabel;
class QProgressDialog;
class QSettings;
class QToolButton;
class RecentFilesMenu;
class RollDock;
class SoundStatus;
class ScoreEdit;
class ScoreHighlighter;
class SettingsDialog;

// Opens the output the settings name ("synth", "alsa:PORT", "none").
using OutputOpener = std::function<std::unique_ptr<MidiOutput>(
    const QString& name, const QString& soundfont, std::string* error)>;

struct EditorStart {
  QStringList arguments;                      // the command line's parameters, without the program
  Dialogs* dialogs = nullptr;                 // not owned; null: the toolkit's own dialogs
  std::unique_ptr<QSettings> store;           // null: the user's store
  std::unique_ptr<ScoreCompiler> compiler;    // null: the compile driver
  OutputOpener open_output;                   // empty: the device outputs
  std::function<QStringList()> list_outputs;  // empty: synth, the ALSA ports, none
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(EditorStart start);
  ~MainWindow() override;

  // Commands, as the menus and tool buttons run them.
  void CompileText();
  void PlaySong();
  void StopSong();
  bool QuerySave();
  bool SaveToPath(const QString& path);
  void SaveCurrent();
  bool SaveWithDialog();
  void LoadFile(const QString& path);
  void OpenWithBrowser();
  void NewScore();
  // New without the question: the text in hand is answered for.
  void ClearToNewScore();
  void SaveCompilePlay();
  void OutputXrt();
  void UpdateCommandStates();
  void JumpToPosition(int line, int column);
  void ToggleToolBar();
  void ToggleMessageWindow();
  void ShowAbout();
  void ConvertToHtmlClipboard(int form);
  void RunSettingsDialog();
  // Everyday editing, and the song written as a Standard MIDI File or WAV.
  void FindText();
  void ReplaceText();
  void GoToLine();
  void ToggleLineNumbers();
  void ToggleMessageDock();
  void OpenRecent(const QString& path);
  void ExportMidi();
  void ExportWav();
  // A Standard MIDI File opened as a new, unnamed score (midi_import.cpp).
  void ImportMidi();
  void ImportMidiFile(const QString& path);
  // The file in the editor changed or vanished on disk.
  void ReloadFromDisk();
  void ReportRemovedFromDisk();

  // State, for the other windows and for tests.
  int LastSeverity() const { return last_severity_; }
  const std::vector<uint8_t>& SongCopy() const { return song_copy_; }
  size_t SongSize() const { return song_size_; }
  const Settings& SettingsFields() const { return settings_; }
  QString CurrentFilePath() const;

  ScoreEdit* Editor() const { return edit_; }
  MessageWindow* Messages() const { return messages_; }
  FileBrowser* Browser() const { return browser_; }
  SettingsDialog* SettingsBox() const { return settings_dialog_; }
  QWidget* ToolBarStrip() const { return tool_bar_; }
  QToolButton* ToolButton(int number) const;   // SpeedButton1 .. SpeedButton4
  QAction* Action(const QString& name) const;  // by its object name, e.g. "Save1"
  QLabel* CaretLabel() const { return caret_label_; }
  LivePlayback* Live() const { return live_; }
  // The caption without the modified mark.
  QString Caption() const;
  FindDialog* FindBox() const { return find_dialog_; }
  QDockWidget* MessageDockWidget() const;
  RecentFilesMenu* RecentMenu() const { return recent_menu_; }
  SoundStatus* SoundIndicator() const { return sound_status_; }
  QProgressDialog* ExportProgress() const { return export_progress_; }
  DiskWatch* Watch() const { return disk_watch_; }
  RollDock* Roll() const { return roll_dock_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ReadSettings();
  void ApplyEditorFont(const FontSetting& font);
  void OpenOutput(bool report_failure);
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateOtherWindows();
  void WriteSettings();
  void ShutDown();
  void ShowCaretPosition();
  // After a jump: says in the status bar when the caret is on a full-width
  // space or letter (FullWidthNotice).
  void ReportFullWidthAtCaret();
  void BringToFront();
  void ShowCompileStatus(const QString& text);
  void SetCaption(const QString& text);
  void CreateEditingActions();
  void CreateImportAction();
  void CreateLiveEdit();
  void AddLiveEditButton();
  void CreateRollDock();
  bool CompileForLive(std::vector<uint8_t>* image, QStringList* tracks);
  void ApplyShortcutContexts();
  void ShowMessages();
  // After a load or save: the recent files, and the watch on the bytes the
  // file holds.
  void RememberFile(const QString& path, std::string bytes);
  bool SaveInPlaceOrAsk();
  bool SavesInPlace(const QString& path) const;
  void ReportUndecodable(const DecodedScore& score);
  bool CompileForExport();
  QString AskExportPath(const char* filter, const char* suffix);
  void ReportExportFailure(const QString& path, const QString& reason);
  void WarnAboutNul(const std::string& bytes);
  QAction* AddAction(const QString& name, const QString& caption, void (MainWindow::*slot)(),
                     const QKeySequence& shortcut = {});

  Dialogs* dialogs_;
  std::unique_ptr<Dialogs> own_dialogs_;
  std::unique_ptr<Dialogs> focus_dialogs_;  // dialogs_, giving the text the focus back
  std::unique_ptr<QSettings> store_;
  std::unique_ptr<ScoreCompiler> compiler_;
  OutputOpener open_output_;
  std::function<QStringList()> list_outputs_;
  QStringList arguments_;

  Settings settings_;
  int last_severity_ = 99;
  std::vector<uint8_t> song_copy_;
  size_t song_size_ = 0;
  QString save_dialog_name_;
  ScoreFormat format_;  // how the file in the editor is stored
  bool shut_down_ = false;
  bool reload_question_open_ = false;
  QString compile_status_;  // the status bar message of the last compilation

  ScoreEdit* edit_ = nullptr;
  ScoreHighlighter* highlighter_ = nullptr;
  QWidget* tool_bar_ = nullptr;
  QToolButton* buttons_[4] = {};
  QLabel* caret_label_ = nullptr;
  QTimer timer1_;
  FileBrowser* browser_ = nullptr;
  MessageWindow* messages_ = nullptr;
  SettingsDialog* settings_dialog_ = nullptr;
  LivePlayback* live_ = nullptr;   // playhead, play from the caret, track list
  LiveEdit* live_edit_ = nullptr;  // swaps in each good edit while a song plays
  FindDialog* find_dialog_ = nullptr;
  std::unique_ptr<MessageDock> message_dock_;
  RecentFilesMenu* recent_menu_ = nullptr;
  SoundStatus* sound_status_ = nullptr;
  QProgressDialog* export_progress_ = nullptr;
  DiskWatch* disk_watch_ = nullptr;
  RollDock* roll_dock_ = nullptr;  // the piano roll (main_window_roll.cpp)
};

#endif  // QUERN_SHELL_QT_MAIN_WINDOW_H_
