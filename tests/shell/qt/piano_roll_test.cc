// The piano roll dock with the real compiler: picture to text (a click on a
// note selects where it is written, through macros; a double-click and a
// click on the ruler play from there with the channel state chased), text
// to picture (the caret outlines every pass), mute and solo, playing, the
// tooltip, the remembered dock and the rebuild after a live swap.
#include <QCheckBox>
#include <QLabel>
#include <QStatusBar>
#include <QTextBlock>

#include "editor_fixture.h"
#include "player/sequencer.h"
#include "roll/roll_text.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/roll_dock.h"
#include "shell/qt/roll_widget.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"

namespace {

// Shows the roll, puts the score in the editor and compiles it; waits for
// the model.
RollWidget* CompileWithRoll(MainWindow& w, const char* score) {
  if (w.Roll()->isHidden()) w.Roll()->ShowAction()->trigger();
  w.resize(900, 700);
  w.show();
  w.Editor()->setPlainText(QString::fromUtf8(score));
  const int taken = w.Roll()->ModelsTaken();
  w.CompileText();
  if (!QTest::qWaitFor([&] { return w.Roll()->ModelsTaken() > taken; }, 5000)) return nullptr;
  return w.Roll()->Roll();
}

int NoteAtTick(const RollWidget* roll, int64_t tick, int key = -1) {
  const std::vector<RollNote>& notes = roll->Model()->notes;
  for (size_t i = 0; i < notes.size(); ++i) {
    if (notes[i].tick == tick && (key < 0 || notes[i].key == key)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<int64_t> OutlinedTicks(const RollWidget* roll) {
  std::vector<int64_t> ticks;
  for (size_t i : roll->Outlined()) ticks.push_back(roll->Model()->notes[i].tick);
  return ticks;
}

void PutCaret(MainWindow& w, int line, int column, int select = 0) {
  QTextCursor caret(w.Editor()->document()->findBlockByNumber(line));
  caret.setPosition(caret.position() + column);
  if (select > 0) caret.setPosition(caret.position() + select, QTextCursor::KeepAnchor);
  w.Editor()->setTextCursor(caret);
}

// The short messages the output got, from the first one at or after `from`.
std::vector<RecordedMessage> MessagesFrom(const RecordingOutput* output, int64_t from) {
  std::vector<RecordedMessage> out;
  for (const RecordedMessage& m : output->Messages()) {
    if (m.tick >= from && !m.bytes.empty()) out.push_back(m);
  }
  return out;
}

bool HasNoteOn(const std::vector<RecordedMessage>& messages) {
  return std::any_of(messages.begin(), messages.end(), [](const RecordedMessage& m) {
    return m.bytes.size() == 3 && (m.bytes[0] & 0xf0) == 0x90 && m.bytes[2] > 0;
  });
}

}  // namespace

class PianoRollTest : public QObject {
  Q_OBJECT

 private slots:
  void clickOnANoteThroughAMacroSelectsItsText() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "%M c d\nA e %M %M\n");
    QVERIFY(roll);
    // The second expansion's "d", struck at tick 193.
    const int note = NoteAtTick(roll, 193);
    QVERIFY(note >= 0);
    QVERIFY(roll->NoteInView(note));
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(note));
    const QTextCursor cursor = w.Editor()->textCursor();
    QCOMPARE(cursor.selectedText(), QStringLiteral("d"));
    QCOMPARE(cursor.block().blockNumber(), 0);
    QCOMPARE(cursor.selectionStart(), 5);
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("マクロの呼び出し: %M (1 : 7)"));
    // A note written on the track line itself: its own text, no call site.
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(NoteAtTick(roll, 1)));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("e"));
    QCOMPARE(w.Editor()->textCursor().block().blockNumber(), 1);
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
    // A line typed above since the compile: the call is still named by its
    // own text.
    QTextCursor(w.Editor()->document()).insertText(QStringLiteral("// new\n"));
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(note));
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("マクロの呼び出し: %M (1 : 7)"));
  }

  void theCaretOutlinesEveryPassAndExpansion() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "%M g\nA [c d]3 %M e %M\n");
    QVERIFY(roll);
    PutCaret(w, 1, 5);  // on "d" in the loop
    QTRY_COMPARE(OutlinedTicks(roll), (std::vector<int64_t>{49, 145, 241}));
    roll->viewport()->repaint();
    QCOMPARE(roll->Scene().outlined.size(), size_t{3});
    PutCaret(w, 0, 3);  // on "g" in the macro: both expansions
    QTRY_COMPARE(OutlinedTicks(roll), (std::vector<int64_t>{289, 385}));
    PutCaret(w, 1, 2, 6);  // the loop selected: every pass of both notes
    QTRY_COMPARE(roll->Outlined().size(), size_t{6});
    // Fit the selection: the six notes fill the view.
    QVERIFY(roll->FitOutlined());
    QVERIFY(roll->View().RightTick() < 400);
  }

  // Text typed since the compile moves the notes' text: both directions
  // still meet the same notes, and a deleted note selects nothing.
  void editsSinceTheCompileKeepTextAndPictureTied() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "%M g\nA [c d]3 %M e\n");
    QVERIFY(roll);
    QTextCursor top(w.Editor()->document());
    top.insertText(QStringLiteral("// new\n\n"));  // two lines above, not compiled
    QTextCursor in_line(w.Editor()->document()->findBlockByNumber(3));
    in_line.insertText(QStringLiteral("  "));  // blanks before the track name
    PutCaret(w, 3, 7);  // on "d" in the loop, as it stands now
    QTRY_COMPARE(OutlinedTicks(roll), (std::vector<int64_t>{49, 145, 241}));
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(NoteAtTick(roll, 1)));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("c"));
    QCOMPARE(w.Editor()->textCursor().block().blockNumber(), 3);
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(NoteAtTick(roll, 289)));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("g"));
    QCOMPARE(w.Editor()->textCursor().block().blockNumber(), 2);
    // The "e" deleted: a click on its note leaves the caret where it was.
    QTextCursor e(w.Editor()->document()->findBlockByNumber(3));
    e.movePosition(QTextCursor::EndOfBlock);
    e.deletePreviousChar();
    PutCaret(w, 0, 1);
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(NoteAtTick(roll, 337)));
    QCOMPARE(w.Editor()->textCursor().position(), 1);
    QVERIFY(!w.Editor()->textCursor().hasSelection());
  }

  void theRollScrollsToTheFirstOutlinedNote() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A c [r1]40 d\nB [r1]20 e\n");
    QVERIFY(roll);
    // Zoomed in at the start: "e" of B lies far to the right.
    RollViewport view = roll->View();
    view.px_per_tick = 2;
    view.left = 1;
    roll->SetView(view);
    const int e = NoteAtTick(roll, 1 + 20 * 192);
    QVERIFY(!roll->NoteInView(e));
    PutCaret(w, 1, 9);
    QTRY_VERIFY(roll->NoteInView(e));
  }

  void aClickOnTheRulerPlaysFromThatBarWithTheStateInEffect() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A u1 @5 c1 d1 @9 e1 f1\n");
    QVERIFY(roll);
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, roll->BarPoint(4));
    QVERIFY(IsPlaying());
    QTRY_VERIFY(HasNoteOn(MessagesFrom(h.recording, 0)));
    // The program in effect at bar 4 (9, set at bar 3) comes first, then
    // "f" at tick 577; nothing of the bars before sounds.
    QStringList sent;
    for (const RecordedMessage& m : MessagesFrom(h.recording, 0)) {
      sent << QString::fromStdString(FormatMessageLine(m));
    }
    QCOMPARE(sent.mid(0, 2), (QStringList{"577 c1 09", "577 91 41 50"}));
    w.StopSong();
  }

  void aDoubleClickPlaysFromThatPassOfTheNote() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A [c d]3 e\n");
    QVERIFY(roll);
    const int second_c = NoteAtTick(roll, 97);
    QVERIFY(second_c >= 0);
    QTest::mouseDClick(roll->viewport(), Qt::LeftButton, {}, roll->NotePoint(second_c));
    QVERIFY(IsPlaying());
    QTRY_VERIFY(HasNoteOn(MessagesFrom(h.recording, 0)));
    const std::vector<RecordedMessage> sent = MessagesFrom(h.recording, 0);
    auto first_note = std::find_if(sent.begin(), sent.end(), [](const RecordedMessage& m) {
      return m.bytes.size() == 3 && (m.bytes[0] & 0xf0) == 0x90 && m.bytes[2] > 0;
    });
    QCOMPARE(first_note->tick, int64_t{97});
    QCOMPARE(int(first_note->bytes[1]), 60);
    // The click before it selected the note's text.
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("c"));
    w.StopSong();
  }

  void mutedTracksAreGreyedAndSoloFollowsTheTrackList() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A c\nB d\nC e\n");
    QVERIFY(roll);
    auto muted = [roll] {
      roll->viewport()->repaint();
      QString out;
      for (const RollBox& b : roll->Scene().notes)
        out += b.muted ? QLatin1Char('m') : QLatin1Char('-');
      return out;
    };
    QCOMPARE(muted(), QStringLiteral("---"));
    w.Live()->Tracks()->findChild<QCheckBox*>(QStringLiteral("Mute_B"))->setChecked(true);
    QCOMPARE(muted(), QStringLiteral("-m-"));
    w.Live()->Tracks()->findChild<QCheckBox*>(QStringLiteral("Solo_C"))->setChecked(true);
    QCOMPARE(muted(), QStringLiteral("mm-"));
  }

  void whilePlayingThePlayheadMovesAndSoundingNotesLight() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A t240 c1 d1 e1 f1\n");
    QVERIFY(roll);
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(roll->PlayTick() > 0);
    QTRY_VERIFY(!roll->Scene().sounding.empty() && roll->Scene().playhead >= 0);
    const RollNote& lit = roll->Model()->notes[roll->Scene().sounding.front().note];
    QVERIFY(lit.tick <= roll->PlayTick() + 200);
    w.StopSong();
    QTRY_COMPARE(roll->PlayTick(), int64_t{0});
  }

  void thePlayheadIsFollowedOnlyWhenAsked() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A t240 [c8]64\n");
    QVERIFY(roll);
    auto zoom_to_start = [roll] {
      RollViewport view = roll->View();
      view.px_per_tick = 16;
      view.left = 1;
      roll->SetView(view);
    };
    QVERIFY(w.Live()->FollowAction()->isChecked());
    zoom_to_start();
    w.PlaySong();
    QTRY_VERIFY(roll->View().left > 100);
    QVERIFY(roll->PlayTick() >= roll->View().left);
    w.StopSong();
    w.Live()->FollowAction()->setChecked(false);
    zoom_to_start();
    const double left = roll->View().left;
    w.PlaySong();
    QTRY_VERIFY(roll->PlayTick() > 300);
    QCOMPARE(roll->View().left, left);
    w.StopSong();
  }

  void theTooltipGivesTheFactsOfTheSvgTitle() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "%M c d\nA e %M\n");
    QVERIFY(roll);
    const int d = NoteAtTick(roll, 97);
    QCOMPARE(roll->ToolTipAt(roll->NotePoint(d)),
             QStringLiteral("A d4 1:3 length 48 velocity 80 line 0:5 < 1:4"));
    QVERIFY(roll->ToolTipAt(QPoint(2, 2)).isEmpty());
  }

  void theDockIsRemembered() {
    EditorHarness h({}, false, true);
    QVERIFY(h.window->Roll()->isHidden());
    h.window->Roll()->ShowAction()->trigger();
    QVERIFY(!h.window->Roll()->isHidden());
    h.Stop();
    h.Start();
    QVERIFY(!h.window->Roll()->isHidden());
    h.window->Roll()->ShowAction()->trigger();
    h.Stop();
    h.Start();
    QVERIFY(h.window->Roll()->isHidden());
  }

  void aHiddenRollIsBuiltOnceShown() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.show();
    w.Editor()->setPlainText(QStringLiteral("A c d e\n"));
    w.CompileText();
    QTest::qWait(50);
    QCOMPARE(w.Roll()->ModelsTaken(), 0);
    w.Roll()->ShowAction()->trigger();
    QTRY_COMPARE(w.Roll()->ModelsTaken(), 1);
    QCOMPARE(w.Roll()->Roll()->Model()->notes.size(), size_t{3});
  }

  void anEndlessSongIsDrawnToTheBoundAndSaysSo() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A [c d]*\n");
    QVERIFY(roll);
    QVERIFY(roll->Model()->bounded);
    // Cut at a million ticks; drawn to the end of the last note struck.
    QVERIFY(roll->Model()->end_tick >= 1000000 && roll->Model()->end_tick < 1000100);
    QCOMPARE(
        w.Roll()->findChild<QLabel*>(QStringLiteral("PianoRollNotice1"))->text(),
        QStringLiteral("終わらない曲: %1 ティックまで表示しています").arg(roll->Model()->end_tick));
    // A new text takes the old song's picture and notice off the screen.
    w.Editor()->document()->setModified(false);
    w.NewScore();
    QVERIFY(!roll->Model());
    QCOMPARE(w.Roll()->findChild<QLabel*>(QStringLiteral("PianoRollNotice1"))->text(), QString());
  }

  void aLiveSwapRebuildsTheRoll() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    RollWidget* roll = CompileWithRoll(w, "A t60 c1 c1 c1 c1 c1 c1\n");
    QVERIFY(roll);
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(!w.Roll()->Building());
    const int taken = w.Roll()->ModelsTaken();
    QTextCursor all(w.Editor()->document());
    all.select(QTextCursor::Document);
    all.insertText(QStringLiteral("A t60 d1 d1 d1 d1 d1 d1\n"));
    w.Action(QStringLiteral("UpdateSong1"))->trigger();
    QTRY_VERIFY(w.Roll()->ModelsTaken() > taken);
    QCOMPARE(roll->Model()->notes.front().key, 62);
    QVERIFY(IsPlaying());
    w.StopSong();
  }
};

QTEST_MAIN(PianoRollTest)
#include "piano_roll_test.moc"
