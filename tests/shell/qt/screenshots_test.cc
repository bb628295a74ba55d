// Pictures of the windows with the real compiler: the main window with a
// score (also in a dark colour scheme with line numbers), the message window
// after a failed compilation (also docked under the editor), the file
// browser and the settings dialog. Written to $QUERN_SCREENSHOTS when it is set
// (scripts/screenshots.sh), else to a temporary folder; either way every
// window must render to a picture of its own size.
#include <QDir>
#include <QListWidget>
#include <QPainter>
#include <QTextBlock>

#include "editor_fixture.h"
#include "player/sequencer.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/message_window.h"
#include "shell/qt/roll_dock.h"
#include "shell/qt/roll_widget.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/settings_dialog.h"

namespace {

// The window's contents under a plain title bar with its caption, since the
// offscreen platform draws no frames.
void Save(QWidget* widget, const QString& folder, const char* name) {
  QPixmap contents = widget->grab();
  QVERIFY(!contents.isNull());
  QCOMPARE(contents.size(), widget->size());
  constexpr int kBar = 26;
  QPixmap picture(contents.width() + 2, contents.height() + kBar + 1);
  picture.fill(QColor(0x5a, 0x6e, 0x8c));
  QPainter painter(&picture);
  painter.drawPixmap(1, kBar, contents);
  painter.setPen(Qt::white);
  QFont font = widget->font();
  font.setBold(true);
  painter.setFont(font);
  // The caption as the window system shows it: "[*]" becomes the
  // modified mark.
  QString caption = widget->windowTitle();
  caption.replace(QStringLiteral("[*]"),
                  widget->isWindowModified() ? QStringLiteral("*") : QString());
  painter.drawText(QRect(8, 0, picture.width() - 16, kBar), Qt::AlignVCenter | Qt::AlignLeft,
                   caption);
  painter.end();
  QVERIFY(picture.save(QDir(folder).filePath(QString::fromLatin1(name)), "PNG"));
}

void WriteScore(const QDir& dir, const char* name, const char* utf8) {
  WriteAll(dir.filePath(QString::fromLatin1(name)), SjisBytes(utf8));
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    folder_ = qEnvironmentVariable("QUERN_SCREENSHOTS");
    // The pictures show a folder with a plain name; a test run keeps to a
    // folder of its own, so that runs side by side never remove each
    // other's scores.
    QDir scores_parent = QDir::temp();
    if (folder_.isEmpty()) {
      folder_ = scratch_.path();
      scores_parent = QDir(scratch_.path());
    }
    QVERIFY(QDir().mkpath(folder_));
    QString demo = QFINDTESTDATA("../../../examples/demo.qrn");
    QVERIFY(!demo.isEmpty());

    // A folder of scores with a plain name, for the captions.
    scores_ = QDir(scores_parent.filePath(QStringLiteral("quern-scores")));
    scores_.removeRecursively();
    scores_made_ = true;
    QVERIFY(scores_.mkpath(QStringLiteral("drums")));
    QVERIFY(scores_.mkpath(QStringLiteral("sketches")));
    demo_ = scores_.filePath(QStringLiteral("demo.qrn"));
    QVERIFY(QFile::copy(demo, demo_));
    WriteScore(scores_, "haru.qrn", "#title \"春の歌\"\r\nA c\r\n");
    WriteScore(scores_, "etude01.qrn", "#title \"練習曲 第1番 ハ長調\"\r\nA c\r\n");
    WriteScore(scores_, "bass_line.qrn", "A o2 c\r\n");
    WriteScore(scores_, "yoru_no_machi.qrn", "#title \"夜の街 (ver.2)\"\r\nA c\r\n");
  }

  // A QDir left default-constructed names the working directory: only the
  // folder this test made is ever removed.
  void cleanupTestCase() {
    if (scores_made_) scores_.removeRecursively();
  }

