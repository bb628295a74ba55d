// Live editing in the editor, on an output that records: good edits take
// over at the playing place without a restart, edits with errors leave the
// song playing and say so, undo brings the song back, the update command
// swaps at once, and the swap can wait for a bar line.
#include <QCheckBox>
#include <QStatusBar>
#include <QTextBlock>

#include "editor_fixture.h"
#include "shell/qt/live_edit.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"

namespace {

const char kScore[] = "A t240 u1 l8 [c d e f]*\nB ch3 u1 P30 [c1]*\n";

// Replaces the first `from` in the editor's text with `to`, as typing would.
void Retype(ScoreEdit* edit, const QString& from, const QString& to) {
  const int at = edit->toPlainText().indexOf(from);
  QVERIFY(at >= 0);
  QTextCursor cursor(edit->document());
  cursor.setPosition(at);
  cursor.setPosition(at + from.size(), QTextCursor::KeepAnchor);
  cursor.insertText(to);
}

// The tick of the first recorded message with these bytes, or -1.
int64_t TickOf(const RecordingOutput* out, std::vector<uint8_t> bytes, int64_t after = 0) {
  for (const RecordedMessage& m : out->Messages()) {
    if (m.tick > after && m.bytes == bytes) return m.tick;
  }
  return -1;
}

// Whether the song started again from tick 1 after `after`.
bool Restarted(const RecordingOutput* out, size_t after) {
  const std::vector<RecordedMessage> all = out->Messages();
  for (size_t i = after; i + 1 < all.size(); ++i) {
    if (all[i + 1].tick < all[i].tick) return true;
  }
  return false;
}

}  // namespace

class LiveEditTest : public QObject {
  Q_OBJECT

 private slots:
  void goodEditsSwapInAndBadOnesKeepTheLastGoodSong() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    QAction* live = w.Action(QStringLiteral("LiveEdit1"));
    QVERIFY(live);
    live->setChecked(true);
    w.Editor()->setPlainText(QString::fromLatin1(kScore));
    w.show();
    w.Editor()->setFocus();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(SequencerTickCount() > 100);
    const size_t before = h.recording->Messages().size();

    Retype(w.Editor(), QStringLiteral("P30"), QStringLiteral("P40"));
    QTRY_VERIFY(TickOf(h.recording, {0xb2, 0x0a, 0x28}) > 100);
    QVERIFY(IsPlaying());
    QVERIFY(!Restarted(h.recording, before));

    // An error: the song plays on, the status bar says so, the text keeps
    // the focus.
    Retype(w.Editor(), QStringLiteral("P40"), QStringLiteral("P40 %nowhere"));
    QTRY_COMPARE(w.statusBar()->currentMessage(), QStringLiteral("前回の正常な版を演奏中"));
    QVERIFY(IsPlaying());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Editor()));

    // Undo twice: the text, and the song, are back to pan 30.
    const int64_t undone_after = SequencerTickCount();
    w.Editor()->undo();
    QTRY_VERIFY(w.statusBar()->currentMessage().isEmpty());
    w.Editor()->undo();
    QTRY_VERIFY(TickOf(h.recording, {0xb2, 0x0a, 0x1e}, undone_after) > undone_after);
    QVERIFY(!Restarted(h.recording, before));
    w.StopSong();
  }

  void theUpdateCommandSwapsAtOnceWithLiveEditingOff() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Action(QStringLiteral("LiveEdit1"))->setChecked(false);
    w.Editor()->setPlainText(QString::fromLatin1(kScore));
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QTRY_VERIFY(SequencerTickCount() > 50);
    // Mute carries over by name: B stays muted in the new song.
    w.Live()->Tracks()->findChild<QCheckBox*>(QStringLiteral("Mute_B"))->setChecked(true);
    Retype(w.Editor(), QStringLiteral("P30"), QStringLiteral("P40"));
    QTest::qWait(400);
    QCOMPARE(TickOf(h.recording, {0xb2, 0x0a, 0x28}), int64_t{-1});
    const int64_t asked = SequencerTickCount();
    w.Action(QStringLiteral("UpdateSong1"))->trigger();
    QTRY_VERIFY(TickOf(h.recording, {0xb2, 0x0a, 0x28}) > asked);
    const int64_t swapped = TickOf(h.recording, {0xb2, 0x0a, 0x28});
    QTRY_VERIFY(SequencerTickCount() > swapped + 400);
    for (const RecordedMessage& m : h.recording->Messages()) {
      if (m.tick >= swapped && m.bytes.size() == 3 && m.bytes[0] == 0x92) {
        QCOMPARE(int(m.bytes[2]), 0);  // only note-offs on B's channel
      }
    }
    w.StopSong();
  }

  // A selection played without a loop ends where the same selection ends
  // in the new song, not at the new song's end.
  void aPlayedSelectionEndsAtItsEndInTheNewSong() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Action(QStringLiteral("LiveEdit1"))->setChecked(false);
    w.Live()->LoopAction()->setChecked(false);
    w.Editor()->setPlainText(QStringLiteral("A t240 l4 c d e f g a\n"));
    QTextCursor selection(w.Editor()->document());
    selection.setPosition(12);  // "d e f"
    selection.setPosition(17, QTextCursor::KeepAnchor);
    w.Editor()->setTextCursor(selection);
    w.Live()->PlaySelectionAction()->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(SequencerTickCount() > 55);
    Retype(w.Editor(), QStringLiteral("c d"), QStringLiteral("c r4 d"));  // d e f now 97 to 240
    w.Action(QStringLiteral("UpdateSong1"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(SongFinished(), 8000);
    QCOMPARE(TickOf(h.recording, {0x91, 0x41, 0x50}, 96), int64_t{193});  // f at its new place
    QCOMPARE(TickOf(h.recording, {0x91, 0x43, 0x50}), int64_t{-1});       // g never struck
    w.StopSong();
  }

  void aSwapAtTheBarWaitsForTheBarLine() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Action(QStringLiteral("SwapAtBar1"))->setChecked(true);
    w.Editor()->setPlainText(QString::fromLatin1(kScore));
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QTRY_VERIFY(SequencerTickCount() > 20);
    Retype(w.Editor(), QStringLiteral("P30"), QStringLiteral("P40"));
    w.Action(QStringLiteral("UpdateSong1"))->trigger();
    QTRY_VERIFY(TickOf(h.recording, {0xb2, 0x0a, 0x28}) > 0);
    QCOMPARE((TickOf(h.recording, {0xb2, 0x0a, 0x28}) - 1) % 192, int64_t{0});
    w.StopSong();
  }

  void togglesAreRemembered() {
    EditorHarness h({}, false, true);
    h.window->Action(QStringLiteral("LiveEdit1"))->setChecked(true);
    h.window->Action(QStringLiteral("SwapAtBar1"))->setChecked(true);
    h.window->findChild<QAction*>(QStringLiteral("SwapDelay_1000"))->trigger();
    h.Stop();
    h.Start();
    QVERIFY(h.window->Action(QStringLiteral("LiveEdit1"))->isChecked());
    QVERIFY(h.window->Action(QStringLiteral("SwapAtBar1"))->isChecked());
    QVERIFY(h.window->findChild<QAction*>(QStringLiteral("SwapDelay_1000"))->isChecked());
    QVERIFY(!h.window->findChild<QAction*>(QStringLiteral("SwapDelay_300"))->isChecked());
  }
};

QTEST_MAIN(LiveEditTest)
#include "live_edit_test.moc"
