// The editor's MIDI import: "MIDI ファイルを読み込む…" in the File menu and a
// .mid file dropped on the window open the imported score as a new, unnamed
// text, with the import report in the message window.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "editor_fixture.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"

namespace {

// A format 0 file named "Night Song": c for a quarter, then d.
QByteArray NightSong() {
  const QByteArray track = QByteArray("\x00\xff\x03\x0aNight Song", 14) +
                           QByteArray("\x00\x90\x3c\x50\x60\x3c\x00\x00\x3e\x50\x60\x3e\x00", 13) +
                           QByteArray("\x00\xff\x2f\x00", 4);
  QByteArray file("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk", 18);
  const int n = track.size();
  file += QByteArray(1, static_cast<char>(n >> 24)) + QByteArray(1, static_cast<char>(n >> 16)) +
          QByteArray(1, static_cast<char>(n >> 8)) + QByteArray(1, static_cast<char>(n));
  return file + track;
}

const char kScoreStart[] = "#title \"Night Song\"\n#clock 384\n";

void Drop(QWidget* target, const QString& path, bool* entered) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  *entered = enter.isAccepted();
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

}  // namespace

class MidiImportTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  // The text in hand is asked about once; the new one is unnamed, changed,
  // and the report lists what was read.
  void menuOpensTheImportAsANewUnnamedText() {
    EditorHarness h;
    MainWindow& w = *h.window;
    WriteAll(h.Path("tune.mid"), NightSong());
    w.Editor()->setPlainText(QStringLiteral("A c"));
    w.Editor()->document()->setModified(true);
    h.dialogs.answers = {Dialogs::Answer::kNo};
    h.dialogs.open_paths = {h.Path("tune.mid")};
    w.Action(QStringLiteral("ImportMidi1"))->trigger();
    QCOMPARE(h.dialogs.asked.size(), size_t(1));
    const QString text = w.Editor()->toPlainText();
    QVERIFY2(text.startsWith(QString::fromUtf8(kScoreStart)), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\nA ch1\nA c d\n")), qPrintable(text));
    QVERIFY(w.Editor()->document()->isModified());
    QVERIFY(QFileInfo(w.Browser()->CurrentFilePath()).isDir());  // no file of its own
    QVERIFY(w.Messages()->isVisible());
    QCOMPARE(w.Messages()->Entries(),
             (QStringList{QStringLiteral("tune.mid を読み込みました"),
                          QStringLiteral("1 track, 2 notes, resolution 384")}));
  }

  void droppingAMidFileImportsIt() {
    EditorHarness h;
    MainWindow& w = *h.window;
    WriteAll(h.Path("song.MID"), NightSong());
    bool entered = false;
    Drop(w.Editor()->viewport(), h.Path("song.MID"), &entered);
    QVERIFY(entered);
    QVERIFY(w.Editor()->toPlainText().startsWith(QString::fromUtf8(kScoreStart)));
    QCOMPARE(w.Messages()->Entries().first(), QStringLiteral("song.MID を読み込みました"));
    // On the window itself as well; a file of another kind is not taken.
    w.Editor()->clear();
    w.Editor()->document()->setModified(false);
    Drop(&w, h.Path("song.MID"), &entered);
    QVERIFY(entered);
    QVERIFY(w.Editor()->toPlainText().startsWith(QString::fromUtf8(kScoreStart)));
    WriteAll(h.Path("notes.txt"), "A c");
    w.Editor()->document()->setModified(false);
    w.Editor()->setPlainText(QStringLiteral("B d"));
    w.Editor()->document()->setModified(false);
    Drop(&w, h.Path("notes.txt"), &entered);
    QVERIFY(!entered);
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("B d"));
  }

  // A file that does not read leaves the text alone and says where it is
  // wrong; cancelling the question keeps the text too.
  void aFaultyFileOrCancelKeepsTheText() {
    EditorHarness h;
    MainWindow& w = *h.window;
    WriteAll(h.Path("bad.mid"), "RIFF....");
    w.Editor()->setPlainText(QStringLiteral("A c"));
    w.Editor()->document()->setModified(true);
    h.dialogs.open_paths = {h.Path("bad.mid")};
    w.Action(QStringLiteral("ImportMidi1"))->trigger();
    QVERIFY(h.dialogs.asked.empty());
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
    QCOMPARE(w.Messages()->Entries(),
             QStringList{QStringLiteral(
                 "bad.mid: byte offset 0: not a Standard MIDI File (no MThd header)")});
    WriteAll(h.Path("tune.mid"), NightSong());
    h.dialogs.open_paths = {h.Path("tune.mid")};
    h.dialogs.answers = {Dialogs::Answer::kCancel};
    w.Action(QStringLiteral("ImportMidi1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
    // No file chosen: nothing happens.
    w.Action(QStringLiteral("ImportMidi1"))->trigger();
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("A c"));
  }
};

QTEST_MAIN(MidiImportTest)
#include "midi_import_test.moc"
