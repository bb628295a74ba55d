// What the editor shows must read and be seen: every mark keeps its text
// readable in every colour scheme, the main window's whole frame stays on a
// screen and starts at a comfortable size, and a full-width space shows and
// is named when a jump lands on it.
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <random>

#include "compiler/driver/driver.h"
#include "editor_fixture.h"
#include "live/play_range.h"
#include "shell/editor_rules.h"
#include "shell/qt/colors.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/score_highlighter.h"
#include "shell/qt/window_placement.h"

namespace {

QRect Available() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

QString Describe(const QColor& a, const QColor& b) {
  return QStringLiteral("%1 on %2: %3").arg(a.name(), b.name()).arg(ContrastRatio(a, b));
}

// The colours of the text drawn on [start, stop) of a block: the mark's own
// when it has one, else the syntax colours there and the editor's text.
QList<QColor> TextColoursUnder(const ScoreEdit* edit, const QTextEdit::ExtraSelection& mark) {
  if (mark.format.hasProperty(QTextFormat::ForegroundBrush)) {
    return {mark.format.foreground().color()};
  }
  QList<QColor> colours{edit->palette().color(QPalette::Text)};
  const QTextBlock block = mark.cursor.block();
  const int start = mark.cursor.selectionStart() - block.position();
  const int stop =
      mark.cursor.hasSelection() ? mark.cursor.selectionEnd() - block.position() : block.length();
  for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
    if (range.start < stop && range.start + range.length > start &&
        range.format.hasProperty(QTextFormat::ForegroundBrush)) {
      colours.append(range.format.foreground().color());
    }
  }
  return colours;
}

// Every mark the editor draws, against every text colour on it.
void CheckDrawnMarks(const ScoreEdit* edit) {
  int checked = 0;
  for (const QTextEdit::ExtraSelection& mark : edit->extraSelections()) {
    const QColor back = mark.format.background().color();
    if (back == edit->SelectionBackground()) continue;  // the system's colours
    for (const QColor& text : TextColoursUnder(edit, mark)) {
      QVERIFY2(ContrastRatio(text, back) >= kMinTokenContrast, qPrintable(Describe(text, back)));
      ++checked;
    }
  }
  QVERIFY(checked > 0);
}

}  // namespace

class EditorViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  // Over fixed and random schemes: every token colour reads on the editor's
  // background and on both line marks; the text itself reads on the line
  // marks wherever it reads on the background; the playhead's marks carry
  // a text colour that reads on them.
  void everyMarkColourKeepsItsTextReadable() {
    struct Scheme {
      QColor text, background;
    };
    std::vector<Scheme> schemes = {
        {Qt::black, Qt::white},
        {Qt::white, Qt::black},
        {QColor(0xdc, 0xdc, 0xdc), QColor(0x1e, 0x1f, 0x26)},
        {QColor(0xd0, 0xd0, 0xd0), QColor(0x1e, 0x1e, 0x2e)},
        {Qt::black, QColor(0x80, 0x80, 0x80)},
        {Qt::white, QColor(0x80, 0x80, 0x80)},  // the text itself reads badly here
        {QColor(0x20, 0x40, 0xa0), QColor(0xff, 0xfb, 0xf0)},
        {Qt::yellow, QColor(0x00, 0x00, 0x80)},
        {Qt::green, Qt::black},
        {Qt::black, QColor(0xff, 0xff, 0xe0)},
    };
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
      auto any = [&] { return QColor::fromRgb(random() & 0xffffff); };
      schemes.push_back({any(), any()});
    }
    QTextDocument document;
    ScoreHighlighter highlighter(&document);
    for (size_t i = 0; i < schemes.size(); ++i) {
      const Scheme& s = schemes[i];
      const bool readable = ContrastRatio(s.text, s.background) >= kMinTokenContrast;
      if (i >= 10 && !readable) continue;  // a random scheme whose text reads badly
      const EditorMarkColors marks = MarkColorsFor(s.text, s.background);
      const QList<QColor> lines{s.background, marks.caret_line, marks.diagnostic_line};
      highlighter.SetColors(s.text, s.background);
      for (const QTextCharFormat& format : highlighter.ClassFormats()) {
        for (const QColor& line : lines) {
          const QColor token = format.foreground().color();
          QVERIFY2(ContrastRatio(token, line) >= kMinTokenContrast,
                   qPrintable(Describe(token, line)));
        }
      }
      for (const QColor& line : lines) {
        if (readable) {
          QVERIFY2(ContrastRatio(s.text, line) >= kMinTokenContrast,
                   qPrintable(Describe(s.text, line)));
        }
      }
      QVERIFY2(ContrastRatio(marks.note_text, marks.note) >= kMinTokenContrast,
               qPrintable(Describe(marks.note_text, marks.note)));
      QVERIFY2(ContrastRatio(marks.call_text, marks.call) >= kMinTokenContrast,
               qPrintable(Describe(marks.call_text, marks.call)));
      // The line marks are still marks: they differ from the background
      // (a random scheme whose text barely reads may leave no room for one).
      if (i < 10) QVERIFY(marks.diagnostic_line != s.background.toRgb());
    }
    // The designed shades where they read: the lit note's orange keeps black
    // text on white, and takes black text on a dark background too.
    const EditorMarkColors light = MarkColorsFor(Qt::black, Qt::white);
    QCOMPARE(light.note, QColor(0xff, 0xa8, 0x30));
    QCOMPARE(light.note_text, QColor(Qt::black));
    QCOMPARE(MarkColorsFor(QColor(0xdc, 0xdc, 0xdc), QColor(0x1e, 0x1f, 0x26)).note_text,
             QColor(Qt::black));
  }

  // In the dark scheme, with syntax colours: a lit note, a lit macro call,
  // the caret's line and the picked diagnostic's line, as the editor draws
  // them.
  void theEditorDrawsEveryMarkReadably() {
    EditorHarness h({}, false, true);
    h.Stop();
    {
      QSettings store(h.settings_path, QSettings::IniFormat);
      store.setValue("FontColor", ColourValue(0xdc, 0xdc, 0xdc));
      store.setValue("BackColor", ColourValue(0x1e, 0x1f, 0x26));
    }
    h.Start();
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    const QString text = QStringLiteral("%M c d\nA \"序\" t120 o4 l8 [e f %M]2 v100 g+4.\n");
    edit->setPlainText(text);
    w.CompileText();
    QVERIFY(w.LastSeverity() <= 2);
    SourceMap map;
    QVERIFY(CompileScore(MakeCompileText(text).bytes.c_str(), &map) <= 2);
    const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
    ScanStruckNotes(image.data(), image.size(), 100000, [&](const StruckNote& note) {
      w.Live()->Ring().NoteStruck(note);
      return true;
    });
    w.Live()->Poll();
    QVERIFY(edit->PlayheadMarks().size() > 5);
    edit->MarkDiagnosticLine(1);
    edit->setTextCursor(QTextCursor(edit->document()->findBlockByNumber(0)));
    CheckDrawnMarks(edit);
    edit->setTextCursor(QTextCursor(edit->document()->findBlockByNumber(1)));
    edit->MarkDiagnosticLine(0);
    CheckDrawnMarks(edit);
  }

  void theWholeFrameIsFittedOnAScreen() {
    // A 1280 x 800 screen with a 30-pixel panel, a frame with a 30-pixel
    // title bar and 4-pixel borders.
    const QList<QRect> small{QRect(0, 0, 1280, 770)};
    const QMargins frame(4, 30, 4, 4);
    // Hanging below the screen: the frame's bottom border comes up to its
    // edge.
    QCOMPARE(FitWindowOnScreens(QRect(100, 300, 1000, 500), frame, small),
             QRect(100, 266, 1000, 500));
    // Cut at the right: the right border comes in.
    QCOMPARE(FitWindowOnScreens(QRect(900, 100, 517, 578), frame, small),
             QRect(759, 100, 517, 578));
    // Off every screen, larger than the screen: the frame fills it.
    QCOMPARE(FitWindowOnScreens(QRect(5000, 5000, 1600, 1000), frame, small),
             QRect(4, 30, 1272, 736));
    // Within a screen, the title bar included: unchanged.
    QCOMPARE(FitWindowOnScreens(QRect(4, 30, 800, 600), frame, small), QRect(4, 30, 800, 600));
    // Several monitors: mostly on the second one, beyond its bottom right.
    const QList<QRect> two{QRect(0, 0, 1280, 770), QRect(1280, 0, 1600, 970)};
    QCOMPARE(FitWindowOnScreens(QRect(2400, 700, 600, 400), frame, two),
             QRect(2276, 566, 600, 400));
    // A monitor to the left of the primary one, at negative coordinates.
    const QList<QRect> left{QRect(0, 0, 1600, 1000), QRect(-1280, 100, 1280, 770)};
    QCOMPARE(FitWindowOnScreens(QRect(-1500, 50, 600, 400), frame, left),
             QRect(-1276, 130, 600, 400));

    // Without a saved size: four fifths of each side, centred, within
    // 640 x 480 and 1600 x 1200 unless the screen is smaller.
    QCOMPARE(DefaultMainFrame(QRect(0, 0, 1600, 1000)), QRect(160, 100, 1280, 800));
    QCOMPARE(DefaultMainFrame(QRect(0, 0, 1280, 770)), QRect(128, 77, 1024, 616));
    QCOMPARE(DefaultMainFrame(QRect(0, 0, 800, 600)), QRect(80, 60, 640, 480));
    QCOMPARE(DefaultMainFrame(QRect(0, 0, 600, 400)), QRect(0, 0, 600, 400));
    QCOMPARE(DefaultMainFrame(QRect(0, 0, 3840, 2160)), QRect(1120, 480, 1600, 1200));
    QCOMPARE(DefaultMainFrame(QRect(1280, 0, 1600, 970)), QRect(1440, 97, 1280, 776));

    EditorHarness h;
    MainWindow& w = *h.window;
    QCOMPARE(w.geometry(), DefaultMainFrame(Available()));
    // Moved off the screen just after it is shown, as when the window
    // system adds the frame: fitted again.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.move(Available().right() - 100, Available().bottom() - 50);
    QTRY_VERIFY(Available().contains(w.frameGeometry()));
  }

  void aFullWidthSpaceShowsAsABox() {
    EditorHarness h;
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    edit->setPlainText(QStringLiteral("A t120 o4 c　d e\n\n"));
    w.resize(600, 300);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    edit->setTextCursor(QTextCursor(edit->document()->findBlockByNumber(2)));
    const QImage picture = edit->viewport()->grab().toImage();
    auto count = [&](int position, const QColor& color) {
      QTextCursor at(edit->document());
      at.setPosition(position);
      const QRect left = edit->cursorRect(at);
      at.setPosition(position + 1);
      const QRect right = edit->cursorRect(at);
      int found = 0;
      for (int x = left.left(); x <= right.left(); ++x) {
        for (int y = left.top(); y <= left.bottom(); ++y) {
          found += QColor(picture.pixel(x, y)) == color;
        }
      }
      return found;
    };
    const QColor box = edit->MarkColors().full_width_box;
    QVERIFY(count(11, box) > 10);
    QCOMPARE(count(1, box), 0);  // an ordinary space
    QCOMPARE(count(13, box), 0);
  }

  void aJumpOntoAFullWidthCharacterSaysSo() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    w.Editor()->setPlainText(QStringLiteral("A t120 o4 c　d e\nＢ c\n"));
    w.CompileText();
    QVERIFY(w.LastSeverity() > 2);
    // The first report line points at the full-width space.
    w.JumpToPosition(0, 11);
    QCOMPARE(w.Editor()->textCursor().position(), 11);
    QCOMPARE(w.statusBar()->currentMessage(),
             QStringLiteral("全角スペースがあります (半角スペースに直してください)"));
    w.statusBar()->clearMessage();
    w.JumpToPosition(0, 15);
    QCOMPARE(w.statusBar()->currentMessage(), QString());
    h.dialogs.line_numbers = {1};
    w.GoToLine();
    QCOMPARE(w.statusBar()->currentMessage(),
             QStringLiteral("全角文字「Ｂ」があります (半角の「B」に直してください)"));
  }
};

QTEST_MAIN(EditorViewTest)
#include "editor_view_test.moc"
