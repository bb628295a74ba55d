// The main window's commands, driven through its menus, buttons and keys.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>

#include "editor_fixture.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/settings_dialog.h"
#include "shell/qt/sound_status.h"

namespace {

const char kErrorReport[] = "  1 :   8 : EE未定義コマンドです\n";

bool Enabled(MainWindow& w, const char* name) {
  return w.Action(QString::fromLatin1(name))->isEnabled();
}

// The enabled state of the Save group and of the song group, each member
// listed, e.g. "save 1 1 song 0 0 0 0".
QString States(MainWindow& w) {
  return QStringLiteral("save %1 %2 song %3 %4 %5 %6")
      .arg(Enabled(w, "Save1"))
      .arg(w.ToolButton(2)->isEnabled())
      .arg(Enabled(w, "OutputXRT1"))
      .arg(Enabled(w, "Play1"))
      .arg(Enabled(w, "Stop1"))
      .arg(w.ToolButton(4)->isEnabled());
}

void Type(MainWindow& w, const QString& text) {
  w.Editor()->setFocus();
  QTest::keyClicks(w.Editor(), text);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void startUpShowsCaptionMenusAndButtons() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QCOMPARE(w.Caption(), QStringLiteral("Quern MIDI Editor"));
    QVERIFY(h.compiler->set_up);
    QCOMPARE(w.LastSeverity(), 99);
    QCOMPARE(w.SongCopy().size(), size_t(256000));
    QVERIFY(h.dialogs.informed.empty());

    QStringList menus;
    for (QAction* menu : w.menuBar()->actions()) menus << menu->text();
    QCOMPARE(menus, (QStringList{"ﾌｧｲﾙ(&F)", "編集(&E)", "ｺﾝﾊﾟｲﾙと演奏(&A)", "ｵﾌﾟｼｮﾝ(&O)"}));
    QStringList items;
    for (QAction* menu : w.menuBar()->actions()) {
      for (QAction* item : menu->menu()->actions()) {
        items << (item->isSeparator() ? QStringLiteral("-")
                                      : item->text() + QLatin1Char('|') +
                                            QKeySequence::listToString(item->shortcuts()));
      }
    }
    QCOMPARE(items.join(QLatin1Char('\n')),
             QStringLiteral("新規作成(&N)|Ctrl+N\n開く(&O) ...|F1; Ctrl+O\n"
                            "上書き保存(&S)|F2; Ctrl+S\n"
                            "名前を付けて保存(&A) ...|\n-\nMIDI ファイルを読み込む…|\n-\n"
                            "XRTﾌｧｲﾙを出力|\n"
                            "MIDI ファイルに書き出す…|\nWAV に書き出す…|\n-\n"
                            "最近使ったファイル(&R)|\n-\nAbout ...|\n-\n"
                            "終了(&Q)|Ctrl+Q\n"
                            "元に戻す(&U)|Ctrl+Z\nやり直し(&R)|Ctrl+Y; Ctrl+Shift+Z\n-\n"
                            "切り取り(&T)|Ctrl+X\nｺﾋﾟｰ(&C)|Ctrl+C\n"
                            "貼り付け(&P)|Ctrl+V\n-\n全て選択(&A)|Ctrl+A\n-\n"
                            "検索(&F) ...|Ctrl+F\n置換(&R) ...|Ctrl+H\n行へ移動(&G) ...|Ctrl+G\n"
                            "ｺﾝﾊﾟｲﾙのみ(&O)|\nｺﾝﾊﾟｲﾙと演奏(&C)|F12\n保存･ｺﾝﾊﾟｲﾙ･演奏|F5\n-\n"
                            "カーソル位置から演奏|Shift+F12\n選択範囲を演奏|Ctrl+F12\n繰り返し|\n-\n"
                            "ライブ編集|\n小節で切り替え|\n入力後の待ち時間|\n"
                            "演奏を更新|Ctrl+Shift+F12\n-\n"
                            "演奏(&P)|\n演奏停止(&S) <ESC>|\n"
                            "ツールバー|\nｺﾝﾊﾟｲﾗの出力|\nメッセージを下に表示|\n行番号|\nトラック|\n"
                            "ピアノロール|\n再生位置を追う|\n-\n"
                            "各種設定 ...|\nコンバート|"));
    QMenu* convert =
        w.Action(QStringLiteral("Html11"))->associatedObjects().isEmpty()
            ? nullptr
            : qobject_cast<QMenu*>(w.Action(QStringLiteral("Html11"))->associatedObjects().first());
    QVERIFY(convert);
    QCOMPARE(convert->title(), QStringLiteral("コンバート"));
    QCOMPARE(w.Action(QStringLiteral("Html21"))->text(), QStringLiteral("HTML形式(2)"));

    QStringList hints;
    for (int i = 1; i <= 4; ++i) hints << w.ToolButton(i)->toolTip();
    QCOMPARE(hints, (QStringList{"ﾌｧｲﾙを開く", "上書き保存", "ｺﾝﾊﾟｲﾙして演奏", "演奏停止"}));
    QCOMPARE(States(w), QStringLiteral("save 0 0 song 0 0 0 0"));
    QVERIFY(w.Action(QStringLiteral("Panel1"))->isChecked());
    QVERIFY(!w.Action(QStringLiteral("ShowMessage1"))->isChecked());
  }

