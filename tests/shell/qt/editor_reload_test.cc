// Reloading the file in the editor while another program writes it: the
// editor ends with the file's final content, unmodified, whatever the
// writer's pace; a reload is one undo step; the watch survives a file
// replaced by renaming.
#include <QAction>
#include <QStatusBar>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "editor_fixture.h"
#include "shell/qt/disk_watch.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/score_edit.h"

namespace {

void Open(EditorHarness& h, const QString& path) {
  h.window->Browser()->SetCurrentFilePath(path);
  h.window->LoadFile(path);
}

// Waits until the watch has looked at the file since its last change.
void WaitUntilSettled(MainWindow& w) {
  QTest::qWait(3 * DiskWatch::kLookMs);
  QTRY_VERIFY_WITH_TIMEOUT(!w.Watch()->Settling(), 5000);
}

// A writer on a thread of its own: truncates the file, then writes the
// text in pieces with pauses between, as a slow program would.
struct Piece {
  size_t size;
  int pause_ms;
};

void WriteSlowly(const QString& path, const QByteArray& text, const std::vector<Piece>& pieces) {
  std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
  QVERIFY(file);
  size_t at = 0;
  for (const Piece& piece : pieces) {
    std::this_thread::sleep_for(std::chrono::milliseconds(piece.pause_ms));
    const size_t size = std::min(piece.size, static_cast<size_t>(text.size()) - at);
    std::fwrite(text.constData() + at, 1, size, file);
    std::fflush(file);
    at += size;
  }
  std::fwrite(text.constData() + at, 1, text.size() - at, file);
  std::fclose(file);
}

void ExpectUnmodified(MainWindow& w) {
  QVERIFY(!w.Editor()->document()->isModified());
  QVERIFY(!w.isWindowModified());
  QVERIFY(!w.Action(QStringLiteral("Save1"))->isEnabled());
}

}  // namespace

class EditorReloadTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  // The shell's `cp x.qrn song.qrn`: the watch hears of the truncation,
  // and the copy finishes while the editor takes in the empty file.
  void aWriterThatFinishesDuringAReloadIsTakenWhole() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("song.qrn");
    WriteAll(path, "A c d e\r\n");
    Open(h, path);
    WaitUntilSettled(w);
    bool finished = false;
    QObject::connect(w.Editor()->document(), &QTextDocument::contentsChanged, &w, [&] {
      if (finished || !w.Editor()->toPlainText().isEmpty()) return;
      finished = true;
      WriteAll(path, "A t120 c d e\r\n");
    });
    WriteAll(path, "");
    QTRY_COMPARE_WITH_TIMEOUT(w.Editor()->toPlainText(), QStringLiteral("A t120 c d e\n"), 5000);
    WaitUntilSettled(w);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A t120 c d e\n"));
    ExpectUnmodified(w);
    // F5 writes what the editor shows, never an empty file.
    w.SaveCompilePlay();
    QCOMPARE(ReadAll(path), QByteArray("A t120 c d e\r\n"));
  }

  // Random writers, some with pauses longer than the watch's looks (the
  // editor may show a part for a moment, but ends with the whole).
  void slowWritersEndWithTheFinalContentUnmodified() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("song.qrn");
    WriteAll(path, "A c\r\n");
    Open(h, path);
    std::mt19937 random(4242);
    for (int round = 0; round < 8; ++round) {
      QByteArray text;
      const int lines = 1 + random() % 40;
      for (int i = 0; i < lines; ++i) {
        text += QByteArray("ABCD").mid(random() % 4, 1) + " t120 o4 c d e f g " +
                QByteArray::number(round) + "\r\n";
      }
      std::vector<Piece> pieces;
      const int count = 1 + random() % 12;
      for (int i = 0; i < count; ++i) {
        pieces.push_back({1 + random() % 64, static_cast<int>(random() % (i % 4 == 3 ? 120 : 30))});
      }
      // The editor runs its event loop while the writer writes.
      std::atomic<bool> done = false;
      std::thread writer([&] {
        WriteSlowly(path, text, pieces);
        done = true;
      });
      while (!done) QTest::qWait(5);
      writer.join();
      const QString expected =
          QString::fromLatin1(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      QTRY_COMPARE_WITH_TIMEOUT(w.Editor()->toPlainText(), expected, 5000);
      WaitUntilSettled(w);
      QCOMPARE(w.Editor()->toPlainText(), expected);
      ExpectUnmodified(w);
      QVERIFY(h.dialogs.asked.empty());
    }
  }

  void aReloadIsOneUndoStepAndLeavesTheTextUnmodified() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("song.qrn");
    WriteAll(path, "A c\r\n");
    Open(h, path);
    WaitUntilSettled(w);

    // Unmodified: reloaded quietly; one undo brings back the text before.
    WriteAll(path, "A d\r\n");
    QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("A d\n"));
    ExpectUnmodified(w);
    QVERIFY(w.statusBar()->currentMessage().startsWith(
        QStringLiteral("ディスク上の変更を読み込みました")));
    w.Action(QStringLiteral("Undo1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c\n"));
    QVERIFY(w.Editor()->document()->isModified());  // it differs from the file now
    w.Editor()->redo();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A d\n"));
    QVERIFY(!w.Editor()->document()->isModified());

    // The user's own typing, taken over by the file's new text on Yes:
    // Ctrl+Z brings it back whole.
    w.Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(w.Editor(), QStringLiteral("e f g"));
    const QString typed = w.Editor()->toPlainText();
    h.dialogs.answers = {Dialogs::Answer::kYes};
    WriteAll(path, "B a\r\n");
    QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("B a\n"));
    QCOMPARE(h.dialogs.asked.size(), size_t(1));
    ExpectUnmodified(w);
    QTest::keyClick(w.Editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.Editor()->toPlainText(), typed);
  }

  // The file changes while the user edits; while the question is open it
  // changes again, then goes: the answer takes the newest version, or,
  // once it is gone, leaves the user's text alone.
  void theQuestionTakesTheNewestVersionAndNeverAGoneOne() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("song.qrn");
    WriteAll(path, "A c\r\n");
    Open(h, path);
    WaitUntilSettled(w);
    w.Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(w.Editor(), QStringLiteral("d"));
    const QString typed = w.Editor()->toPlainText();

    h.dialogs.answers = {Dialogs::Answer::kYes};
    h.dialogs.while_asking = [&] {
      WriteAll(path, "B e\r\n");
      WaitUntilSettled(w);
    };
    WriteAll(path, "B d\r\n");
    QTRY_COMPARE(h.dialogs.asked.size(), size_t(1));
    QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("B e\n"));
    WaitUntilSettled(w);
    QCOMPARE(h.dialogs.asked.size(), size_t(1));  // one question, not one per version

    QTest::keyClicks(w.Editor(), QStringLiteral("f"));
    h.dialogs.answers = {Dialogs::Answer::kYes};
    h.dialogs.while_asking = [&] {
      QVERIFY(QFile::remove(path));
      QTRY_VERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("削除")));
    };
    const QString edited = w.Editor()->toPlainText();
    WriteAll(path, "C g\r\n");
    QTRY_COMPARE(h.dialogs.asked.size(), size_t(2));
    h.dialogs.while_asking = nullptr;
    WaitUntilSettled(w);
    QCOMPARE(w.Editor()->toPlainText(), edited);
    QVERIFY(w.Editor()->document()->isModified());
    QVERIFY(typed != edited);
  }

  // Saved as many editors save: a new file renamed over the old one, which
  // the toolkit's watcher then forgets. The watch is armed again, so that a
  // later write in place is seen too.
  void theWatchIsArmedAgainAfterEveryReload() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("song.qrn");
    WriteAll(path, "A c\r\n");
    Open(h, path);
    WaitUntilSettled(w);
    for (int round = 0; round < 3; ++round) {
      const QString temporary = h.Path(".song.qrn.new");
      WriteAll(temporary, "A d" + QByteArray::number(round) + "\r\n");
      QVERIFY(std::rename(QFile::encodeName(temporary).constData(),
                          QFile::encodeName(path).constData()) == 0);
      QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("A d%1\n").arg(round));
      WaitUntilSettled(w);
      WriteAll(path, "A e" + QByteArray::number(round) + "\r\n");
      QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("A e%1\n").arg(round));
      WaitUntilSettled(w);
      ExpectUnmodified(w);
    }
  }
};

QTEST_MAIN(EditorReloadTest)
#include "editor_reload_test.moc"