  void mainWindowWithAScore() {
    EditorHarness h({demo_}, false, true);
    MainWindow& w = *h.window;
    w.resize(760, 600);
    w.show();
    QTextCursor cursor(w.Editor()->document()->findBlockByNumber(28));
    cursor.movePosition(QTextCursor::EndOfBlock);
    w.Editor()->setTextCursor(cursor);
    w.CompileText();
    QVERIFY(w.LastSeverity() <= 2);
    w.Messages()->hide();
    Save(&w, folder_, "main_window.png");
  }

  void messageWindowAfterAFailedCompilation() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(
        QStringLiteral("#title \"エラーの例\"\n"
                       "// 未定義の文字と閉じていないループ\n"
                       "A t120 o4 l8 cdef gab>c\n"
                       "B o3 l4 [c e g x]3 c あ\n"
                       "C o5 l2 [e d\n"));
    w.resize(640, 300);
    w.show();
    w.CompileText();
    QVERIFY(w.LastSeverity() > 2);
    QVERIFY(w.Messages()->isVisible());
    w.Messages()->resize(560, 260);
    w.Messages()->List()->setCurrentRow(0);
    QTest::keyClick(w.Messages()->List(), Qt::Key_Return);
    Save(w.Messages(), folder_, "message_window.png");
    Save(&w, folder_, "main_window_error.png");
  }

  // The demo mid-song: the notes that sound lit, the track list docked.
  void playing() {
    EditorHarness h({demo_}, false, true);
    MainWindow& w = *h.window;
    w.resize(900, 600);
    w.show();
    w.Messages()->hide();
    // The caret on track E: its playing place is followed, its bar shown.
    w.Editor()->setTextCursor(QTextCursor(w.Editor()->document()->findBlockByNumber(49)));
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Editor()->PlayheadMarks().isEmpty() && SequencerTickCount() > 600,
                             10000);
    w.Messages()->hide();
    Save(&w, folder_, "playing.png");
    w.StopSong();
  }

  // The demo from the middle of the song with the piano roll docked under
  // the text: the sounding notes lit, a macro call's notes outlined.
  void pianoRoll() {
    EditorHarness h({demo_}, false, true);
    MainWindow& w = *h.window;
    w.Roll()->ShowAction()->trigger();
    w.resize(1000, 860);
    w.show();
    w.Messages()->hide();
    w.resizeDocks({w.Roll()}, {400}, Qt::Vertical);
    const int taken = w.Roll()->ModelsTaken();
    w.CompileText();
    QTRY_VERIFY_WITH_TIMEOUT(w.Roll()->ModelsTaken() > taken, 10000);
    RollWidget* roll = w.Roll()->Roll();
    // The caret on a piano bar of the theme: every note of that %Pat.
    const QTextBlock line = w.Editor()->document()->findBlockByNumber(40);
    QVERIFY(line.text().startsWith(QStringLiteral("+ %Pat(a,~c,~e) %Pat(f,a,~c) %Pat(d,g,b)")));
    QTextCursor caret(line);
    caret.setPosition(line.position() + 29);
    w.Editor()->setTextCursor(caret);
    QTRY_VERIFY(!roll->Outlined().empty());
    RollViewport view = roll->View();
    view.px_per_tick *= 3;
    roll->SetView(view);
    const int64_t middle = roll->Model()->notes[roll->Outlined().front()].tick - 96;
    w.Live()->PlayFromTick(middle);
    QVERIFY(IsPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(SequencerTickCount() > middle + 300 && !roll->Scene().sounding.empty(),
                             10000);
    w.Messages()->hide();
    Save(&w, folder_, "piano_roll.png");
    w.StopSong();
  }

  // A selection played in a loop.
  void playSelection() {
    EditorHarness h({demo_}, false, true);
    MainWindow& w = *h.window;
    w.resize(900, 600);
    w.show();
    QTextCursor cursor(w.Editor()->document()->findBlockByNumber(51));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    w.Editor()->setTextCursor(cursor);
    w.Editor()->centerCursor();
    w.Action(QStringLiteral("Loop1"))->setChecked(true);
    w.Action(QStringLiteral("PlaySelection1"))->trigger();
    QVERIFY(IsPlaying());
    // The whole song plays over the selection's time: the selected line
    // lights up among the others, its notes shown over the selection.
    auto selected_line_lit = [&w] {
      for (const QTextEdit::ExtraSelection& mark : w.Editor()->extraSelections()) {
        if (mark.cursor.block().blockNumber() == 51 &&
            mark.format.background().color() == w.Editor()->MarkColors().note) {
          return true;
        }
      }
      return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(selected_line_lit(), 10000);
    w.Messages()->hide();
    Save(&w, folder_, "play_selection.png");
    w.StopSong();
  }

  // The demo playing with live editing on, just after an edit of the theme's
  // tempo took over without a restart.
  void liveEditing() {
    EditorHarness h({demo_}, false, true);
    MainWindow& w = *h.window;
    w.resize(900, 600);
    w.show();
    w.Action(QStringLiteral("LiveEdit1"))->setChecked(true);
    w.Editor()->setTextCursor(QTextCursor(w.Editor()->document()->findBlockByNumber(49)));
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(SequencerTickCount() > 600, 10000);
    const int at = w.Editor()->toPlainText().indexOf(QStringLiteral("t104"));
    QVERIFY(at >= 0);
    QTextCursor cursor(w.Editor()->document());
    cursor.setPosition(at + 1);
    cursor.setPosition(at + 4, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("112"));
    const int64_t edited = SequencerTickCount();
    QTRY_VERIFY_WITH_TIMEOUT(SequencerTickCount() > edited + 200 &&
                                 !w.Editor()->PlayheadMarks().isEmpty(),
                             10000);
    QVERIFY(IsPlaying());
    w.Messages()->hide();
    Save(&w, folder_, "live_edit.png");
    w.StopSong();
  }

  void mainWindowInADarkColourScheme() {
    EditorHarness h;
    h.Stop();
    {
      QSettings store(h.settings_path, QSettings::IniFormat);
      store.setValue("FontColor", ColourValue(0xdc, 0xdc, 0xdc));
      store.setValue("BackColor", ColourValue(0x1e, 0x1f, 0x26));
      store.setValue("LineNumbers", 1);
    }
    h.Start({demo_});
    MainWindow& w = *h.window;
    w.resize(760, 600);
    w.show();
    Save(&w, folder_, "main_window_dark.png");
  }

  void messagesDockedUnderTheEditor() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Action(QStringLiteral("DockMessage1"))->trigger();
    w.Action(QStringLiteral("LineNumbers1"))->trigger();
    w.Editor()->setPlainText(
        QStringLiteral("#title \"エラーの例\"\n"
                       "// 未定義の文字と閉じていないループ\n"
                       "A t120 o4 l8 cdef gab>c\n"
                       "B o3 l4 [c e g x]3 c あ\n"
                       "C o5 l2 [e d\n"));
    w.resize(640, 480);
    w.show();
    w.CompileText();
    QVERIFY(w.LastSeverity() > 2);
    QTest::keyClick(w.Messages()->List(), Qt::Key_Return);
    Save(&w, folder_, "main_window_docked.png");
  }

  void fileBrowser() {
    EditorHarness h;
    h.window->Browser()->SetBrowseDirectory(scores_.path());
    h.window->Browser()->resize(520, 300);
    h.dialogs.modal = [this](QDialog* dialog) {
      auto* browser = static_cast<FileBrowser*>(dialog);
      QVERIFY(browser->List()->count() == 8);
      browser->List()->setCurrentRow(4);
      Save(browser, folder_, "file_browser.png");
      browser->reject();
    };
    h.window->OpenWithBrowser();
  }

  void settingsDialog() {
    EditorHarness h;
    h.dialogs.modal = [this](QDialog* dialog) {
      Save(dialog, folder_, "settings_dialog.png");
      dialog->reject();
    };
    h.window->RunSettingsDialog();
  }

 private:
  QTemporaryDir scratch_;
  QString folder_;
  QString demo_;
  QDir scores_;
  bool scores_made_ = false;
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
