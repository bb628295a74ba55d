// The editor while a song plays: the playhead, the track list, the status
// and the remembered follow toggle, all on an output that sends nothing.
#include <QCheckBox>
#include <QLabel>
#include <QTextBlock>
#include <ctime>

#include "editor_fixture.h"
#include "player/sequencer.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"

namespace {

double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

bool MarkOnLine(const ScoreEdit* edit, int line) {
  for (const QTextEdit::ExtraSelection& mark : edit->PlayheadMarks()) {
    if (mark.cursor.block().blockNumber() == line) return true;
  }
  return false;
}

}  // namespace

class LivePlaybackTest : public QObject {
  Q_OBJECT

 private slots:
  void notesLightUpWhereWrittenAndFadeAtTheirEnd() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("%M c1\nA t240 %M r1 d1\n"));
    w.show();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    // The note of the macro and its call site on A's line.
    QTRY_VERIFY(MarkOnLine(w.Editor(), 0) && MarkOnLine(w.Editor(), 1));
    const QTextEdit::ExtraSelection first = w.Editor()->PlayheadMarks().first();
    QCOMPARE(first.cursor.selectedText(), QStringLiteral("c1"));
    // The rest: nothing sounds, nothing is lit.
    QTRY_VERIFY(w.Editor()->PlayheadMarks().isEmpty());
    QTRY_VERIFY(MarkOnLine(w.Editor(), 1));
    QVERIFY(!w.Live()->TimeLabel()->text().isEmpty());
    w.StopSong();
    w.Live()->Poll();
    QVERIFY(w.Editor()->PlayheadMarks().isEmpty());
  }

  void playFromTheCaretStartsAtItsNote() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A c d e f\nB g1 g1\n"));
    QTextCursor caret(w.Editor()->document()->findBlockByNumber(0));
    caret.setPosition(6);  // before "e"
    w.Editor()->setTextCursor(caret);
    w.Live()->PlayFromCaretAction()->trigger();
    QVERIFY(IsPlaying());
    QVERIFY(SequencerTickCount() >= 96);
    w.StopSong();

    // Behind the last note: nothing plays, the status bar says why.
    caret.movePosition(QTextCursor::EndOfBlock);
    w.Editor()->setTextCursor(caret);
    w.Live()->PlayFromCaretAction()->trigger();
    QVERIFY(!IsPlaying());
  }

  void trackListMutesWhilePlaying() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A t60 c1 c1 c1\nB t60 d1 d1 d1\n"));
    w.show();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QCOMPARE(w.Live()->Tracks()->Tracks(), (QStringList{"A", "B"}));
    auto* mute = w.Live()->Tracks()->findChild<QCheckBox*>(QStringLiteral("Mute_B"));
    QVERIFY(mute);
    QTRY_VERIFY(w.Live()->Tracks()->Lit(1));
    const int64_t muted_at = SequencerTickCount();
    mute->setChecked(true);
    // B's sounding note (a whole note, 192 ticks) is released at once; no
    // further note of B.
    auto released = [&] {
      for (const RecordedMessage& m : h.recording->Messages()) {
        if (m.tick >= muted_at && m.tick < muted_at + 100 && m.bytes.size() == 3 &&
            m.bytes[1] == 0x3e && m.bytes[2] == 0) {
          return true;
        }
      }
      return false;
    };
    QTRY_VERIFY(released());
    QTRY_VERIFY(SequencerTickCount() > muted_at + 200);
    for (const RecordedMessage& m : h.recording->Messages()) {
      if (m.tick > muted_at && m.bytes.size() == 3 && m.bytes[1] == 0x3e) {
        QCOMPARE(int(m.bytes[2]), 0);
      }
    }
    w.StopSong();
    // The switch stays with the track across compilations.
    w.CompileText();
    QVERIFY(w.Live()->Tracks()->Muted(1));
  }

  // Two names that share their first 32 bytes are two tracks: each keeps
  // its own switch across compilations, and the list shows the whole names.
  void longTrackNamesKeepTheirOwnSwitches() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    const QString x = QString(32, QLatin1Char('A')) + QLatin1Char('X');
    const QString y = QString(32, QLatin1Char('A')) + QLatin1Char('Y');
    w.Editor()->setPlainText(x + QStringLiteral(" c\n") + y + QStringLiteral(" d\n"));
    w.CompileText();
    QCOMPARE(w.Live()->Tracks()->Tracks(), (QStringList{x, y}));
    w.Live()->Tracks()->SetMuted(1, true);
    w.Live()->Tracks()->SetSoloed(0, true);
    // A new track makes the list anew; the switches follow the names.
    w.Editor()->setPlainText(x + QStringLiteral(" c\nB e\n") + y + QStringLiteral(" d\n"));
    w.CompileText();
    QCOMPARE(w.Live()->Tracks()->Tracks(), (QStringList{x, y, QStringLiteral("B")}));
    QVERIFY(!w.Live()->Tracks()->Muted(0));
    QVERIFY(w.Live()->Tracks()->Muted(1));
    QVERIFY(!w.Live()->Tracks()->Muted(2));
    QVERIFY(w.Live()->Tracks()->Soloed(0));
    QVERIFY(!w.Live()->Tracks()->Soloed(1));
  }

  // Bar:beat in the status bar and the bar line a live-edit swap waits for:
  // 4/4 bars where the caret's track sets no "u", its own bars where it does,
  // beats of a quarter note either way.
  void barsWithoutABarLengthAreFourFourBars() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A t120 c d e f g a b\nB u2. c d e f\n"));
    w.CompileText();
    QVERIFY(w.LastSeverity() <= 2);
    auto caret_on = [&](int line) {
      w.Editor()->setTextCursor(QTextCursor(w.Editor()->document()->findBlockByNumber(line)));
    };
    caret_on(0);
    // The sequencer's tick 1 is the song's first tick.
    QVERIFY(w.Live()->StatusText(1).endsWith(QStringLiteral("  1:1")));
    QVERIFY(w.Live()->StatusText(1 + 240).endsWith(QStringLiteral("  2:2")));
    QVERIFY(w.Live()->StatusText(1 + 191).endsWith(QStringLiteral("  1:4")));
    QCOMPARE(w.Live()->NextBarTick(2), int64_t(193));
    caret_on(1);
    QVERIFY(w.Live()->StatusText(1 + 240).endsWith(QStringLiteral("  2:3")));
    QCOMPARE(w.Live()->NextBarTick(2), int64_t(145));
  }

  void followToggleIsRemembered() {
    EditorHarness h({}, false, true);
    QVERIFY(h.window->Live()->FollowAction()->isChecked());
    h.window->Live()->FollowAction()->setChecked(false);
    h.Stop();
    h.Start();
    QVERIFY(!h.window->Live()->FollowAction()->isChecked());
  }

  // The window thread's CPU time while the demo plays (the playhead polls at
  // screen rate and repaints its marks). Printed, never asserted; set
  // QUERN_MEASURE for a ten-second run.
  void playheadCost() {
    EditorHarness h({QFINDTESTDATA("../../../examples/demo.qrn")}, false, true);
    MainWindow& w = *h.window;
    w.resize(900, 600);
    w.show();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    const int ms = qEnvironmentVariableIsSet("QUERN_MEASURE") ? 10000 : 1000;
    QElapsedTimer wall;
    wall.start();
    const double cpu_start = ThreadCpuSeconds();
    QTest::qWait(ms);
    const double cpu = ThreadCpuSeconds() - cpu_start;
    qInfo("window thread while playing: %.1f ms CPU per second (%.2f%% of one core)",
          1000.0 * cpu / (wall.elapsed() / 1000.0), 100.0 * cpu / (wall.elapsed() / 1000.0));
    w.StopSong();
  }
};

QTEST_MAIN(LivePlaybackTest)
#include "live_playback_test.moc"
