// The editor's first minute, as a new user meets it: the keyboard focus in
// the text, the usual control keys, New as a clean page, the message
// window in front, a track list that shows all its columns.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QWindow>

#include "editor_fixture.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/find_dialog.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/settings_dialog.h"
#include "shell/qt/track_list_dock.h"

namespace {

void ShowActive(MainWindow& w) {
  w.show();
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
}

// A widget of the main window other than the text that takes the focus.
QWidget* OtherFocusTaker(MainWindow& w) {
  return w.Live()->Tracks()->widget();
}

}  // namespace

class EditorFirstMinuteTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void theTextHasTheFocusAtStartAndAfterEveryDialog() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Live()->Tracks()->show();
    ShowActive(w);
    QCOMPARE(QApplication::focusWidget(), w.Editor());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("A c"));
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));

    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"About", [&] { w.Action(QStringLiteral("Info1"))->trigger(); }},
        {"go to line", [&] { w.Action(QStringLiteral("GoToLine1"))->trigger(); }},
        {"settings", [&] { w.Action(QStringLiteral("Interrupt1"))->trigger(); }},
        {"file browser", [&] { w.Action(QStringLiteral("Open1"))->trigger(); }},
        {"save query", [&] { w.Action(QStringLiteral("New1"))->trigger(); }},  // Cancel
        {"Save As", [&] { w.Action(QStringLiteral("SaveAs1"))->trigger(); }},  // cancelled
        {"HTML", [&] { w.Action(QStringLiteral("Html11"))->trigger(); }},
    };
    for (const auto& [name, run] : dialogs) {
      QWidget* other = OtherFocusTaker(w);
      other->setFocus();
      QCOMPARE(QApplication::focusWidget(), other);
      run();
      // The window manager gives the main window back its activation when
      // a dialog closes; the offscreen platform needs telling.
      w.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&w));
      QVERIFY2(QApplication::focusWidget() == w.Editor(), name);
    }
    QVERIFY(h.dialogs.asked.size() == 1 && h.dialogs.save_starts.size() == 1);
  }

  void controlKeysSaveNewAndOpenBesideTheFunctionKeys() {
    EditorHarness h;
    MainWindow& w = *h.window;
    ShowActive(w);
    const QString path = h.Path("keys.qrn");
    WriteAll(path, "A c");
    w.Browser()->SetCurrentFilePath(path);
    w.LoadFile(path);
    w.Editor()->setFocus();
    w.Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(w.Editor(), QStringLiteral(" d"));
    QTest::keyClick(w.Editor(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path), QByteArray("A c d"));
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c d"));  // no "s" typed

    int browsed = 0;
    h.dialogs.modal = [&](QDialog* dialog) {
      if (qobject_cast<FileBrowser*>(dialog)) ++browsed;
      dialog->reject();
    };
    QTest::keyClick(w.Editor(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(w.Editor(), Qt::Key_F1);
    QCOMPARE(browsed, 2);

    QTest::keyClick(w.Editor(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(w.Editor()->toPlainText(), QString());
    QCOMPARE(w.CurrentFilePath(), w.Browser()->BrowseDirectory());

    // No key runs two commands.
    QSet<QString> keys;
    for (QAction* action : w.findChildren<QAction*>()) {
      for (const QKeySequence& key : action->shortcuts()) {
        const QString text = key.toString();
        QVERIFY2(!keys.contains(text), qPrintable(text));
        keys.insert(text);
      }
    }
    for (const char* key : {"Ctrl+S", "Ctrl+N", "Ctrl+O", "F1", "F2"}) {
      QVERIFY(keys.contains(QString::fromLatin1(key)));
    }
  }

  // New after a song played: an empty, unmodified text (no "*"), no tracks,
  // time or marks of the old song, and Save As starts in the folder.
  void newIsACleanPage() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    ShowActive(w);
    const QString path = h.Path("old.qrn");
    WriteAll(path, "A t240 c1 d1 e1 f1\r\n");
    w.Browser()->SetCurrentFilePath(path);
    w.LoadFile(path);
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(!w.Editor()->PlayheadMarks().isEmpty());
    QCOMPARE(w.Live()->Tracks()->Tracks(), QStringList{QStringLiteral("A")});
    QTRY_VERIFY(!w.Live()->TimeLabel()->text().isEmpty());
    QTest::keyClicks(w.Editor(), QStringLiteral("x"));
    QVERIFY(w.isWindowModified());

    h.dialogs.answers = {Dialogs::Answer::kNo};
    w.Action(QStringLiteral("New1"))->trigger();
    const QString folder = w.Browser()->BrowseDirectory();
    QCOMPARE(w.Editor()->toPlainText(), QString());
    QVERIFY(!w.Editor()->document()->isModified());
    QVERIFY(!w.isWindowModified());
    QCOMPARE(w.windowHandle()->title(), folder);  // as shown, without a mark
    QVERIFY(!IsPlaying());
    QVERIFY(w.Live()->Tracks()->Tracks().isEmpty());
    QVERIFY(w.Live()->TimeLabel()->text().isEmpty());
    QVERIFY(w.Editor()->PlayheadMarks().isEmpty());
    QTest::qWait(100);  // the playhead's poll, had it gone on
    QVERIFY(w.Editor()->PlayheadMarks().isEmpty());
    QVERIFY(w.Live()->TimeLabel()->text().isEmpty());

    QTest::keyClicks(w.Editor(), QStringLiteral("B c"));
    w.SaveCurrent();
    QCOMPARE(h.dialogs.save_starts, std::vector<QString>{folder});
  }

  // The message window belongs to the main window, so that a jump, which
  // brings the main window forward, leaves it in front; also after it was
  // docked and undocked.
  void theMessageWindowStaysInFrontOfTheMainWindow() {
    EditorHarness h;
    MainWindow& w = *h.window;
    ShowActive(w);
    w.Action(QStringLiteral("ShowMessage1"))->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(w.Messages()));
    QCOMPARE(w.Messages()->windowHandle()->transientParent(), w.windowHandle());
    w.Action(QStringLiteral("DockMessage1"))->trigger();
    w.Action(QStringLiteral("DockMessage1"))->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(w.Messages()));
    QVERIFY(w.Messages()->isWindow());
    QCOMPARE(w.Messages()->windowHandle()->transientParent(), w.windowHandle());
    w.Messages()->SetEntries({QStringLiteral("  0 :   0 : EEx")});
    w.Messages()->List()->setCurrentRow(0);
    w.Messages()->JumpFromSelected();
    QVERIFY(w.Messages()->isVisible());
    QCOMPARE(w.Messages()->windowHandle()->transientParent(), w.windowHandle());

    // Shown at start-up, before the main window is.
    h.Stop();
    QSettings(h.settings_path, QSettings::IniFormat).setValue("ShowMessage", 1);
    h.Start();
    QVERIFY(h.window->Messages()->isVisible());
    ShowActive(*h.window);
    QCOMPARE(h.window->Messages()->windowHandle()->transientParent(), h.window->windowHandle());
  }

  // 96 tracks: the list scrolls, and every row's solo box stays whole
  // beside the scroll bar, whether the tracks come before the dock is shown
  // or while it is.
  void theTrackListShowsItsSoloColumnWithManyTracks() {
    EditorHarness h;
    MainWindow& w = *h.window;
    TrackListDock* tracks = w.Live()->Tracks();
    QStringList names;
    for (int i = 0; i < 96; ++i) {
      names << QString(QLatin1Char('A' + i / 26)) + QString(QLatin1Char('A' + i % 26));
    }
    for (bool before_showing : {true, false}) {
      tracks->SetTracks({});
      if (before_showing) tracks->SetTracks(names);
      tracks->show();
      ShowActive(w);
      if (!before_showing) tracks->SetTracks(names);
      QApplication::processEvents();
      auto* scroll = qobject_cast<QScrollArea*>(tracks->widget());
      QVERIFY(scroll);
      QTRY_VERIFY(scroll->verticalScrollBar()->isVisible());
      QVERIFY(!scroll->horizontalScrollBar()->isVisible());
      const QRect viewport = scroll->viewport()->rect();
      for (const QString& name : names) {
        auto* solo = tracks->findChild<QCheckBox*>(QStringLiteral("Solo_") + name);
        QVERIFY(solo);
        const QRect box(solo->mapTo(scroll->viewport(), QPoint(0, 0)), solo->size());
        QVERIFY2(box.right() <= viewport.right() && box.left() >= viewport.left(),
                 qPrintable(name));
      }
      w.hide();
    }
  }
};

QTEST_MAIN(EditorFirstMinuteTest)
#include "editor_first_minute_test.moc"