  void functionKeysRunTheirCommandsFromTheEditor() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Type(w, QStringLiteral("A c"));
    QTest::keyClick(w.Editor(), Qt::Key_F12);
    QCOMPARE(h.compiler->texts.size(), size_t(1));
    QVERIFY(IsPlaying());
    QTest::keyClick(w.Editor(), Qt::Key_Escape);
    QVERIFY(!IsPlaying());
    w.Browser()->SetCurrentFilePath(h.Path("keys.qrn"));
    QTest::keyClick(w.Editor(), Qt::Key_F5);
    QCOMPARE(ReadAll(h.Path("keys.qrn")), QByteArray("A c"));
    QVERIFY(IsPlaying());
    Type(w, QStringLiteral(" d"));
    w.UpdateCommandStates();
    QTest::keyClick(w.Editor(), Qt::Key_F2);
    QCOMPARE(ReadAll(h.Path("keys.qrn")), QByteArray("A c d"));
    // Ctrl+Z reaches the editor's undo.
    QTest::keyClick(w.Editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
  }

  void startUpWithoutMidiStillEditsAndCompiles() {
    EditorHarness h({}, true);
    QCOMPARE(h.dialogs.informed.size(), size_t(1));
    QCOMPARE(h.dialogs.informed[0].caption, QStringLiteral("Message"));
    QCOMPARE(h.dialogs.informed[0].text, QStringLiteral("MIDIデバイスが使用できません"));
    QCOMPARE(h.dialogs.informed[0].detail, QStringLiteral("no device"));  // the output's reason
    // The reason stays in sight after the box is gone, and after compiling.
    SoundStatus* sound = h.window->SoundIndicator();
    QVERIFY(sound->isVisibleTo(h.window.get()));
    QCOMPARE(sound->text(), QStringLiteral("音が出ません"));
    QVERIFY2(sound->toolTip().startsWith(QStringLiteral("no device\n")),
             qPrintable(sound->toolTip()));
    Type(*h.window, QStringLiteral("A c"));
    h.window->Action(QStringLiteral("CompPlay1"))->trigger();
    QCOMPARE(h.window->LastSeverity(), 0);
    QCOMPARE(h.window->Messages()->Entries().last(), QStringLiteral("Object Size : 26 bytes"));
    QVERIFY(sound->isVisibleTo(h.window.get()));
    // The song runs on the null output, so that the time goes on.
    QVERIFY(IsPlaying());
    StopPlayback();

    // A click opens the settings at the output choice; an output that opens
    // takes the indicator away.
    h.dialogs.modal = [](QDialog* dialog) {
      auto* settings = static_cast<SettingsDialog*>(dialog);
      QCOMPARE(settings->focusWidget(), settings->OutputBox());
      settings->OutputBox()->setCurrentIndex(settings->OutputBox()->findData("none"));
      settings->accept();
    };
    sound->click();
    QCOMPARE(h.opened.last(), QStringLiteral("none|"));
    QVERIFY(!sound->isVisibleTo(h.window.get()));
  }

