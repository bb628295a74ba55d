// The settings dialog through the main window: fill, choose, OK or Cancel,
// and the settings file across a restart.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "editor_fixture.h"
#include "shell/qt/colors.h"
#include "shell/qt/file_browser.h"
#include "shell/qt/message_window.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/settings_dialog.h"

namespace {

// Picks a new face and size; the colour the font dialog may carry is not
// taken.
std::function<bool(QFont*)> PickFont(const char* family, int size) {
  return [family, size](QFont* font) {
    font->setFamily(QString::fromLatin1(family));
    font->setPointSize(size);
    return true;
  };
}

std::function<bool(QColor*)> PickColor(QColor color) {
  return [color](QColor* chosen) {
    *chosen = color;
    return true;
  };
}

// Changes every group and the interval, then presses the given button.
std::function<void(QDialog*)> ChangeEverything(bool ok) {
  return [ok](QDialog* dialog) {
    auto* d = static_cast<SettingsDialog*>(dialog);
    d->FontButton(0)->click();
    d->ColorButton(0)->click();
    d->BackButton(1)->click();
    d->FontButton(2)->click();
    d->IntervalBox()->stepUp();
    d->IntervalBox()->stepUp();
    d->OutputBox()->setCurrentIndex(d->OutputBox()->findData(QStringLiteral("alsa:Test Port")));
    (ok ? d->OkButton() : d->CancelButton())->click();
  };
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  void showsTheWindowsPresentFonts() {
    EditorHarness h;
    h.dialogs.modal = [](QDialog* dialog) {
      auto* d = static_cast<SettingsDialog*>(dialog);
      QCOMPARE(d->windowTitle(), QStringLiteral("各種設定"));
      QCOMPARE(d->FontLabel(0)->text(), QStringLiteral("ＭＳ ゴシック 10"));
      QCOMPARE(d->Sample(1)->text(), QStringLiteral("AaBbあア亜"));
      QCOMPARE(d->IntervalBox()->value(), 4);
      QCOMPARE(d->OutputBox()->currentData().toString(), QStringLiteral("synth"));
      QCOMPARE(d->OutputBox()->count(), 3);
      // The interval stays within 1 to 99 and does not wrap.
      d->IntervalBox()->setValue(99);
      d->IntervalBox()->stepUp();
      QCOMPARE(d->IntervalBox()->value(), 99);
      d->IntervalBox()->setValue(1);
      d->IntervalBox()->stepDown();
      QCOMPARE(d->IntervalBox()->value(), 1);
      d->reject();
    };
    h.window->Action(QStringLiteral("Interrupt1"))->trigger();
  }

  void cancelChangesNothing() {
    EditorHarness h;
    Settings before = h.window->SettingsFields();
    QFont editor_font = h.window->Editor()->font();
    h.dialogs.fonts = {PickFont("DejaVu Sans", 14), PickFont("DejaVu Serif", 9)};
    h.dialogs.colors = {PickColor(Qt::red), PickColor(Qt::blue)};
    h.dialogs.modal = ChangeEverything(false);
    h.window->RunSettingsDialog();
    QVERIFY(h.window->SettingsFields() == before);
    QCOMPARE(h.window->Editor()->font(), editor_font);
    QCOMPARE(TimerInterval(), 4);
    QCOMPARE(h.opened.size(), 1);
  }

  void okAppliesEverythingAndThePlayingSongFollows() {
    EditorHarness h;
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A c"));
    w.ToolButton(3)->click();
    QVERIFY(IsPlaying());

    h.dialogs.fonts = {PickFont("DejaVu Sans", 14), PickFont("DejaVu Serif", 9)};
    h.dialogs.colors = {PickColor(QColor(0x12, 0x34, 0x56)), PickColor(QColor(0xff, 0xff, 0xe0))};
    h.dialogs.modal = [](QDialog* dialog) {
      auto* d = static_cast<SettingsDialog*>(dialog);
      d->FontButton(0)->click();
      QCOMPARE(d->FontLabel(0)->text(), QStringLiteral("DejaVu Sans 14"));
      d->ColorButton(0)->click();
      d->BackButton(1)->click();
      d->FontButton(2)->click();
      d->IntervalBox()->stepUp();
      d->IntervalBox()->stepUp();
      d->OkButton()->click();
    };
    w.Action(QStringLiteral("Interrupt1"))->trigger();

    const Settings& s = w.SettingsFields();
    QCOMPARE(s.editor_font.name, QStringLiteral("DejaVu Sans"));
    QCOMPARE(s.editor_font.size, 14);
    QCOMPARE(s.editor_font.color, ColourValue(0x12, 0x34, 0x56));
    QCOMPARE(w.Editor()->font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(w.Editor()->palette().color(QPalette::Text), QColor(0x12, 0x34, 0x56));
    QCOMPARE(s.message_font.back_color, ColourValue(0xff, 0xff, 0xe0));
    QCOMPARE(w.Messages()->List()->palette().color(QPalette::Base), QColor(0xff, 0xff, 0xe0));
    QCOMPARE(s.browser_font.name, QStringLiteral("DejaVu Serif"));
    QCOMPARE(s.browser_font.size, 9);
    // Choosing only a face keeps the group's text colour.
    QCOMPARE(s.browser_font.color, 0);
    QCOMPARE(w.Browser()->List()->font().pointSize(), 9);
    QCOMPARE(s.interval, 6);
    QCOMPARE(TimerInterval(), 6);
    QVERIFY(IsPlaying());
  }

  void settingsSurviveARestart() {
    EditorHarness h;
    h.dialogs.fonts = {PickFont("DejaVu Sans", 14), PickFont("DejaVu Serif", 9)};
    h.dialogs.colors = {PickColor(Qt::red), PickColor(Qt::blue)};
    h.dialogs.modal = ChangeEverything(true);
    h.window->RunSettingsDialog();
    QCOMPARE(h.opened.last(), QStringLiteral("alsa:Test Port|"));
    h.window->Action(QStringLiteral("ShowMessage1"))->trigger();
    h.window->Action(QStringLiteral("Panel1"))->trigger();
    h.window->Messages()->move(30, 40);
    Settings applied = h.window->SettingsFields();
    QVERIFY(h.Close());

    h.Start();
    const Settings& s = h.window->SettingsFields();
    QCOMPARE(s.editor_font, applied.editor_font);
    QCOMPARE(s.message_font, applied.message_font);
    QCOMPARE(s.browser_font, applied.browser_font);
    QCOMPARE(s.interval, 6);
    QCOMPARE(TimerInterval(), 6);
    QCOMPARE(s.midi_output, QStringLiteral("alsa:Test Port"));
    QCOMPARE(h.opened.last(), QStringLiteral("alsa:Test Port|"));
    QVERIFY(h.window->Messages()->isVisible());
    QCOMPARE(h.window->Messages()->pos(), QPoint(30, 40));
    QVERIFY(h.window->Action(QStringLiteral("ShowMessage1"))->isChecked());
    QVERIFY(!h.window->Action(QStringLiteral("Panel1"))->isChecked());
    QCOMPARE(h.window->Editor()->palette().color(QPalette::Text), QColor(Qt::red));
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
