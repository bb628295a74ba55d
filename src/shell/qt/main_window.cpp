#include "shell/qt/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "player/output/outputs.h"
#include "player/player.h"
#include "player/song_export.h"
#include "shell/editor_rules.h"
#include "shell/html.h"
#include "shell/qt/colors.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/disk_watch.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/find_dialog.h"
#include "shell/qt/focus_dialogs.h"
#include "shell/qt/icons.h"
#include "shell/qt/live_edit.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/message_dock.h"
#include "shell/qt/message_window.h"
#include "shell/qt/note_text.h"
#include "shell/qt/recent_files.h"
#include "shell/qt/roll_dock.h"
#include "shell/qt/score_compiler.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/score_highlighter.h"
#include "shell/qt/settings_dialog.h"
#include "shell/qt/sound_status.h"
#include "shell/qt/track_list_dock.h"
#include "shell/qt/window_placement.h"
#include "shell/report_lines.h"
#include "shell/score_browser.h"
#include "shell/score_file.h"
#include "shell/text_codec.h"

namespace {

constexpr size_t kSongCopySize = 256000;
constexpr int kToolBarHeight = 34;
constexpr char kVersion[] = "0.1.0";

const QString kApplicationTitle = QStringLiteral("Quern MIDI for Windows95");
const QString kEditorCaption = QStringLiteral("Quern MIDI Editor");

std::unique_ptr<MidiOutput> OpenDeviceOutput(const QString& name, const QString& soundfont,
                                             std::string* error) {
  return OpenOutput(name.toStdString(), soundfont.toStdString(), error);
}

QStringList ListDeviceOutputs() {
  QStringList outputs{QStringLiteral("synth")};
  for (const std::string& port : ListMidiPorts()) {
    outputs.append(QStringLiteral("alsa:") + QString::fromStdString(port));
  }
  outputs.append(QStringLiteral("none"));
  return outputs;
}

}  // namespace

MainWindow::MainWindow(EditorStart start)
    : dialogs_(start.dialogs),
      store_(std::move(start.store)),
      compiler_(std::move(start.compiler)),
      open_output_(std::move(start.open_output)),
      list_outputs_(std::move(start.list_outputs)),
      arguments_(std::move(start.arguments)) {
  setObjectName(QStringLiteral("TForm1"));
  if (!dialogs_) {
    own_dialogs_ = std::make_unique<QtDialogs>();
    dialogs_ = own_dialogs_.get();
  }
  if (!store_) store_ = OpenSettingsStore();
  if (!compiler_) compiler_ = std::make_unique<ScoreCompiler>();
  if (!open_output_) open_output_ = OpenDeviceOutput;
  if (!list_outputs_) list_outputs_ = ListDeviceOutputs;

  InstallFontSubstitutes();
  SetCaption(kEditorCaption);
  edit_ = new ScoreEdit;
  edit_->setObjectName(QStringLiteral("Memo1"));
  focus_dialogs_ = std::make_unique<FocusDialogs>(dialogs_, edit_);
  dialogs_ = focus_dialogs_.get();
  highlighter_ = new ScoreHighlighter(edit_->document());
  // The Save command and the caption's mark follow the text's modified
  // state at once, so that F2 right after an edit saves.
  connect(edit_->document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
    setWindowModified(modified);
    UpdateCommandStates();
  });
  disk_watch_ = new DiskWatch(this);
  connect(disk_watch_, &DiskWatch::changedOnDisk, this, &MainWindow::ReloadFromDisk);
  connect(disk_watch_, &DiskWatch::removedFromDisk, this, &MainWindow::ReportRemovedFromDisk);
  recent_menu_ = new RecentFilesMenu(this);
  connect(recent_menu_, &RecentFilesMenu::openRequested, this, &MainWindow::OpenRecent);
  CreateActions();
  live_ = new LivePlayback(this, edit_, store_.get(), [this] {
    CompileText();
    return SongIsReady(last_severity_);
  });
  compiler_->SetSourceMap(live_->CompileMap());
  CreateLiveEdit();
  CreateRollDock();
  CreateEditingActions();
  CreateImportAction();
  ApplyShortcutContexts();
  CreateMenus();
  CreateToolBar();
  AddLiveEditButton();
  CreateStatusBar();

  // Start-up, in order: settings, MIDI output, interval, compiler, song copy.
  ReadSettings();
  OpenOutput(true);
  SetTimerInterval(settings_.interval);
  compiler_->SetUp();
  song_copy_.assign(kSongCopySize, 0);
  song_size_ = 0;
  last_severity_ = 99;

  CreateOtherWindows();

  connect(&timer1_, &QTimer::timeout, this, &MainWindow::UpdateCommandStates);
  timer1_.start(1000);
  UpdateCommandStates();
  ShowCaretPosition();
  // Typing at once goes into the text, not into the first dock.
  edit_->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  ShutDown();
  delete messages_;
}