  void enableRulesFollowCompileErrorEditAndSave() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QVERIFY(!w.isWindowModified());
    Type(w, QStringLiteral("A cde"));
    // The first edit enables Save at once (F2 right after typing saves), and
    // the caption marks the text as modified.
    QCOMPARE(States(w), QStringLiteral("save 1 1 song 0 0 0 0"));
    QVERIFY(w.isWindowModified());
    QCOMPARE(w.windowTitle(), QStringLiteral("Quern MIDI Editor[*]"));

    h.compiler->results = {{0, "", LongNoteSong()}};
    w.Action(QStringLiteral("Componly1"))->trigger();
    QCOMPARE(States(w), QStringLiteral("save 1 1 song 1 1 1 1"));
    QCOMPARE(h.compiler->texts.back(), std::string("A cde\r\n\r\n\r\n"));

    h.compiler->results = {{3, Sjis(kErrorReport), {}}};
    w.Action(QStringLiteral("Componly1"))->trigger();
    QCOMPARE(States(w), QStringLiteral("save 1 1 song 0 0 0 0"));
    QVERIFY(w.Messages()->isVisible());
    QVERIFY(w.Action(QStringLiteral("ShowMessage1"))->isChecked());
    QCOMPARE(w.Messages()->Entries(), QStringList{QString::fromUtf8(kErrorReport).chopped(1)});
    // The song copy of the last good compilation stays.
    QCOMPARE(w.SongSize(), size_t(26));

    h.dialogs.save_paths = {h.Path("song.qrn")};
    w.Action(QStringLiteral("SaveAs1"))->trigger();
    QCOMPARE(States(w), QStringLiteral("save 0 0 song 0 0 0 0"));
    QCOMPARE(w.Caption(), h.Path("song.qrn"));
    QCOMPARE(w.CurrentFilePath(), h.Path("song.qrn"));

