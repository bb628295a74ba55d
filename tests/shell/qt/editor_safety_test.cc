// The editor never loses work silently: saves right after typing, saves in
// folders where no new file may be made, files changed or removed behind
// the editor's back, and scores cut short by a NUL byte.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QListWidget>
#include <QStatusBar>

#include "editor_fixture.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"

namespace {

// While it lives, file access runs as an ordinary user: root may create
// files in any folder, and the folder's permissions would not be tested.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : root_(geteuid() == 0) {
    if (root_) {
      setfsgid(kNobody);
      setfsuid(kNobody);
    }
  }
  ~AsOrdinaryUser() {
    if (root_) {
      setfsuid(0);
      setfsgid(0);
    }
  }
  // Gives the file to the user that AsOrdinaryUser acts as.
  static void Own(const QString& path) {
    if (geteuid() == 0) QCOMPARE(chown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
  }

 private:
  static constexpr uid_t kNobody = 65534;
  bool root_;
};

void Chmod(const QString& path, mode_t mode) {
  QCOMPARE(chmod(QFile::encodeName(path).constData(), mode), 0);
}

void Open(EditorHarness& h, const QString& path) {
  h.window->Browser()->SetCurrentFilePath(path);
  h.window->LoadFile(path);
}

void ShowActive(MainWindow& w) {
  w.show();
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.Editor()->setFocus();
}

void Type(MainWindow& w, const char* text) {
  w.Editor()->moveCursor(QTextCursor::End);
  QTest::keyClicks(w.Editor(), QString::fromLatin1(text));
}

}  // namespace

class EditorSafetyTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void f2RightAfterTypingSaves() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("score.qrn");
    WriteAll(path, "A c\r\n");
    Open(h, path);
    ShowActive(w);
    QCOMPARE(w.Caption(), path);
    QVERIFY(!w.isWindowModified());
    // One key and F2 at once, with no tick of the 1-second timer between.
    QTest::keyClick(w.Editor(), Qt::Key_D);
    QVERIFY(w.isWindowModified());
    QTest::keyClick(w.Editor(), Qt::Key_F2);
    QCOMPARE(ReadAll(path), QByteArray("dA c\r\n"));
    QVERIFY(!w.isWindowModified());
    QVERIFY(!w.Action(QStringLiteral("Save1"))->isEnabled());
    QCOMPARE(w.Caption(), path);
  }

  void saveInAFolderWhereNoFileMayBeMadeWritesInPlace() {
    EditorHarness h;
    MainWindow& w = *h.window;
    Chmod(h.folder.path(), 0755);  // the ordinary user may look inside
    const QString folder = h.Path("locked");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/score.qrn");
    WriteAll(path, "A c");
    AsOrdinaryUser::Own(path);
    Chmod(path, 0644);
    Chmod(folder, 0555);
    Open(h, path);
    {
      AsOrdinaryUser user;
      w.Editor()->moveCursor(QTextCursor::End);
      QTest::keyClicks(w.Editor(), QStringLiteral(" e"));
      w.SaveCurrent();
      QVERIFY(h.dialogs.informed.empty());
      QCOMPARE(ReadAll(path), QByteArray("A c e"));
      QVERIFY(!w.Editor()->document()->isModified());

      // A file that cannot be written in place either: reported, and the
      // text stays modified.
      Chmod(path, 0444);
      QTest::keyClicks(w.Editor(), QStringLiteral(" f"));
      w.SaveCurrent();
      QCOMPARE(h.dialogs.informed.size(), size_t(1));
      QCOMPARE(h.dialogs.informed[0].caption, QStringLiteral("Error"));
      QVERIFY(w.Editor()->document()->isModified());
      QCOMPARE(ReadAll(path), QByteArray("A c e"));
    }
    Chmod(folder, 0755);
  }

  void aFileChangedOnDiskIsReloadedOrAskedAbout() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("score.qrn");
    WriteAll(path, "A c");
    Open(h, path);

    // No changes in the editor: reloaded quietly.
    WriteAll(path, "A c d");
    QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("A c d"));
    QVERIFY(h.dialogs.asked.empty());
    QVERIFY(!w.Editor()->document()->isModified());

    // The editor's own save is no change.
    Type(w, "x");
    w.SaveCurrent();
    QTest::qWait(200);
    QVERIFY(h.dialogs.asked.empty());

    // Changes in the editor: asked; No keeps the editor's text.
    Type(w, "y");
    h.dialogs.answers = {Dialogs::Answer::kNo};
    WriteAll(path, "B e");
    QTRY_COMPARE(h.dialogs.asked.size(), size_t(1));
    QVERIFY(h.dialogs.asked[0].text.contains(path));
    QVERIFY(w.Editor()->toPlainText().contains(QLatin1Char('y')));
    QVERIFY(w.Editor()->document()->isModified());

    // Yes takes the file's text.
    h.dialogs.answers = {Dialogs::Answer::kYes};
    WriteAll(path, "C f");
    QTRY_COMPARE(w.Editor()->toPlainText(), QStringLiteral("C f"));
    QCOMPARE(h.dialogs.asked.size(), size_t(2));
  }

  void aRemovedFileIsReportedAndRecreatedKnowingly() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("score.qrn");
    WriteAll(path, "A c");
    Open(h, path);
    ShowActive(w);
    QVERIFY(QFile::remove(path));
    QTRY_VERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("削除")));
    QVERIFY(w.statusBar()->currentMessage().contains(path));
    // The text lives only in the editor now: closing would ask.
    QVERIFY(w.Editor()->document()->isModified());

    // F2 makes it again in place, as promised, and says so for good (past
    // the next tick of the command timer and the watch's looks).
    const QString recreated = QStringLiteral("ファイルを作り直しました: ") + path;
    QTest::keyClick(w.Editor(), Qt::Key_F2);
    QVERIFY(h.dialogs.save_starts.empty());
    QCOMPARE(ReadAll(path), QByteArray("A c"));
    QVERIFY(!w.Editor()->document()->isModified());
    QTest::qWait(1200);
    QCOMPARE(w.statusBar()->currentMessage(), recreated);

    // F5 writes it again at once, then compiles; the compilation leaves
    // the message in sight.
    QVERIFY(QFile::remove(path));
    QTRY_VERIFY(w.Editor()->document()->isModified());
    QTest::keyClick(w.Editor(), Qt::Key_F5);
    QCOMPARE(ReadAll(path), QByteArray("A c"));
    QCOMPARE(h.compiler->texts.size(), size_t(1));
    QTest::qWait(1200);
    QCOMPARE(w.statusBar()->currentMessage(), recreated);
    QVERIFY(h.dialogs.save_starts.empty());
  }

  // The score has a file: Yes to the save question saves it in place, on
  // quit, New and Open alike, with no Save As and no overwrite question.
  void yesToTheSaveQuestionSavesInPlace() {
    EditorHarness h;
    MainWindow& w = *h.window;
    const QString path = h.Path("score.qrn");
    const QString other = h.Path("other.qrn");
    WriteAll(path, "A c");
    WriteAll(other, "B d");
    Open(h, path);
    ShowActive(w);

    Type(w, " d");
    h.dialogs.answers = {Dialogs::Answer::kYes};
    w.Action(QStringLiteral("New1"))->trigger();
    QCOMPARE(ReadAll(path), QByteArray("A c d"));
    QCOMPARE(w.Editor()->toPlainText(), QString());

    Open(h, path);
    Type(w, " e");
    h.dialogs.answers = {Dialogs::Answer::kYes};
    w.Browser()->SetBrowseDirectory(h.folder.path());
    h.dialogs.modal = [&](QDialog* dialog) {
      auto* browser = static_cast<FileBrowser*>(dialog);
      QList<QListWidgetItem*> found =
          browser->List()->findItems(QStringLiteral("other.qrn"), Qt::MatchStartsWith);
      QVERIFY(!found.isEmpty());
      browser->List()->setCurrentItem(found.first());
      QTest::keyClick(browser->List(), Qt::Key_Return);
    };
    w.Action(QStringLiteral("Open1"))->trigger();
    QCOMPARE(ReadAll(path), QByteArray("A c d e"));
    QCOMPARE(w.Editor()->toPlainText(), QStringLiteral("B d"));

    Type(w, " f");
    h.dialogs.answers = {Dialogs::Answer::kYes};
    QTest::keyClick(w.Editor(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w.isVisible());
    QCOMPARE(ReadAll(other), QByteArray("B d f"));
    QCOMPARE(h.dialogs.asked.size(), size_t(3));
    QVERIFY(h.dialogs.save_starts.empty());
  }

  void aNulByteIsReportedWhereTheScoreEnds() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    const QString path = h.Path("nul.qrn");
    WriteAll(path, QByteArray("A c\r\nB d", 8) + QByteArray(1, '\0') + QByteArray("e\r\nC x\r\n"));
    Open(h, path);
    w.CompileText();
    const QStringList entries = w.Messages()->Entries();
    QVERIFY2(!entries.isEmpty(), "no messages");
    QCOMPARE(entries[0].left(22), QStringLiteral("  1 :   3 : Warning NU"));
    QVERIFY(w.Messages()->isVisible());
    QVERIFY(w.Action(QStringLiteral("ShowMessage1"))->isChecked());
    // Track C is never compiled, and the warning leads to the byte.
    QVERIFY(!entries.join(QLatin1Char('\n')).contains(QStringLiteral("Track 'C'")));
    w.Messages()->List()->setCurrentRow(0);
    w.Messages()->JumpFromSelected();
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 1);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 3);
  }
};

QTEST_MAIN(EditorSafetyTest)
#include "editor_safety_test.moc"
