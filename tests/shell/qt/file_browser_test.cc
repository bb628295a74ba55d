// The score file browser: listing, walking through directories, keys, and
// the selection it remembers between runs.
#include <QListWidget>

#include "editor_fixture.h"
#include "shell/qt/file_browser.h"

namespace {

QStringList Lines(FileBrowser& browser) {
  QStringList lines;
  for (int i = 0; i < browser.List()->count(); ++i) lines << browser.List()->item(i)->text();
  return lines;
}

void Select(FileBrowser& browser, const QString& line) {
  QList<QListWidgetItem*> found = browser.List()->findItems(line, Qt::MatchExactly);
  QVERIFY2(found.size() == 1, qPrintable(line));
  browser.List()->setCurrentItem(found.first());
}

}  // namespace

class FileBrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void walksIntoAndOutOfDirectories() {
    QTemporaryDir root;
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("ab")));
    QVERIFY(dir.mkpath(QStringLiteral("abc")));
    WriteAll(root.filePath(QStringLiteral("ab/inner.qrn")), "#title \"Inner\"\r\n");
    WriteAll(root.filePath(QStringLiteral("song.qrn")), SjisBytes("#title \"春の曲\"\r\nA c\r\n"));
    WriteAll(root.filePath(QStringLiteral("plain.qrn")), "A c\r\n");
    WriteAll(root.filePath(QStringLiteral("notes.txt")), "x");

    FileBrowser browser;
    browser.SetBrowseDirectory(root.path() + QStringLiteral("/ab/.."));
    browser.show();
    QCOMPARE(browser.windowTitle(), QStringLiteral("Quern File VIew[%1/]").arg(root.path()));
    QCOMPARE(Lines(browser), (QStringList{"[..]", "[ab]", "[abc]", "plain.qrn           ",
                                          "song.qrn            春の曲"}));

    // Enter on a directory walks into it and selects its first line.
    Select(browser, QStringLiteral("[ab]"));
    QTest::keyClick(browser.List(), Qt::Key_Return);
    QCOMPARE(browser.BrowseDirectory(), root.path() + QStringLiteral("/ab/"));
    QCOMPARE(Lines(browser), (QStringList{"[..]", "inner.qrn           Inner"}));
    QCOMPARE(browser.List()->currentRow(), 0);
    QVERIFY(browser.isVisible());

    // ".." walks out again; a double-click works like Enter.
    QPoint first = browser.List()->visualItemRect(browser.List()->item(0)).center();
    QTest::mouseClick(browser.List()->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(browser.List()->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(browser.BrowseDirectory(), root.path() + QLatin1Char('/'));
    QCOMPARE(Lines(browser).size(), 5);

    // A score file ends the run with its path.
    Select(browser, QStringLiteral("song.qrn            春の曲"));
    QTest::keyClick(browser.List(), Qt::Key_Return);
    QCOMPARE(browser.result(), int(QDialog::Accepted));
    QVERIFY(!browser.isVisible());
    QCOMPARE(browser.ChosenPath(), root.filePath(QStringLiteral("song.qrn")));
    QCOMPARE(browser.RememberedSelection(), 4);
    // The browser does not change the current file path itself.
    QCOMPARE(browser.CurrentFilePath(), QString());

    // The next run starts where the last one ended, with the same line.
    browser.show();
    QCOMPARE(browser.List()->currentRow(), 4);
    QTest::keyClick(browser.List(), Qt::Key_Escape);
    QCOMPARE(browser.result(), int(QDialog::Rejected));
    QCOMPARE(browser.ChosenPath(), QString());
  }

  void enterWithoutSelectionAndATooLargeSelectionDoNothing() {
    QTemporaryDir root;
    QTemporaryDir other;
    WriteAll(root.filePath(QStringLiteral("a.qrn")), "A c\r\n");
    WriteAll(root.filePath(QStringLiteral("b.qrn")), "A c\r\n");
    FileBrowser browser;
    browser.SetBrowseDirectory(root.path());
    browser.show();
    QVERIFY(browser.List()->selectedItems().isEmpty());
    QTest::keyClick(browser.List(), Qt::Key_Return);
    QVERIFY(browser.isVisible());
    browser.List()->setCurrentRow(2);
    browser.close();
    QCOMPARE(browser.RememberedSelection(), 2);

    // An empty folder has fewer lines: nothing is selected.
    browser.SetBrowseDirectory(other.path());
    browser.show();
    QCOMPARE(browser.List()->count(), 1);  // [..]
    QVERIFY(browser.List()->selectedItems().isEmpty());
    browser.reject();
  }

  void openThroughTheMainWindowUsesTheCommandLineFolder() {
    QTemporaryDir scores;
    WriteAll(scores.filePath(QStringLiteral("one.qrn")), "A c\r\n");
    WriteAll(scores.filePath(QStringLiteral("two.qrn")), "B d\r\n");
    EditorHarness h({scores.filePath(QStringLiteral("one.qrn"))});
    h.dialogs.modal = [](QDialog* dialog) {
      auto* browser = static_cast<FileBrowser*>(dialog);
      Select(*browser, QStringLiteral("two.qrn             "));
      QTest::keyClick(browser->List(), Qt::Key_Return);
    };
    h.window->OpenWithBrowser();
    QCOMPARE(h.window->CurrentFilePath(), scores.filePath(QStringLiteral("two.qrn")));
    QCOMPARE(h.window->Caption(), scores.filePath(QStringLiteral("two.qrn")));
  }
};

QTEST_MAIN(FileBrowserTest)
#include "file_browser_test.moc"