// ---------------------------------------------------------------- creation

QAction* MainWindow::AddAction(const QString& name, const QString& caption,
                               void (MainWindow::*slot)(), const QKeySequence& shortcut) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(shortcut);
  if (slot) connect(action, &QAction::triggered, this, slot);
  return action;
}

void MainWindow::CreateActions() {
  // The designed keys, and the ones every desktop program has beside them.
  AddAction(QStringLiteral("New1"), QStringLiteral("新規作成(&N)"), &MainWindow::NewScore,
            QKeySequence(Qt::CTRL | Qt::Key_N));
  AddAction(QStringLiteral("Open1"), QStringLiteral("開く(&O) ..."), &MainWindow::OpenWithBrowser)
      ->setShortcuts({QKeySequence(Qt::Key_F1), QKeySequence(Qt::CTRL | Qt::Key_O)});
  AddAction(QStringLiteral("Save1"), QStringLiteral("上書き保存(&S)"), &MainWindow::SaveCurrent)
      ->setShortcuts({QKeySequence(Qt::Key_F2), QKeySequence(Qt::CTRL | Qt::Key_S)});
  connect(AddAction(QStringLiteral("SaveAs1"), QStringLiteral("名前を付けて保存(&A) ..."), nullptr),
          &QAction::triggered, this, [this] { SaveWithDialog(); });
  AddAction(QStringLiteral("OutputXRT1"), QStringLiteral("XRTﾌｧｲﾙを出力"), &MainWindow::OutputXrt);
  AddAction(QStringLiteral("Info1"), QStringLiteral("About ..."), &MainWindow::ShowAbout);
  connect(AddAction(QStringLiteral("Quit1"), QStringLiteral("終了(&Q)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_Q)),
          &QAction::triggered, this, &QWidget::close);

  connect(AddAction(QStringLiteral("Undo1"), QStringLiteral("元に戻す(&U)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_Z)),
          &QAction::triggered, edit_, &QPlainTextEdit::undo);
  connect(AddAction(QStringLiteral("Cut1"), QStringLiteral("切り取り(&T)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_X)),
          &QAction::triggered, edit_, &QPlainTextEdit::cut);
  connect(AddAction(QStringLiteral("Copy1"), QStringLiteral("ｺﾋﾟｰ(&C)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_C)),
          &QAction::triggered, edit_, &QPlainTextEdit::copy);
  connect(AddAction(QStringLiteral("Paste1"), QStringLiteral("貼り付け(&P)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_V)),
          &QAction::triggered, edit_, &QPlainTextEdit::paste);
  connect(AddAction(QStringLiteral("SelectAll1"), QStringLiteral("全て選択(&A)"), nullptr,
                    QKeySequence(Qt::CTRL | Qt::Key_A)),
          &QAction::triggered, edit_, &QPlainTextEdit::selectAll);

  AddAction(QStringLiteral("Componly1"), QStringLiteral("ｺﾝﾊﾟｲﾙのみ(&O)"),
            &MainWindow::CompileText);
  connect(AddAction(QStringLiteral("CompPlay1"), QStringLiteral("ｺﾝﾊﾟｲﾙと演奏(&C)"), nullptr,
                    Qt::Key_F12),
          &QAction::triggered, this, [this] {
            CompileText();
            PlaySong();
          });
  AddAction(QStringLiteral("SaveCompPlay1"), QStringLiteral("保存･ｺﾝﾊﾟｲﾙ･演奏"),
            &MainWindow::SaveCompilePlay, Qt::Key_F5);
  AddAction(QStringLiteral("Play1"), QStringLiteral("演奏(&P)"), &MainWindow::PlaySong);
  AddAction(QStringLiteral("Stop1"), QStringLiteral("演奏停止(&S) <ESC>"), &MainWindow::StopSong);

  QAction* panel =
      AddAction(QStringLiteral("Panel1"), QStringLiteral("ツールバー"), &MainWindow::ToggleToolBar);
  panel->setCheckable(true);
  panel->setChecked(true);
  AddAction(QStringLiteral("ShowMessage1"), QStringLiteral("ｺﾝﾊﾟｲﾗの出力"),
            &MainWindow::ToggleMessageWindow)
      ->setCheckable(true);
  AddAction(QStringLiteral("Interrupt1"), QStringLiteral("各種設定 ..."),
            &MainWindow::RunSettingsDialog);
  connect(AddAction(QStringLiteral("Html11"), QStringLiteral("HTML形式(1)"), nullptr),
          &QAction::triggered, this, [this] { ConvertToHtmlClipboard(1); });
  connect(AddAction(QStringLiteral("Html21"), QStringLiteral("HTML形式(2)"), nullptr),
          &QAction::triggered, this, [this] { ConvertToHtmlClipboard(2); });

  for (const char* name : {"Save1", "OutputXRT1", "Play1", "Stop1"}) {
    Action(QString::fromLatin1(name))->setEnabled(false);
  }
}

void MainWindow::CreateMenus() {
  auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if (name[0] == '*') {
        menu->addMenu(recent_menu_);
      } else if (name[0] == '-') {
        menu->addSeparator();
      } else {
        menu->addAction(Action(QString::fromLatin1(name)));
      }
    }
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("File1"));
  add(file, {"New1", "Open1", "Save1", "SaveAs1", "-", "ImportMidi1", "-", "OutputXRT1",
             "ExportMidi1", "ExportWav1", "-", "*", "-", "Info1", "-", "Quit1"});
  QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
  edit->setObjectName(QStringLiteral("Edit1"));
  add(edit, {"Undo1", "Redo1", "-", "Cut1", "Copy1", "Paste1", "-", "SelectAll1", "-", "Find1",
             "Replace1", "GoToLine1"});
  QMenu* quern = menuBar()->addMenu(QStringLiteral("ｺﾝﾊﾟｲﾙと演奏(&A)"));
  quern->setObjectName(QStringLiteral("Quern1"));
  add(quern, {"Componly1", "CompPlay1", "SaveCompPlay1", "-", "PlayFromCaret1", "PlaySelection1",
              "Loop1", "-", "LiveEdit1", "SwapAtBar1", "UpdateSong1", "-", "Play1", "Stop1"});
  quern->insertMenu(Action(QStringLiteral("UpdateSong1")), live_edit_->DelayMenu());
  QMenu* option = menuBar()->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
  option->setObjectName(QStringLiteral("Option1"));
  add(option, {"Panel1", "ShowMessage1", "DockMessage1", "LineNumbers1", "FollowPlayhead1", "-",
               "Interrupt1"});
  option->insertAction(Action(QStringLiteral("FollowPlayhead1")), live_->TrackListAction());
  option->insertAction(Action(QStringLiteral("FollowPlayhead1")), roll_dock_->ShowAction());
  QMenu* convert = option->addMenu(QStringLiteral("コンバート"));
  convert->setObjectName(QStringLiteral("Convert1"));
  add(convert, {"Html11", "Html21"});
}

void MainWindow::CreateToolBar() {
  tool_bar_ = new QWidget;
  tool_bar_->setObjectName(QStringLiteral("Bevel1"));
  tool_bar_->setFixedHeight(kToolBarHeight);
  auto* strip = new QHBoxLayout(tool_bar_);
  strip->setContentsMargins(8, 3, 8, 3);
  strip->setSpacing(6);
  struct Button {
    const char* hint;
    QIcon icon;
    int width;
    std::function<void()> run;
  };
  const Button specs[4] = {
      {"ﾌｧｲﾙを開く", OpenIcon(), 27, [this] { OpenWithBrowser(); }},
      {"上書き保存", SaveIcon(), 27, [this] { SaveCurrent(); }},
      {"ｺﾝﾊﾟｲﾙして演奏", CompilePlayIcon(), 57,
       [this] {
         CompileText();
         PlaySong();
       }},
      {"演奏停止", StopIcon(), 41, [this] { StopSong(); }},
  };
  for (int i = 0; i < 4; ++i) {
    auto* button = new QToolButton(tool_bar_);
    button->setObjectName(QStringLiteral("SpeedButton%1").arg(i + 1));
    button->setToolTip(QString::fromUtf8(specs[i].hint));
    button->setIcon(specs[i].icon);
    button->setIconSize(QSize(specs[i].width > 41 ? 48 : 24, 24) * 0.8);
    button->setFixedSize(specs[i].width, 27);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, specs[i].run);
    strip->addWidget(button);
    if (i == 1) strip->addSpacing(6);
    buttons_[i] = button;
  }
  strip->addStretch();
  buttons_[1]->setEnabled(false);
  buttons_[3]->setEnabled(false);

  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  column->addWidget(line);
  column->addWidget(tool_bar_);
  column->addWidget(edit_);
  setCentralWidget(central);
  connect(edit_, &ScoreEdit::escapePressed, this, &MainWindow::StopSong);
}

void MainWindow::CreateStatusBar() {
  // The caret's line and byte column, counted from 0 as the compiler's
  // report counts them, so that a report line can be matched at a glance.
  caret_label_ = new QLabel;
  caret_label_->setToolTip(QStringLiteral("行 : 桁 (バイト)"));
  caret_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  caret_label_->setMinimumWidth(
      caret_label_->fontMetrics().horizontalAdvance(QStringLiteral("99999 : 99999")) + 8);
  sound_status_ = new SoundStatus;
  connect(sound_status_, &QToolButton::clicked, this, [this] {
    settings_dialog_->FocusOutput();
    RunSettingsDialog();
  });
  statusBar()->addPermanentWidget(sound_status_);
  statusBar()->addPermanentWidget(caret_label_);
  connect(edit_, &QPlainTextEdit::cursorPositionChanged, this, &MainWindow::ShowCaretPosition);
}

void MainWindow::CreateOtherWindows() {
  // The file browser opens a file named on the command line.
  browser_ = new FileBrowser(this);
  browser_->ApplySettings(settings_.browser_placement, settings_.browser_font);
  QString command_line_file = browser_->TakeCommandLine(arguments_);
  if (!command_line_file.isEmpty()) LoadFile(command_line_file);

  messages_ = new MessageWindow;
  messages_->setAttribute(Qt::WA_QuitOnClose, false);
  // In front of the main window, also when a jump brings it forward.
  messages_->StayInFrontOf(this);
  // A docked window is shown only in its dock, never first on its own.
  messages_->ApplySettings(settings_.message_placement, settings_.message_font,
                           settings_.show_message && !settings_.message_docked);
  connect(messages_, &MessageWindow::jumpRequested, this, &MainWindow::JumpToPosition);
  connect(messages_, &MessageWindow::selectedLineChanged, edit_, &ScoreEdit::MarkDiagnosticLine);
  connect(messages_, &MessageWindow::closedByUser, this,
          [this] { Action(QStringLiteral("ShowMessage1"))->setChecked(false); });
  connect(messages_, &MessageWindow::stopRequested, this, &MainWindow::StopSong);
  message_dock_ = std::make_unique<MessageDock>(messages_, this);
  message_dock_->SetDocked(settings_.message_docked);
  if (settings_.message_docked && settings_.show_message) message_dock_->Show();

  settings_dialog_ = new SettingsDialog(dialogs_, this);
  find_dialog_ = new FindDialog(edit_, this);
}

QToolButton* MainWindow::ToolButton(int number) const {
  return buttons_[number - 1];
}

QAction* MainWindow::Action(const QString& name) const {
  return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

QString MainWindow::CurrentFilePath() const {
  return browser_->CurrentFilePath();
}

// ---------------------------------------------------------------- commands

void MainWindow::CompileText() {
  live_edit_->Cancel();
  // Unchanged lines compile from the file's own bytes, as `quern compile`
  // reads them.
  EncodedScore text = MakeCompileText(edit_->toPlainText(), format_);
  last_severity_ = compiler_->Compile(text.bytes.c_str());
  messages_->SetEntries(ReportEntries(compiler_->Report()));
  // The previous compilation's word goes; any other message (a save just
  // made, a file recreated) stays in sight.
  if (statusBar()->currentMessage() == compile_status_) statusBar()->clearMessage();
  compile_status_.clear();
  WarnAboutNul(text.bytes);
  if (text.unencodable > 0) {
    // The compiler reads Shift-JIS; say what it was given instead.
    ShowCompileStatus(
        QStringLiteral(
            "Shift-JIS で表せない文字 %1 個を \"?\" としてコンパイルしました (最初は %2 行)")
            .arg(text.unencodable)
            .arg(text.first_unencodable.line));
  }
  if (last_severity_ > 2) {
    ShowMessages();
    // Enter in the list jumps to the first problem at once.
    messages_->SelectFirstPosition();
    if (!message_dock_->Docked()) messages_->List()->setFocus();
  } else {
    // The player reads the song copy while it plays: stop before copying.
    StopPlayback();
    // The copy grows for an image larger than it, and is never written
    // beyond its size.
    std::basic_string_view<uint8_t> image = compiler_->Image();
    song_size_ = image.size();
    if (song_size_ > song_copy_.size()) song_copy_.resize(song_size_);
    if (song_size_ > 0) std::memcpy(song_copy_.data(), image.data(), song_size_);
    live_->SongCompiled(song_copy_.data(), song_size_, CompiledTrackNames());
    messages_->AppendEntry(
        QString::fromStdString(ObjectSizeLine(static_cast<long long>(song_size_))));
    BringToFront();
  }
  UpdateCommandStates();
}

void MainWindow::PlaySong() {
  live_edit_->Cancel();
  StopPlayback();
  if (last_severity_ > 2) return;
  std::string error;
  if (!LoadSong(song_copy_.data(), song_size_, &error)) {
    dialogs_->Inform(this, QStringLiteral("Error"), QString::fromStdString(error));
    return;
  }
  live_->SongLoaded();
  StartPlayback();
}

void MainWindow::StopSong() {
  live_edit_->Cancel();
  StopPlayback();
}

void MainWindow::OutputXrt() {
  if (last_severity_ > 2) return;
  QString path = MakeXrtPath(browser_->CurrentFilePath());
  std::string_view image(reinterpret_cast<const char*>(song_copy_.data()), song_size_);
  if (!WriteFileAtomically(path, image)) {
    dialogs_->Inform(this, QStringLiteral("Error"), QStringLiteral(".xrt ファイルが作れません"));
  }
}

void MainWindow::UpdateCommandStates() {
  CommandStateInputs in;
  in.text_modified = edit_->document()->isModified();
  in.last_severity = last_severity_;
  in.save_group_enabled = buttons_[1]->isEnabled();
  in.song_group_enabled = Action(QStringLiteral("OutputXRT1"))->isEnabled();
  CommandStateChanges changes = ::UpdateCommandStates(in);
  if (changes.save_group) {
    buttons_[1]->setEnabled(*changes.save_group);
    Action(QStringLiteral("Save1"))->setEnabled(*changes.save_group);
  }
  if (changes.song_group) {
    for (const char* name : {"OutputXRT1", "Play1", "Stop1"}) {
      Action(QString::fromLatin1(name))->setEnabled(*changes.song_group);
    }
    buttons_[3]->setEnabled(*changes.song_group);
  }
}

void MainWindow::JumpToPosition(int line, int column) {
  int offset = JumpToPositionOffset(edit_->toPlainText(), line, column);
  QTextCursor cursor = edit_->textCursor();
  cursor.setPosition(std::clamp(offset, 0, edit_->document()->characterCount() - 1));
  edit_->setTextCursor(cursor);
  edit_->ensureCursorVisible();
  ReportFullWidthAtCaret();
  BringToFront();
  edit_->setFocus();
}

void MainWindow::ToggleToolBar() {
  tool_bar_->setVisible(Action(QStringLiteral("Panel1"))->isChecked());
}

void MainWindow::ToggleMessageWindow() {
  if (Action(QStringLiteral("ShowMessage1"))->isChecked()) {
    message_dock_->Show();
  } else {
    message_dock_->Hide();
  }
}

void MainWindow::ShowAbout() {
  dialogs_->Inform(this, kApplicationTitle,
                   QStringLiteral("Quern MIDI %1\n\n"
                                  "テキストで書く MIDI 音楽の編集・コンパイル・演奏\n"
                                  "Qt %2, FluidSynth, RtMidi を使用しています。")
                       .arg(QLatin1String(kVersion), QString::fromLatin1(qVersion())));
}

void MainWindow::ConvertToHtmlClipboard(int form) {
  // The conversion touches only ASCII, so it runs on the editor's own text:
  // a UTF-8 score keeps its characters, and characters without a Shift-JIS
  // form are not turned into "?".
  QGuiApplication::clipboard()->setText(
      ConvertToHtml(edit_->toPlainText(), form == 2 ? HtmlForm::kLineBreaks : HtmlForm::kEscaped));
  dialogs_->Inform(nullptr, QStringLiteral("Quern MIDI Information"),
                   QStringLiteral("変換結果をクリップボードにコピーしました。"));
}

// ---------------------------------------------------------------- closing

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!QuerySave()) {
    event->ignore();
    return;
  }
  ShutDown();
  event->accept();
}

// Close, in order: stop, close the output, release the compiler, free the
// song copy, write the settings. Runs once.
void MainWindow::ShutDown() {
  if (shut_down_) return;
  shut_down_ = true;
  timer1_.stop();
  StopPlayback();
  CloseMidiDevices();
  compiler_->Release();
  song_copy_.clear();
  song_copy_.shrink_to_fit();
  song_size_ = 0;
  WriteSettings();
  message_dock_->Hide();
}

// ---------------------------------------------------------------- helpers

void MainWindow::ShowCaretPosition() {
  const SourcePlace place = PlaceOfPosition(edit_->document(), edit_->textCursor().position());
  caret_label_->setText(QStringLiteral("%1 : %2").arg(place.line).arg(place.column));
}

void MainWindow::ShowCompileStatus(const QString& text) {
  compile_status_ = text;
  statusBar()->showMessage(text);
}

void MainWindow::BringToFront() {
  raise();
  activateWindow();
}
