// What the editor shows must be true and within reach: windows on a screen,
// readable colours, the font in use, Japanese buttons, keys that work from
// every window, and the message window docked under the editor.
#include <QAction>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFontDatabase>
#include <QFontInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>

#include "editor_fixture.h"
#include "shell/qt/colors.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/score_highlighter.h"
#include "shell/qt/settings_dialog.h"
#include "shell/qt/sound_status.h"
#include "shell/qt/translations.h"
#include "shell/qt/window_placement.h"

namespace {

const char kErrorReport[] = "  1 :   2 : EE未定義コマンドです\n";

// Restarts the editor on settings written beforehand.
void Restart(EditorHarness& h, const std::function<void(QSettings&)>& write) {
  h.Stop();
  {
    QSettings store(h.settings_path, QSettings::IniFormat);
    write(store);
  }
  h.Start();
}

QRect Available() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

}  // namespace

class EditorScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void soundReasonNamesNoCommandLineOptions() {
    QCOMPARE(EditorSoundReason(QStringLiteral(
                 "no audio output can be opened for the synthesizer (tried PulseAudio, "
                 "PipeWire, ALSA and SDL); try --output alsa:PORT or --output none")),
             QStringLiteral("no audio output can be opened for the synthesizer (tried "
                            "PulseAudio, PipeWire, ALSA and SDL)"));
    QCOMPARE(EditorSoundReason(QString()), QStringLiteral("MIDIデバイスが使用できません"));
  }

  void windowsAreKeptOnScreen() {
    const QList<QRect> screens{QRect(0, 0, 800, 600), QRect(800, 0, 1024, 768)};
    // Within a screen: unchanged.
    QCOMPARE(FitOnScreens(QRect(900, 10, 300, 200), screens), QRect(900, 10, 300, 200));
    // Off every screen: moved onto the first.
    QCOMPARE(FitOnScreens(QRect(5000, 5000, 300, 200), screens), QRect(500, 400, 300, 200));
    // Mostly on the second screen: moved wholly onto it.
    QCOMPARE(FitOnScreens(QRect(1700, -50, 300, 200), screens), QRect(1524, 0, 300, 200));
    // Larger than the screen it overlaps most: shrunk to it.
    QCOMPARE(FitOnScreens(QRect(-100, -100, 2000, 2000), screens), QRect(800, 0, 1024, 768));
    QCOMPARE(FitOnScreens(QRect(10, 10, 900, 700), {QRect(0, 0, 800, 600)}), QRect(0, 0, 800, 600));
    QCOMPARE(FitOnScreens(QRect(5000, 5000, 300, 200), {}), QRect(5000, 5000, 300, 200));

    EditorHarness h;
    Restart(h, [](QSettings& s) {
      s.setValue("Wnd1PosX", 5000);
      s.setValue("Wnd1PosY", 5000);
      s.setValue("Wnd1SizX", 517);
      s.setValue("Wnd1SizY", 578);
      s.setValue("Wnd3PosX", 4000);
      s.setValue("Wnd3PosY", 10);
      s.setValue("Wnd3SizX", 3000);
      s.setValue("Wnd3SizY", 3000);
      s.setValue("ShowMessage", 1);
    });
    QVERIFY(Available().contains(h.window->frameGeometry()));
    QTRY_VERIFY2(Available().contains(h.window->Messages()->frameGeometry()),
                 qPrintable(QStringLiteral("%5x%6 in %7x%8: %1,%2 %3x%4")
                                .arg(h.window->Messages()->frameGeometry().x())
                                .arg(h.window->Messages()->frameGeometry().y())
                                .arg(h.window->Messages()->frameGeometry().width())
                                .arg(h.window->Messages()->frameGeometry().height())
                                .arg(h.window->Messages()->width())
                                .arg(h.window->Messages()->height())
                                .arg(Available().width())
                                .arg(Available().height())));
    QCOMPARE(h.window->Messages()->frameGeometry().size(), Available().size());
    h.Stop();
    // The settings take the corrected places.
    QSettings store(h.settings_path, QSettings::IniFormat);
    QVERIFY(store.value("Wnd1PosX").toInt() < Available().right());
    QVERIFY(store.value("Wnd3SizX").toInt() <= Available().width());
  }

  void everyTokenClassReadsOnLightDarkAndGreyBackgrounds() {
    struct Scheme {
      QColor text, background;
    };
    const Scheme schemes[] = {
        {Qt::black, Qt::white},
        {Qt::white, Qt::black},
        {QColor(0xd0, 0xd0, 0xd0), QColor(0x1e, 0x1e, 0x2e)},
        {Qt::black, QColor(0x80, 0x80, 0x80)},
        {Qt::white, QColor(0x80, 0x80, 0x80)},  // the text itself reads badly here
        {QColor(0x20, 0x40, 0xa0), QColor(0xff, 0xfb, 0xf0)},
    };
    QTextDocument document;
    ScoreHighlighter highlighter(&document);
    for (const Scheme& scheme : schemes) {
      highlighter.SetColors(scheme.text, scheme.background);
      const QList<QTextCharFormat> formats = highlighter.ClassFormats();
      QCOMPARE(formats.size(), 14);
      for (const QTextCharFormat& format : formats) {
        const QColor color = format.foreground().color();
        QVERIFY2(ContrastRatio(color, scheme.background) >= 4.5,
                 qPrintable(QStringLiteral("%1 on %2: %3")
                                .arg(color.name(), scheme.background.name())
                                .arg(ContrastRatio(color, scheme.background))));
      }
    }
    // Notes are the text: they take the text colour where it reads.
    highlighter.SetColors(QColor(0x20, 0x40, 0xa0), Qt::white);
    QCOMPARE(highlighter.ClassFormats()[6].foreground().color(), QColor(0x20, 0x40, 0xa0));
    // A coloured class keeps its hue on a dark background.
    highlighter.SetColors(Qt::white, Qt::black);
    const QColor track = highlighter.ClassFormats()[2].foreground().color();
    QVERIFY(std::abs(track.hslHue() - QColor(0x1a, 0x4f, 0xa8).hslHue()) <= 2);
    QVERIFY(track.lightness() > QColor(0x1a, 0x4f, 0xa8).lightness());

    QCOMPARE(qRound(ContrastRatio(Qt::black, Qt::white)), 21);
    QCOMPARE(ContrastRatio(Qt::red, Qt::red), 1.0);
  }

  void theChosenColoursReachTheEditor() {
    EditorHarness h;
    Restart(h, [](QSettings& s) {
      s.setValue("FontColor", 0x00FFFFFF);  // white text
      s.setValue("BackColor", 0x00000000);  // on black
    });
    ScoreEdit* edit = h.window->Editor();
    QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::white));
    edit->setPlainText(QStringLiteral("A c d e r"));
    const QTextLayout* layout = edit->document()->firstBlock().layout();
    bool checked = false;
    for (const QTextLayout::FormatRange& range : layout->formats()) {
      const QColor color = range.format.foreground().color();
      QVERIFY(ContrastRatio(color, Qt::black) >= 4.5);
      checked = true;
    }
    QVERIFY(checked);
  }

  void aMissingFontFallsBackOnAJapaneseFixedPitchFace() {
    const QString designed = QString::fromUtf8(kDesignedFontNameUtf8);
    const QFont font = FontOfGroup(FontSetting{designed, 10, 0, 0});
    const QString family = QFontInfo(font).family();
    if (!QFontDatabase::hasFamily(designed)) {
      QVERIFY2(QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese),
               qPrintable(family));
    }

    // The font dialog opens on the face in use, and OK without a change
    // changes nothing.
    EditorHarness h;
    QString offered;
    h.dialogs.fonts = {[&](QFont* f) {
      offered = f->family();
      return true;
    }};
    h.dialogs.modal = [](QDialog* dialog) {
      static_cast<SettingsDialog*>(dialog)->FontButton(0)->click();
      dialog->accept();
    };
    const FontSetting before = h.window->SettingsFields().editor_font;
    h.window->RunSettingsDialog();
    QCOMPARE(offered, QFontInfo(h.window->Editor()->font()).family());
    QCOMPARE(h.window->SettingsFields().editor_font, before);
  }

  void toolkitButtonsReadInJapanese() {
    QVERIFY2(LoadToolkitTranslations(qApp), "qtbase_ja is not installed (qt6-translations-l10n)");
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Query"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QVERIFY2(box.button(QMessageBox::No)->text().contains(QStringLiteral("いいえ")),
             qPrintable(box.button(QMessageBox::No)->text()));
    QVERIFY(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("はい")));
    QVERIFY(box.button(QMessageBox::Cancel)->text().contains(QStringLiteral("キャンセル")));
  }

  void commandsWorkFromTheMessageWindowAfterAFailedCompile() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Editor()->setPlainText(QStringLiteral("A x\nB c"));
    h.compiler->results = {{3, Sjis(kErrorReport), {}}};
    QTest::keyClick(w.Editor(), Qt::Key_F12);
    QListWidget* list = w.Messages()->List();
    QVERIFY(w.Messages()->isVisible());
    // The first message is selected: Enter jumps to it.
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->currentItem()->isSelected());
    QVERIFY(QTest::qWaitForWindowActive(w.Messages()));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(w.Editor()->textCursor().blockNumber(), 1);
    QCOMPARE(w.Editor()->textCursor().positionInBlock(), 2);

    // F12, F5, F2 and Ctrl+Q from the message window.
    w.Messages()->ShowInFront();
    QVERIFY(QTest::qWaitForWindowActive(w.Messages()));
    h.compiler->results = {{0, "", LongNoteSong()}};
    QTest::keyClick(list, Qt::Key_F12);
    QCOMPARE(h.compiler->texts.size(), size_t(2));
    QVERIFY(IsPlaying());
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!IsPlaying());

    w.Messages()->ShowInFront();
    QVERIFY(QTest::qWaitForWindowActive(w.Messages()));
    w.Browser();
    h.dialogs.save_paths = {h.Path("f5.qrn")};
    QTest::keyClick(list, Qt::Key_F5);
    QCOMPARE(ReadAll(h.Path("f5.qrn")), QByteArray("A x\r\nB c"));
    StopPlayback();
    w.Editor()->appendPlainText(QStringLiteral("C d"));
    QTest::keyClick(list, Qt::Key_F2);
    QCOMPARE(ReadAll(h.Path("f5.qrn")), QByteArray("A x\r\nB c\r\nC d"));
    QTest::keyClick(list, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w.isVisible());
  }

  void theMessageWindowDocksUnderTheEditorAndStaysThere() {
    EditorHarness h;
    MainWindow& w = *h.window;
    QDockWidget* dock = w.MessageDockWidget();
    QVERIFY(dock->isHidden());
    w.Action(QStringLiteral("DockMessage1"))->trigger();
    QCOMPARE(dock->widget(), static_cast<QWidget*>(w.Messages()));
    QCOMPARE(w.dockWidgetArea(dock), Qt::BottomDockWidgetArea);

    h.compiler->results = {{3, Sjis(kErrorReport), {}}};
    w.CompileText();
    QVERIFY(!dock->isHidden());
    QVERIFY(w.Action(QStringLiteral("ShowMessage1"))->isChecked());
    w.Action(QStringLiteral("ShowMessage1"))->trigger();
    QVERIFY(dock->isHidden());
    w.Action(QStringLiteral("ShowMessage1"))->trigger();

    // Remembered, with the window's own place kept for undocking.
    h.Stop();
    h.Start();
    MainWindow& again = *h.window;
    QVERIFY(again.Action(QStringLiteral("DockMessage1"))->isChecked());
    QCOMPARE(again.MessageDockWidget()->widget(), static_cast<QWidget*>(again.Messages()));
    QVERIFY(!again.MessageDockWidget()->isHidden());
    again.Action(QStringLiteral("DockMessage1"))->trigger();
    QVERIFY(again.Messages()->isWindow());
    const QRect designed = FitOnScreens(QRect(464, 109, 426, 357), {Available()});
    QCOMPARE(again.Messages()->pos(), designed.topLeft());
    QCOMPARE(again.Messages()->size(), designed.size());
  }
};

QTEST_MAIN(EditorScreenTest)
#include "editor_screen_test.moc"
