// Everyday editing: find and replace, go to line, the line-number gutter,
// recent files, redo, and the exports to MIDI and WAV.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>

#include "editor_fixture.h"
#include "player/output/outputs.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/find_dialog.h"
#include "shell/qt/message_window.h"
#include "shell/qt/recent_files.h"
#include "shell/qt/score_edit.h"

namespace {

struct Search {
  const char* find;
  bool whole_word, match_case, regex;
};

void SetSearch(FindDialog* find, const Search& s, const char* replace = "") {
  find->FindEdit()->setText(QString::fromUtf8(s.find));
  find->ReplaceEdit()->setText(QString::fromUtf8(replace));
  find->WholeWordBox()->setChecked(s.whole_word);
  find->CaseBox()->setChecked(s.match_case);
  find->RegexBox()->setChecked(s.regex);
}

// Every match from the start, as "start-end" of the selections found.
QString Matches(MainWindow& w, const Search& s) {
  FindDialog* find = w.FindBox();
  SetSearch(find, s);
  w.Editor()->moveCursor(QTextCursor::Start);
  QStringList found;
  while (find->FindNext()) {
    QTextCursor c = w.Editor()->textCursor();
    QString at = QStringLiteral("%1-%2").arg(c.selectionStart()).arg(c.selectionEnd());
    if (found.contains(at)) break;  // wrapped round
    found << at;
  }
  return found.join(QLatin1Char(' '));
}

}  // namespace

class EditorEditingTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void findHonoursWholeWordCaseAndExpressions() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A c cd C\nB c4 c"));
    w.Action(QStringLiteral("Find1"))->trigger();
    QVERIFY(w.FindBox()->isVisible());
    QVERIFY(!w.FindBox()->ReplaceEdit()->isVisible());
    QCOMPARE(Matches(w, {"c", false, false, false}), QStringLiteral("2-3 4-5 7-8 11-12 14-15"));
    QCOMPARE(Matches(w, {"c", false, true, false}), QStringLiteral("2-3 4-5 11-12 14-15"));
    QCOMPARE(Matches(w, {"c", true, true, false}), QStringLiteral("2-3 14-15"));
    QCOMPARE(Matches(w, {"c\\d", false, true, true}), QStringLiteral("11-13"));
    // Without the expression box the pattern is plain text.
    QCOMPARE(Matches(w, {"c\\d", false, true, false}), QString());
    QVERIFY(w.FindBox()->StatusLine()->text().startsWith(QStringLiteral("見つかりません")));
    QCOMPARE(Matches(w, {"c(", false, false, true}), QString());
    QVERIFY(w.FindBox()->StatusLine()->text().startsWith(QStringLiteral("正規表現")));
  }

  void replaceOneAndAllAsOneUndoStep() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString text = QStringLiteral("A c4 d8 c4\nB c16");
    w.Editor()->setPlainText(text);
    w.Action(QStringLiteral("Replace1"))->trigger();
    FindDialog* find = w.FindBox();
    QVERIFY(find->ReplaceEdit()->isVisible());

    SetSearch(find, {"c(\\d+)", false, true, true}, "e\\1");
    QCOMPARE(find->ReplaceAll(), 3);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A e4 d8 e4\nB e16"));
    w.Action(QStringLiteral("Undo1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), text);

    // One at a time: the first press finds, the next replaces and moves on.
    SetSearch(find, {"c4", false, true, false}, "g2");
    w.Editor()->moveCursor(QTextCursor::Start);
    find->ReplaceOne();
    QCOMPARE(w.Editor()->toPlainText(), text);
    find->ReplaceOne();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A g2 d8 c4\nB c16"));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("c4"));
  }

  // The replacement is built from the match as found in its line, so that
  // lookbehind, lookahead, anchors and word boundaries keep their meaning.
  void regularExpressionReplacementsSeeTheWholeLine() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Action(QStringLiteral("Replace1"))->trigger();
    FindDialog* find = w.FindBox();
    struct Case {
      const char* text;
      const char* find;
      const char* replace;
      const char* result;
      int count;
    };
    const Case cases[] = {
        {"A @33 c4 @5 d\nB @12 e 34", "(?<=@)(\\d+)", "x\\1", "A @x33 c4 @x5 d\nB @x12 e 34", 3},
        {"A c4 c8 c4", "c(?=4)", "e", "A e4 c8 e4", 2},
        {"A c\nA d\n A e", "^A", "Z", "Z c\nZ d\n A e", 2},
        {"A c d\nB d e d", "d$", "f", "A c f\nB d e f", 2},
        {"A c cd c4 dc c", "\\bc\\b", "g", "A g cd c4 dc g", 2},
        {"A aaa", "(?<=a)a", "b", "A abb", 2},  // every match in the text as it was
        {"A o4c o5d", "(?<=o)(\\d)(\\w)", "\\2\\1\\0", "A oc44c od55d", 2},
        {"A c d", "x*", "y", "A c d", 0},  // an empty match is no match
    };
    for (const Case& c : cases) {
      w.Editor()->setPlainText(QString::fromUtf8(c.text));
      SetSearch(find, {c.find, false, true, true}, c.replace);
      QCOMPARE(find->ReplaceAll(), c.count);
      QCOMPARE(w.Editor()->toPlainText(), QString::fromUtf8(c.result));
      QCOMPARE(find->StatusLine()->text(), QStringLiteral("%1 個を置換しました").arg(c.count));
      w.Action(QStringLiteral("Undo1"))->trigger();
      QCOMPARE(w.Editor()->toPlainText(), QString::fromUtf8(c.text));
    }

    // One at a time, with the same meaning.
    w.Editor()->setPlainText(QStringLiteral("A @33 c4 @5"));
    SetSearch(find, {"(?<=@)(\\d+)", false, true, true}, "x\\1");
    w.Editor()->moveCursor(QTextCursor::Start);
    find->ReplaceOne();
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("33"));
    find->ReplaceOne();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A @x33 c4 @5"));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("5"));
    find->ReplaceOne();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A @x33 c4 @x5"));
    // A selection that is no match in its line is not replaced.
    w.Editor()->setPlainText(QStringLiteral("A 33 @4"));
    QTextCursor cursor = w.Editor()->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    w.Editor()->setTextCursor(cursor);
    find->ReplaceOne();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A 33 @4"));
    QCOMPARE(w.Editor()->textCursor().selectedText(), QStringLiteral("4"));
  }

  void replaceDialogTabsFromSearchToReplaceToTheButtons() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.show();
    w.Action(QStringLiteral("Replace1"))->trigger();
    FindDialog* find = w.FindBox();
    QVERIFY(QTest::qWaitForWindowActive(find));
    QCOMPARE(QApplication::focusWidget(), find->FindEdit());
    QStringList order;
    for (int i = 0; i < 4; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* focused = QApplication::focusWidget();
      if (focused == find->ReplaceEdit()) {
        order << QStringLiteral("replace");
      } else if (auto* button = qobject_cast<QPushButton*>(focused)) {
        order << button->text();
      } else {
        order << QString::fromLatin1(focused ? focused->metaObject()->className() : "none");
      }
    }
    QCOMPARE(order, (QStringList{"replace", "次を検索(&F)", "置換(&E)", "すべて置換(&A)"}));
  }

  void goToLineCountsFromZeroAsTheReportDoes() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("#title \"x\"\nA c\nB d\nC e"));
    h.dialogs.line_numbers = {2, 99};
    w.Action(QStringLiteral("GoToLine1"))->trigger();
    QCOMPARE(h.dialogs.line_questions[0], std::make_pair(0, 3));  // caret line, last line
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 2);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 0);
    QCOMPARE(w.CaretLabel()->text(), QStringLiteral("2 : 0"));
    w.Action(QStringLiteral("GoToLine1"))->trigger();
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 3);
    // Cancelled: the caret stays.
    w.Action(QStringLiteral("GoToLine1"))->trigger();
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 3);
  }

  void lineNumberGutterIsOptionalAndRemembered() {
    EditorHarness h;
    ScoreEdit* edit = h.window->Editor();
    QVERIFY(!edit->LineNumberArea()->isVisibleTo(edit));
    QCOMPARE(edit->LineNumberAreaWidth(), 0);
    h.window->Action(QStringLiteral("LineNumbers1"))->trigger();
    QVERIFY(edit->LineNumberArea()->isVisibleTo(edit));
    const int two_digits = edit->LineNumberAreaWidth();
    QVERIFY(two_digits > 0);
    QCOMPARE(edit->viewport()->geometry().left(), edit->contentsRect().left() + two_digits);
    // Room for the last number, counted from 0: 1000 lines end at 999.
    edit->setPlainText(QString(999, QLatin1Char('\n')));
    QVERIFY(edit->LineNumberAreaWidth() > two_digits);
    h.Stop();
    h.Start();
    QVERIFY(h.window->Action(QStringLiteral("LineNumbers1"))->isChecked());
    QVERIFY(h.window->Editor()->LineNumbersVisible());
  }

  void recentFilesKeepTheLastEightNewestFirst() {
    QCOMPARE(WithRecentFile({"/a", "/b", "/c"}, "/b"), (QStringList{"/b", "/a", "/c"}));

    EditorHarness h;
    QStringList paths;
    for (int i = 0; i < 9; ++i) {
      paths << h.Path(QStringLiteral("s%1.qrn").arg(i));
      WriteAll(paths.last(), QByteArray("A c"));
      h.window->LoadFile(paths.last());
    }
    RecentFilesMenu* menu = h.window->RecentMenu();
    QCOMPARE(menu->Files().size(), 8);
    QCOMPARE(menu->Files().first(), paths[8]);
    QCOMPARE(menu->Files().last(), paths[1]);
    QCOMPARE(menu->actions().size(), 8);
    QVERIFY(menu->actions()[0]->text().endsWith(QStringLiteral("s8.qrn")));
    h.Stop();
    h.Start();
    menu = h.window->RecentMenu();
    QCOMPARE(menu->Files().size(), 8);

    // An item opens its file and makes it the current one.
    WriteAll(paths[3], QByteArray("B d"));
    menu->actions()[5]->trigger();
    QCOMPARE(h.window->Editor()->toPlainText(), QStringLiteral("B d"));
    QCOMPARE(h.window->CurrentFilePath(), paths[3]);
    QCOMPARE(menu->Files().first(), paths[3]);
    // A file that is gone is said so and leaves the list.
    QVERIFY(QFile::remove(paths[8]));
    menu->actions()[1]->trigger();
    QCOMPARE(h.dialogs.informed.size(), size_t(1));
    QVERIFY(!menu->Files().contains(paths[8]));
    QCOMPARE(h.window->Editor()->toPlainText(), QStringLiteral("B d"));
  }

  void redoIsInTheEditMenu() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Editor()->setFocus();
    QTest::keyClicks(w.Editor(), QStringLiteral("A c"));
    w.Action(QStringLiteral("Undo1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QString());
    w.Action(QStringLiteral("Redo1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
    QTest::keyClick(w.Editor(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(w.Editor(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
    QTest::keyClick(w.Editor(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(w.Editor(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
  }

  void exportsWriteTheSongAsMidiAndWav() {
    EditorHarness h({}, false, true);
    // A timer interval of the user's own, which the exports keep.
    h.Stop();
    QSettings(h.settings_path, QSettings::IniFormat).setValue(QStringLiteral("IntrIntv"), 7);
    h.Start();
    QCOMPARE(TimerInterval(), 7);
    MainWindow& w = *h.window;
    w.Browser()->SetCurrentFilePath(h.Path("tune.qrn"));
    w.Editor()->setPlainText(QStringLiteral("A t240 l16 c d e"));
    const int opened = h.opened.size();

    h.dialogs.save_paths = {h.Path("tune.mid")};
    w.Action(QStringLiteral("ExportMidi1"))->trigger();
    QCOMPARE(h.dialogs.save_starts.back(), h.Path("tune.mid"));
    QCOMPARE(h.dialogs.export_filters.back(), QStringLiteral("Standard MIDI File (*.mid)"));
    const QByteArray midi = ReadAll(h.Path("tune.mid"));
    QVERIFY(midi.startsWith("MThd"));
    bool note_on = false;  // middle C struck on some channel
    for (char status = '\x90'; status != '\xa0'; ++status) {
      note_on = note_on || midi.contains(QByteArray(1, status) + '\x3c');
    }
    QVERIFY(note_on);
    QVERIFY(h.dialogs.informed.empty());
    QCOMPARE(h.opened.size(), opened + 1);  // the output is back
    QCOMPARE(TimerInterval(), 7);

    // A score with errors exports nothing.
    w.Editor()->setPlainText(QStringLiteral("A x"));
    h.dialogs.save_paths = {h.Path("bad.mid")};
    w.Action(QStringLiteral("ExportMidi1"))->trigger();
    QVERIFY(!QFile::exists(h.Path("bad.mid")));
    QVERIFY(w.Messages()->isVisible());

    if (FindSoundFont().empty()) QSKIP("no General MIDI SoundFont installed");
    w.Editor()->setPlainText(QStringLiteral("A t240 l16 c d e"));
    h.dialogs.save_paths = {h.Path("tune.wav")};
    w.Action(QStringLiteral("ExportWav1"))->trigger();
    QVERIFY(h.dialogs.informed.empty());
    const QByteArray wav = ReadAll(h.Path("tune.wav"));
    QVERIFY(wav.startsWith("RIFF"));
    QVERIFY(wav.size() > 44100 * 4);  // at least the second of release
    QProgressDialog* progress = w.ExportProgress();
    QVERIFY(progress);
    QVERIFY(progress->maximum() > 1);
    QCOMPARE(progress->value(), progress->maximum());
    QVERIFY(!progress->isVisible());
    QCOMPARE(h.opened.size(), opened + 2);
  }
};

QTEST_MAIN(EditorEditingTest)
#include "editor_editing_test.moc"