    // Play after a failed compilation only stops.
    w.Action(QStringLiteral("Play1"))->trigger();
    QVERIFY(!IsPlaying());
  }

  void compileWithErrorsLeavesThePlayingSongAndEscStillStopsIt() {
    EditorHarness h;
    MainWindow& w = *h.window;
    Type(w, QStringLiteral("A c"));
    w.ToolButton(3)->click();  // compile and play
    QVERIFY(IsPlaying());
    QVERIFY(h.dialogs.informed.empty());
    QTest::qWait(300);
    QVERIFY2(h.recording->Text().find("1 91 3c 50") != std::string::npos,
             h.recording->Text().c_str());

    h.compiler->results = {{3, Sjis(kErrorReport), {}}};
    w.Action(QStringLiteral("Componly1"))->trigger();
    QVERIFY(IsPlaying());
    QVERIFY(!Enabled(w, "Stop1"));
    QVERIFY(!w.ToolButton(4)->isEnabled());

    // Esc in the message list stops, as it does in the editor.
    QTest::keyClick(w.Messages()->List(), Qt::Key_Escape);
    QVERIFY(!IsPlaying());
    std::string text = h.recording->Text();
    QVERIFY2(text.find(" 91 3c 00") != std::string::npos, text.c_str());
  }

  void playBeforeAnyCompilationPlaysNothing() {
    EditorHarness h;
    h.window->PlaySong();
    QVERIFY(!IsPlaying());
    QVERIFY(h.recording->Messages().empty());
  }

  void querySaveAsksAndFollowsTheAnswer() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QVERIFY(w.QuerySave());
    QVERIFY(h.dialogs.asked.empty());

    Type(w, QStringLiteral("A c"));
    h.dialogs.answers = {Dialogs::Answer::kCancel};
    QVERIFY(!w.QuerySave());
    QCOMPARE(h.dialogs.asked.back().caption, QStringLiteral("Query"));
    QCOMPARE(h.dialogs.asked.back().text,
             QStringLiteral("テキストは変更されています\n保存しますか？"));

    h.dialogs.answers = {Dialogs::Answer::kNo};
    QVERIFY(w.QuerySave());
    QVERIFY(w.Editor()->document()->isModified());

    // Yes, then Cancel in the Save As dialog: abandon, nothing saved.
    h.dialogs.answers = {Dialogs::Answer::kYes};
    QVERIFY(!w.QuerySave());
    QVERIFY(w.Editor()->document()->isModified());

    h.dialogs.answers = {Dialogs::Answer::kYes};
    h.dialogs.save_paths = {h.Path("a.qrn")};
    QVERIFY(w.QuerySave());
    QCOMPARE(ReadAll(h.Path("a.qrn")), QByteArray("A c"));
    QVERIFY(!w.Editor()->document()->isModified());

    // A text that has a file is saved in place, without the dialog.
    Type(w, QStringLiteral(" d"));
    h.dialogs.answers = {Dialogs::Answer::kYes};
    size_t dialogs_before = h.dialogs.save_starts.size();
    QVERIFY(w.QuerySave());
    QCOMPARE(h.dialogs.save_starts.size(), dialogs_before);
    QCOMPARE(ReadAll(h.Path("a.qrn")), QByteArray("A c d"));
    QVERIFY(!w.Editor()->document()->isModified());
  }

  void openCancelledAnywhereChangesNothing() {
    EditorHarness h;
    MainWindow& w = *h.window;
    WriteAll(h.Path("first.qrn"), "A c\r\n");
    WriteAll(h.Path("second.qrn"), "B d\r\n");
    w.Browser()->SetBrowseDirectory(h.folder.path());
    auto choose = [](const char* name) {
      return [name](QDialog* dialog) {
        auto* browser = static_cast<FileBrowser*>(dialog);
        QList<QListWidgetItem*> found =
            browser->List()->findItems(QString::fromLatin1(name), Qt::MatchStartsWith);
        QVERIFY(!found.isEmpty());
        browser->List()->setCurrentItem(found.first());
        QTest::keyClick(browser->List(), Qt::Key_Return);
      };
    };

    // The browser cancelled.
    h.dialogs.modal = [](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); };
    w.Action(QStringLiteral("Open1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QString());
    QCOMPARE(w.Caption(), QStringLiteral("Quern MIDI Editor"));

    h.dialogs.modal = choose("first.qrn");
    w.ToolButton(1)->click();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c\n"));
    QCOMPARE(w.CurrentFilePath(), h.Path("first.qrn"));

    // Cancel in the save query.
    Type(w, QStringLiteral("x"));
    h.dialogs.modal = choose("second.qrn");
    h.dialogs.answers = {Dialogs::Answer::kCancel};
    w.Action(QStringLiteral("Open1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("xA c\n"));
    QCOMPARE(w.CurrentFilePath(), h.Path("first.qrn"));

    // Save still writes to the file that was open.
    w.UpdateCommandStates();
    w.Action(QStringLiteral("Save1"))->trigger();
    QCOMPARE(ReadAll(h.Path("first.qrn")), QByteArray("xA c\r\n"));
    QCOMPARE(ReadAll(h.Path("second.qrn")), QByteArray("B d\r\n"));

    // A text without a file: Yes, then Cancel in Save As opens nothing.
    w.Action(QStringLiteral("New1"))->trigger();
    Type(w, QStringLiteral("C e"));
    h.dialogs.answers = {Dialogs::Answer::kYes};
    w.Action(QStringLiteral("Open1"))->trigger();
    QCOMPARE(h.dialogs.save_starts.size(), size_t(1));
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("C e"));
    QCOMPARE(w.CurrentFilePath(), w.Browser()->BrowseDirectory());
  }

  void filesAreShiftJisWithCrLfAndLineBreaksAreMended() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QByteArray bytes = SjisBytes("#title \"曲\"\rA cde\nB efg\r\n");
    WriteAll(h.Path("in.qrn"), bytes);
    w.LoadFile(h.Path("in.qrn"));
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("#title \"曲\"\nA cde\nB efg\n"));
    QCOMPARE(w.Caption(), h.Path("in.qrn"));
    QVERIFY(!w.Editor()->document()->isModified());
    // LoadFile leaves the current file path to its callers.
    QCOMPARE(w.CurrentFilePath(), QString());

    QVERIFY(w.SaveToPath(h.Path("out.qrn")));
    QCOMPARE(ReadAll(h.Path("out.qrn")), SjisBytes("#title \"曲\"\r\nA cde\r\nB efg\r\n"));

    // A line with a code that Shift-JIS holds twice (ED40 hex, whose twin
    // is FA5C hex) compiles from the file's bytes, as the command line
    // reads them.
    WriteAll(h.Path("twin.qrn"), QByteArray("A c \xED\x40\r\n"));
    w.LoadFile(h.Path("twin.qrn"));
    w.CompileText();
    QCOMPARE(h.compiler->texts.back(), std::string("A c \xED\x40\r\n\r\n\r\n"));

    // A file that cannot be read is skipped without a word.
    w.LoadFile(h.Path("missing.qrn"));
    QCOMPARE(w.Caption(), h.Path("twin.qrn"));
    QVERIFY(h.dialogs.informed.empty());
  }

  void bytesAndCharactersShiftJisCannotHoldAreNeverLostSilently() {
    EditorHarness h;
    MainWindow& w = *h.window;
    // 0x80 is no Shift-JIS character: the user is told, and a save keeps it.
    WriteAll(h.Path("odd.qrn"), QByteArray("A c\x80 d\r\nB e\r\n"));
    w.LoadFile(h.Path("odd.qrn"));
    QCOMPARE(h.dialogs.informed.size(), size_t(1));
    QCOMPARE(h.dialogs.informed[0].caption, QStringLiteral("Message"));
    QTextCursor end(w.Editor()->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("C f"));
    QVERIFY(w.SaveToPath(h.Path("odd.qrn")));
    QCOMPARE(ReadAll(h.Path("odd.qrn")), QByteArray("A c\x80 d\r\nB e\r\nC f"));

    // A typed character without a Shift-JIS form: the user chooses.
    w.Editor()->selectAll();
    w.Editor()->insertPlainText(QStringLiteral("A c // \u266b"));
    h.dialogs.answers = {Dialogs::Answer::kCancel};
    QVERIFY(!w.SaveToPath(h.Path("note.qrn")));
    QVERIFY(!QFile::exists(h.Path("note.qrn")));
    QVERIFY(w.Editor()->document()->isModified());
    h.dialogs.answers = {Dialogs::Answer::kYes};
    QVERIFY(w.SaveToPath(h.Path("note.qrn")));
    QCOMPARE(ReadAll(h.Path("note.qrn")), QStringLiteral("A c // \u266b").toUtf8());
  }

  void failedSaveIsReportedAndTheTextStaysModified() {
    EditorHarness h;
    MainWindow& w = *h.window;
    Type(w, QStringLiteral("A c"));
    h.dialogs.save_paths = {h.Path("no/such/folder/a.qrn")};
    QVERIFY(!w.SaveWithDialog());
    QCOMPARE(h.dialogs.informed.size(), size_t(1));
    QCOMPARE(h.dialogs.informed[0].caption, QStringLiteral("Error"));
    QVERIFY(w.Editor()->document()->isModified());
    QCOMPARE(w.Caption(), QStringLiteral("Quern MIDI Editor"));
    w.UpdateCommandStates();
    QVERIFY(Enabled(w, "Save1"));
  }

  void saveCompilePlayWritesThenPlays() {
    EditorHarness h;
    MainWindow& w = *h.window;
    Type(w, QStringLiteral("A c"));
    // No file yet: Save As asks for one; cancelled, nothing is compiled or
    // played.
    w.Action(QStringLiteral("SaveCompPlay1"))->trigger();
    QCOMPARE(h.dialogs.save_starts.size(), size_t(1));
    QVERIFY(h.dialogs.informed.empty());
    QVERIFY(h.compiler->texts.empty());
    QVERIFY(!IsPlaying());

    // Saved through the dialog, it goes on to compile and play.
    h.dialogs.save_paths = {h.Path("song.qrn")};
    w.Action(QStringLiteral("SaveCompPlay1"))->trigger();
    QCOMPARE(ReadAll(h.Path("song.qrn")), QByteArray("A c"));
    QCOMPARE(w.CurrentFilePath(), h.Path("song.qrn"));
    QCOMPARE(h.compiler->texts.size(), size_t(1));
    QVERIFY(IsPlaying());
    StopPlayback();

    // After New the current path is the folder: Save As again, never a
    // write to the folder's own name.
    h.dialogs.answers = {Dialogs::Answer::kNo};
    w.NewScore();
    Type(w, QStringLiteral("B d"));
    h.dialogs.save_paths = {h.Path("new.qrn")};
    w.Action(QStringLiteral("SaveCompPlay1"))->trigger();
    QCOMPARE(ReadAll(h.Path("new.qrn")), QByteArray("B d"));
    QVERIFY(h.dialogs.informed.empty());
    QCOMPARE(h.compiler->texts.size(), size_t(2));
    QVERIFY(IsPlaying());

    w.Browser()->SetCurrentFilePath(h.Path("song.qrn"));
    w.Action(QStringLiteral("SaveCompPlay1"))->trigger();
    QCOMPARE(ReadAll(h.Path("song.qrn")), QByteArray("B d"));
    QCOMPARE(h.compiler->texts.size(), size_t(3));
    QVERIFY(IsPlaying());
    w.Action(QStringLiteral("Stop1"))->trigger();
    QVERIFY(!IsPlaying());
  }

  void xrtOutputWritesTheSongCopyBesideTheScore() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QVERIFY(QDir(h.folder.path()).mkpath(QStringLiteral("a.b")));
    w.Browser()->SetCurrentFilePath(h.Path("a.b/song"));

    // Nothing compiled: no file.
    w.OutputXrt();
    QVERIFY(!QFile::exists(h.Path("a.b/song.xrt")));

    std::basic_string<uint8_t> big = LongNoteSong();
    big.resize(300000, 0);  // larger than the designed copy
    h.compiler->results = {{2, "", big}};
    w.CompileText();
    QCOMPARE(w.SongSize(), size_t(300000));
    w.Action(QStringLiteral("OutputXRT1"))->trigger();
    QByteArray written = ReadAll(h.Path("a.b/song.xrt"));
    QCOMPARE(written.size(), qsizetype(300000));
    QVERIFY(written == QByteArray(reinterpret_cast<const char*>(big.data()), 300000));
    QVERIFY(!QFile::exists(h.Path("a.xrt")));

    w.Browser()->SetCurrentFilePath(h.Path("no/such/song.qrn"));
    w.OutputXrt();
    QCOMPARE(h.dialogs.informed.back().caption, QStringLiteral("Error"));
    QCOMPARE(h.dialogs.informed.back().text, QStringLiteral(".xrt ファイルが作れません"));
  }

  void jumpFromAReportLineIntoADoubleByteLine() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("#title \"x\"\nA あいう cde\nB c\n"));
    h.compiler->results = {{3,
                            Sjis("  1 :   9 : EE未定義コマンドです\n"
                                 "  2 :   2 : WW警告\n"
                                 "Track A : 0 events\n"),
                            {}}};
    w.CompileText();
    QListWidget* list = w.Messages()->List();
    QCOMPARE(list->count(), 3);

    // Column 9 counts bytes: "A " is 2, each kana 2, then a blank: "cde".
    list->setCurrentRow(0);
    QCOMPARE(w.Editor()->MarkedDiagnosticLine(), 1);
    QTest::keyClick(list, Qt::Key_Return);
    QTextCursor cursor = w.Editor()->textCursor();
    QCOMPARE(cursor.blockNumber(), 1);
    QCOMPARE(cursor.positionInBlock(), 6);
    QCOMPARE(w.CaretLabel()->text(), QStringLiteral("1 : 9"));

    // Double-click jumps too; a line without a position does nothing.
    QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 2);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 2);
    list->setCurrentRow(2);
    QCOMPARE(w.Editor()->MarkedDiagnosticLine(), -1);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 2);

    // Beyond the last line: the end of the text.
    w.JumpToPosition(40, 0);
    QVERIFY(w.Editor()->textCursor().atEnd());
  }

  void theCompilersReportLeadsIntoADoubleByteLine() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("#title \"テスト\"\nA あ c x\n"));
    w.Action(QStringLiteral("Componly1"))->trigger();
    QCOMPARE(w.LastSeverity(), 3);
    QVERIFY(w.Messages()->isVisible());
    // The kana is two bytes (columns 2 and 3); the x is at byte 7.
    QStringList entries = w.Messages()->Entries();
    QVERIFY(entries.size() >= 3);
    QVERIFY2(entries[2].startsWith(QStringLiteral("  1 :   7 : ")), qPrintable(entries[2]));
    w.Messages()->List()->setCurrentRow(2);
    QTest::keyClick(w.Messages()->List(), Qt::Key_Enter);
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 1);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 6);
    // Column 3 is the kana's second byte: the caret goes before the kana.
    w.Messages()->List()->setCurrentRow(1);
    QTest::keyClick(w.Messages()->List(), Qt::Key_Enter);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 2);

    w.Editor()->setPlainText(QStringLiteral("A cde\n"));
    w.Action(QStringLiteral("Componly1"))->trigger();
    QVERIFY(w.LastSeverity() <= 2);
    QVERIFY(w.Messages()->Entries().last().startsWith(QStringLiteral("Object Size : ")));
    QCOMPARE(w.Messages()->Entries().last(),
             QStringLiteral("Object Size : %1 bytes").arg(w.SongSize()));
  }

  void newTakesTheBrowseDirectory() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Browser()->SetBrowseDirectory(h.folder.path() + QLatin1Char('/'));
    Type(w, QStringLiteral("A c"));
    h.dialogs.answers = {Dialogs::Answer::kNo};
    w.Action(QStringLiteral("New1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QString());
    QVERIFY(!w.Editor()->document()->isModified());
    QCOMPARE(w.Caption(), h.folder.path() + QLatin1Char('/'));
    QCOMPARE(w.CurrentFilePath(), h.folder.path() + QLatin1Char('/'));
    // Save after New asks for a name.
    Type(w, QStringLiteral("A c"));
    h.dialogs.save_paths = {h.Path("new.qrn")};
    w.SaveCurrent();
    QCOMPARE(ReadAll(h.Path("new.qrn")), QByteArray("A c"));
    QCOMPARE(w.CurrentFilePath(), h.Path("new.qrn"));
  }

  void htmlConversionGoesToTheClipboard() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("a<b&c\n\n>>あ"));
    w.Action(QStringLiteral("Html11"))->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("a&ltb&ampc\r\n\r\n&gt&gtあ\r\n"));
    QCOMPARE(h.dialogs.informed.back().caption, QStringLiteral("Quern MIDI Information"));
    QCOMPARE(h.dialogs.informed.back().text,
             QStringLiteral("変換結果をクリップボードにコピーしました。"));
    w.Action(QStringLiteral("Html21"))->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("a&ltb&ampc<BR>\r\n<BR>\r\n&gt&gtあ\r\n"));

    // A score read as UTF-8 converts its own characters, not their
    // Shift-JIS bytes read as UTF-8.
    WriteAll(h.Path("utf8.qrn"), QStringLiteral("#title \"曲\"\r\nA c<d>\r\n").toUtf8());
    w.LoadFile(h.Path("utf8.qrn"));
    w.Action(QStringLiteral("Html11"))->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("#title \"曲\"\r\nA c&ltd&gt\r\n"));
  }

  void toolBarAndMessageWindowToggle() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.show();
    QAction* panel = w.Action(QStringLiteral("Panel1"));
    panel->trigger();
    QVERIFY(!panel->isChecked());
    QVERIFY(!w.ToolBarStrip()->isVisible());
    panel->trigger();
    QVERIFY(w.ToolBarStrip()->isVisible());

    QAction* messages = w.Action(QStringLiteral("ShowMessage1"));
    messages->trigger();
    QVERIFY(messages->isChecked());
    QVERIFY(w.Messages()->isVisible());
    // Closing the window hides it and takes the check away.
    w.Messages()->close();
    QVERIFY(!w.Messages()->isVisible());
    QVERIFY(!messages->isChecked());
    messages->trigger();
    QVERIFY(w.Messages()->isVisible());
    messages->trigger();
    QVERIFY(!w.Messages()->isVisible());
  }

  void aboutShowsTheApplicationTitle() {
    EditorHarness h;
    h.window->Action(QStringLiteral("Info1"))->trigger();
    QCOMPARE(h.dialogs.informed.back().caption, QStringLiteral("Quern MIDI for Windows95"));
    QVERIFY(h.dialogs.informed.back().text.startsWith(QStringLiteral("Quern MIDI ")));
  }

  void closeAsksFirstThenShutsDownInOrder() {
    EditorHarness h;
    MainWindow& w = *h.window;
    Type(w, QStringLiteral("A c"));
    w.ToolButton(3)->click();
    QVERIFY(IsPlaying());
    h.dialogs.answers = {Dialogs::Answer::kCancel};
    QVERIFY(!h.Close());
    QVERIFY(IsPlaying());
    QVERIFY(!h.compiler->released);

    h.dialogs.answers = {Dialogs::Answer::kNo};
    QVERIFY(h.Close());
    QVERIFY(!IsPlaying());
    QVERIFY(h.compiler->released);
    QSettings stored(h.settings_path, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("IntrIntv")).toInt(), 4);
    QVERIFY(stored.contains(QStringLiteral("Wnd3FntClrB")));
  }

  void commandLineFileIsOpenedAtStartUp() {
    QTemporaryDir scores;
    QString path = scores.filePath(QStringLiteral("song.qrn"));
    WriteAll(path, SjisBytes("A あ\r\n"));
    {
      EditorHarness h({path, QStringLiteral("ignored")});
      QCOMPARE(h.window->Editor()->toPlainText(), QStringLiteral("A あ\n"));
      QCOMPARE(h.window->Caption(), path);
      QCOMPARE(h.window->CurrentFilePath(), path);
      QCOMPARE(h.window->Browser()->BrowseDirectory(), scores.path() + QLatin1Char('/'));
    }
    {
      // A file that cannot be read: nothing loaded, both paths set.
      QString missing = scores.filePath(QStringLiteral("missing.qrn"));
      EditorHarness h({missing});
      QCOMPARE(h.window->Editor()->toPlainText(), QString());
      QCOMPARE(h.window->Caption(), QStringLiteral("Quern MIDI Editor"));
      QCOMPARE(h.window->CurrentFilePath(), missing);
      QCOMPARE(h.window->Browser()->BrowseDirectory(), scores.path() + QLatin1Char('/'));
    }
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
