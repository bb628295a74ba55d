// The compiler message window on its own: placement from the settings,
// which entries jump, and closing.
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

#include "shell/qt/message_window.h"

class MessageWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void placementKeepsTheDesignedValueForNegativeOnes() {
    MessageWindow window;
    window.ApplySettings(Placement{0, -1, 300, -1}, FontSetting{}, true);
    QCOMPARE(window.pos(), QPoint(0, 109));
    QCOMPARE(window.size(), QSize(300, 357));
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Quern MIDI Compiler Message"));
  }

  void onlyEntriesWithAPositionJump() {
    MessageWindow window;
    window.show();
    QSignalSpy jumps(&window, &MessageWindow::jumpRequested);
    window.SetEntries({QStringLiteral("  12 :   5 : EE未定義コマンドです"),
                       QStringLiteral("  12   5 : no colon"), QStringLiteral(" -1 :  -1 : x"),
                       QStringLiteral("Object Size : 26 bytes"), QStringLiteral("\t3\t:\t0")});
    // Nothing selected: Enter does nothing.
    QTest::keyClick(window.List(), Qt::Key_Return);
    QCOMPARE(jumps.size(), 0);
    for (int row = 0; row < 5; ++row) {
      window.List()->setCurrentRow(row);
      QTest::keyClick(window.List(), Qt::Key_Return);
    }
    QCOMPARE(jumps.size(), 2);
    QCOMPARE(jumps[0], (QList<QVariant>{12, 5}));
    QCOMPARE(jumps[1], (QList<QVariant>{3, 0}));

    window.AppendEntry(QStringLiteral("Object Size : 1 bytes"));
    QCOMPARE(window.Entries().size(), 6);
    window.ClearEntries();
    QTest::keyClick(window.List(), Qt::Key_Return);
    QCOMPARE(jumps.size(), 2);
  }

  void closingHidesAndTellsTheMainWindow() {
    MessageWindow window;
    QSignalSpy closed(&window, &MessageWindow::closedByUser);
    window.ShowInFront();
    window.close();
    QVERIFY(!window.isVisible());
    QCOMPARE(closed.size(), 1);
  }
};

QTEST_MAIN(MessageWindowTest)
#include "message_window_test.moc"
