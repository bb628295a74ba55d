// The playhead's marks land on the text they were made for: after edits
// (lines added above, text typed before, the note deleted), after another
// file was opened while the song plays, after a live-edit swap whose text
// was edited while it waited, and inside a selection. The notes are handed
// to the playhead as the sequencer hands them, from a silent run of the
// same compilation.
#include <QRegularExpression>
#include <QTextBlock>
#include <algorithm>
#include <random>

#include "compiler/driver/driver.h"
#include "editor_fixture.h"
#include "live/play_range.h"
#include "shell/editor_rules.h"
#include "shell/qt/live_edit.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/score_edit.h"

namespace {

// A note as the sequencer strikes it, with the places its marks stand for.
struct Struck {
  StruckNote note;
  std::vector<SourcePlace> places;  // the note's own, then its call sites
};

// The notes of the first `ticks` ticks of the text's song.
std::vector<Struck> StruckNotes(const QString& text, int64_t ticks = 100000) {
  SourceMap map;
  if (CompileScore(MakeCompileText(text).bytes.c_str(), &map) > 2) {
    qWarning("%s", ReportText());
    return {};
  }
  const std::vector<uint8_t> image(SongImageBegin(), SongImageBegin() + SongImageLength());
  std::vector<Struck> notes;
  ScanStruckNotes(image.data(), image.size(), ticks, [&](const StruckNote& n) {
    if (const NoteSource* source = map.Find(n.track, n.offset)) {
      Struck s{n, {source->place}};
      s.places.insert(s.places.end(), source->calls.begin(), source->calls.end());
      notes.push_back(s);
    }
    return true;
  });
  return notes;
}

void Strike(MainWindow& w, const StruckNote& note) {
  w.Live()->Ring().NoteStruck(note);
}

// The playhead's marks the editor draws, as text ranges.
std::vector<std::pair<int, int>> Drawn(const ScoreEdit* edit) {
  const EditorMarkColors& colors = edit->MarkColors();
  std::vector<std::pair<int, int>> drawn;
  for (const QTextEdit::ExtraSelection& mark : edit->extraSelections()) {
    const QColor back = mark.format.background().color();
    if (mark.format.hasProperty(QTextFormat::FullWidthSelection)) continue;
    if (back != colors.note && back != colors.call) continue;
    drawn.emplace_back(mark.cursor.selectionStart(), mark.cursor.selectionEnd());
  }
  std::sort(drawn.begin(), drawn.end());
  return drawn;
}

QStringList DrawnTexts(const ScoreEdit* edit) {
  QStringList texts;
  for (auto [start, stop] : Drawn(edit)) {
    QTextCursor cursor(edit->document());
    cursor.setPosition(start);
    cursor.setPosition(stop, QTextCursor::KeepAnchor);
    texts << cursor.selectedText();
  }
  return texts;
}

int PositionOf(const ScoreEdit* edit, const QString& text, int from = 0) {
  return edit->toPlainText().indexOf(text, from);
}

void Insert(ScoreEdit* edit, int at, const QString& text) {
  QTextCursor cursor(edit->document());
  cursor.setPosition(at);
  cursor.insertText(text);
}

// The character index of byte column `column` of a line (Shift-JIS bytes).
int IndexOfColumn(const QString& line, int column) {
  int i = 0;
  while (i < line.size() && static_cast<int>(EncodeShiftJis(line.left(i + 1)).size()) <= column) {
    ++i;
  }
  return i;
}

// The text range of what is written at a place of the text as compiled: a
// call's "%" and name, or a note's letter with what belongs to it.
std::pair<int, int> RangeOfPlace(const QString& text, SourcePlace place) {
  const QStringList lines = text.split(QLatin1Char('\n'));
  int start = 0;
  for (int l = 0; l < place.line; ++l) start += lines[l].size() + 1;
  const QString& line = lines[place.line];
  const int at = IndexOfColumn(line, place.column);
  static const QRegularExpression token(
      QStringLiteral("%[A-Za-z0-9]+|[~_0-9]*[a-gA-G][-+=0-9.^]*"));
  const QRegularExpressionMatch match = token.match(line, at, QRegularExpression::NormalMatch,
                                                    QRegularExpression::AnchorAtOffsetMatchOption);
  return {start + at, start + at + std::max<int>(match.capturedLength(), 1)};
}

// The straightforward model of where each mark's text is: every character
// knows, for each place, whether it belongs to what is written there; a
// character typed between two that belong joins them.
struct MarkModel {
  std::vector<std::pair<int, int>> base;  // per place: its range as compiled
  std::vector<std::vector<bool>> member;  // per place, per character

  MarkModel(int length, std::vector<std::pair<int, int>> ranges) : base(std::move(ranges)) {
    for (auto [start, stop] : base) {
      std::vector<bool> in(length, false);
      for (int i = start; i < stop; ++i) in[i] = true;
      member.push_back(in);
    }
  }
  void Edit(int position, int removed, int added) {
    for (std::vector<bool>& in : member) {
      in.erase(in.begin() + position, in.begin() + position + removed);
      const bool inside = position > 0 && position < static_cast<int>(in.size()) &&
                          in[position - 1] && in[position];
      in.insert(in.begin() + position, added, inside);
    }
  }
  std::optional<std::pair<int, int>> Where(size_t place) const {
    const std::vector<bool>& in = member[place];
    const auto first = std::find(in.begin(), in.end(), true);
    if (first == in.end()) return std::nullopt;
    const auto last = std::find(in.rbegin(), in.rend(), true);
    return std::make_pair(static_cast<int>(first - in.begin()), static_cast<int>(in.rend() - last));
  }
};

const char kRandomScore[] =
    "#title \"ランダム\"\n"
    "%M c e\n"
    "A t120 \"序\" l8 c d+ %M e4. f g\n"
    "// コメント\n"
    "B o3 l4 [a b]2 %M >c\n";

}  // namespace

class PlayheadMarksTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { StopPlayback(); }

  // Enter pressed twice above a track and text typed before a note: the
  // note still lights where it is written; once deleted it lights nowhere.
  void marksFollowTheTextThroughEdits() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    const QString text = QStringLiteral("#title \"テスト\"\nA t120 l4 c d e f\nB o3 g a b\n");
    edit->setPlainText(text);
    w.CompileText();
    QVERIFY(w.LastSeverity() <= 2);
    const std::vector<Struck> notes = StruckNotes(text);
    const auto e = std::find_if(notes.begin(), notes.end(), [](const Struck& s) {
      return s.places[0] == SourcePlace{1, 14};
    });
    QVERIFY(e != notes.end());

    Insert(edit, PositionOf(edit, QStringLiteral("A t120")), QStringLiteral("\n\n"));
    Strike(w, e->note);
    w.Live()->Poll();
    QCOMPARE(DrawnTexts(edit), QStringList{QStringLiteral("e")});
    QCOMPARE(edit->document()->findBlock(Drawn(edit)[0].first).blockNumber(), 3);

    // Typed before it and inside the line: the lit mark moves with it.
    Insert(edit, PositionOf(edit, QStringLiteral("e f")), QStringLiteral("r8 "));
    QCOMPARE(DrawnTexts(edit), QStringList{QStringLiteral("e")});
    QCOMPARE(Drawn(edit)[0].first, PositionOf(edit, QStringLiteral("e f")));

    // Deleted: the mark goes, and typing where it was lights nothing.
    QTextCursor cursor(edit->document());
    cursor.setPosition(PositionOf(edit, QStringLiteral("e f")));
    cursor.setPosition(cursor.position() + 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    QVERIFY(Drawn(edit).empty());
    cursor.insertText(QStringLiteral("g"));
    QVERIFY(Drawn(edit).empty());
    // Struck again, the deleted note lights nothing either.
    Strike(w, e->note);
    w.Live()->Poll();
    QVERIFY(Drawn(edit).empty());
  }

  // The demo playing, Enter pressed twice on line 25: every mark that
  // lights is a note or a macro call, never other text.
  void theDemoKeepsItsMarksOnNotesAfterEnterIsPressed() {
    EditorHarness h({QFINDTESTDATA("../../../examples/demo.qrn")}, false, true);
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    edit->setFocus();
    edit->setTextCursor(QTextCursor(edit->document()->findBlockByNumber(25)));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->document()->findBlockByNumber(28).text().left(6), QStringLiteral("A t100"));
    const QRegularExpression token(QStringLiteral("^(%[A-Za-z0-9]+|[~_0-9]*[a-gA-G][-+=0-9.^]*)$"));
    int seen = 0;
    for (int i = 0; i < 60; ++i) {
      for (const QString& text : DrawnTexts(edit)) {
        QVERIFY2(token.match(text).hasMatch(), qPrintable(text));
        ++seen;
      }
      QTest::qWait(25);
    }
    QVERIFY(seen > 20);
    w.StopSong();
  }

  // The song plays on after another file is opened; none of its notes
  // lights the new text, and Play again lights nothing until the new text
  // is compiled.
  void anotherFileOpenedWhileASongPlaysGetsNoMarks() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    const QString other = h.Path(QStringLiteral("other.qrn"));
    WriteAll(other, QByteArray("A t240 l16 [c d e f g a b >c<]99\r\nB l16 [c d e f]99\r\n"));
    w.Editor()->setPlainText(QStringLiteral("A t240 l16 [c d e f g a b >c<]99\nB l4 [g a]99\n"));
    w.show();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(!Drawn(w.Editor()).empty());
    w.LoadFile(other);
    QCOMPARE(w.Editor()->toPlainText().left(6), QStringLiteral("A t240"));
    const int64_t loaded_at = SequencerTickCount();
    QTRY_VERIFY(SequencerTickCount() > loaded_at + 200);
    QVERIFY(IsPlaying());
    QVERIFY(Drawn(w.Editor()).empty());
    w.PlaySong();
    QTest::qWait(200);
    QVERIFY(Drawn(w.Editor()).empty());
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QTRY_VERIFY(!Drawn(w.Editor()).empty());
    w.StopSong();
  }

  // A live-edit swap waiting for the next bar line while lines are added
  // above the track: the new song's notes light on its own line.
  void aSwappedSongLightsItsNotesAfterEditsWhileItWaited() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    w.Action(QStringLiteral("LiveEdit1"))->setChecked(false);
    w.Action(QStringLiteral("SwapAtBar1"))->setChecked(true);
    edit->setPlainText(QStringLiteral("A t120 l8 [c d e f g a b >c<]99\n"));
    w.show();
    w.Action(QStringLiteral("CompPlay1"))->trigger();
    QVERIFY(IsPlaying());
    QTRY_VERIFY(SequencerTickCount() > 50);
    Insert(edit, PositionOf(edit, QStringLiteral("l8")), QStringLiteral("v90 "));
    LiveEdit* live = w.findChild<LiveEdit*>();
    QVERIFY(live);
    // Offered at the next bar line (a whole note, a second at tempo 120);
    // tried again should the bar line come too soon.
    for (int tries = 0; tries < 3 && !live->Pending(); ++tries) live->UpdateNow();
    QVERIFY(live->Pending());
    Insert(edit, 0, QStringLiteral("// 二行を足す\n\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!live->Pending(), 5000);
    const int64_t swapped_at = SequencerTickCount();
    QTRY_VERIFY(SequencerTickCount() > swapped_at + 100);
    QTRY_VERIFY(!Drawn(edit).empty());
    for (int i = 0; i < 20; ++i) {
      for (auto [start, stop] : Drawn(edit)) {
        QCOMPARE(edit->document()->findBlock(start).blockNumber(), 2);
        const QString note = edit->toPlainText().mid(start, stop - start);
        QVERIFY2(QRegularExpression(QStringLiteral("^[a-g]$")).match(note).hasMatch(),
                 qPrintable(note));
      }
      QTest::qWait(20);
    }
    w.StopSong();
  }

  // A selection played in a loop: the lit note shows over the selection.
  void marksShowInsideTheSelection() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    const QString text = QStringLiteral("A t120 l4 c d e f g\n");
    edit->setPlainText(text);
    w.resize(600, 300);
    w.show();
    w.CompileText();
    QTextCursor line(edit->document());
    line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    edit->setTextCursor(line);
    const std::vector<Struck> notes = StruckNotes(text);
    QCOMPARE(notes.size(), size_t(5));
    Strike(w, notes[2].note);  // "e"
    w.Live()->Poll();
    QCOMPARE(DrawnTexts(edit), QStringList{QStringLiteral("e")});

    const QImage picture = edit->viewport()->grab().toImage();
    // The pixels of the character at `position`.
    auto pixels = [&](int position) {
      QTextCursor at(edit->document());
      at.setPosition(position);
      const QRect left = edit->cursorRect(at);
      at.setPosition(position + 1);
      const QRect right = edit->cursorRect(at);
      std::vector<QColor> found;
      for (int x = left.left() + 1; x < right.left(); ++x) {
        for (int y = left.top(); y <= left.bottom(); ++y) found.emplace_back(picture.pixel(x, y));
      }
      return found;
    };
    auto count = [&](int position, const QColor& color) {
      const std::vector<QColor> all = pixels(position);
      return std::count(all.begin(), all.end(), color);
    };
    // The glyph's darkest or lightest pixel is the mark's text colour.
    auto nearest = [&](int position, const QColor& color) {
      int best = 1000;
      for (const QColor& p : pixels(position)) {
        best =
            std::min(best, std::abs(p.red() - color.red()) + std::abs(p.green() - color.green()) +
                               std::abs(p.blue() - color.blue()));
      }
      return best;
    };
    const int e = PositionOf(edit, QStringLiteral("e f"));
    QVERIFY(count(e, edit->MarkColors().note) > 10);
    QVERIFY(nearest(e, edit->MarkColors().note_text) < 90);
    QCOMPARE(count(e, edit->SelectionBackground()), 0);
    // The rest of the selection shows as a selection.
    QVERIFY(count(PositionOf(edit, QStringLiteral("d e")), edit->SelectionBackground()) > 10);
  }

  // Random edits (typing, Enter, deletions, replacements) while marks are
  // lit, and notes struck after them, against the model of where each
  // mark's text is.
  void randomEditsKeepEveryMarkOnItsText() {
    EditorHarness h({}, false, true);
    MainWindow& w = *h.window;
    ScoreEdit* edit = w.Editor();
    std::mt19937 random(7);
    auto uniform = [&](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    const QString pieces[] = {QStringLiteral("c"),   QStringLiteral(" "),   QStringLiteral("\n"),
                              QStringLiteral("4"),   QStringLiteral("%M"),  QStringLiteral("　"),
                              QStringLiteral("e8 "), QStringLiteral("\n\n")};
    for (int song = 0; song < 8; ++song) {
      const QString text = QString::fromUtf8(kRandomScore);
      edit->setPlainText(text);
      w.CompileText();
      QVERIFY(w.LastSeverity() <= 2);
      const std::vector<Struck> notes = StruckNotes(text);
      QVERIFY(notes.size() > 10);
      // Every place any note lights, in one model.
      std::vector<std::pair<int, int>> ranges;
      std::vector<std::vector<size_t>> places_of(notes.size());
      for (size_t n = 0; n < notes.size(); ++n) {
        for (const SourcePlace& place : notes[n].places) {
          places_of[n].push_back(ranges.size());
          ranges.push_back(RangeOfPlace(text, place));
        }
      }
      MarkModel model(text.size(), ranges);
      for (int round = 0; round < 25; ++round) {
        std::vector<size_t> lit;
        for (int k = uniform(1, 4); k > 0; --k) {
          const size_t n = uniform(0, static_cast<int>(notes.size()) - 1);
          Strike(w, notes[n].note);
          lit.insert(lit.end(), places_of[n].begin(), places_of[n].end());
        }
        w.Live()->Poll();
        auto expected = [&] {
          std::vector<std::pair<int, int>> where;
          for (size_t p : lit) {
            if (auto range = model.Where(p)) where.push_back(*range);
          }
          std::sort(where.begin(), where.end());
          return where;
        };
        const int steps = uniform(0, 4);
        for (int step = 0;; ++step) {
          QVERIFY2(Drawn(edit) == expected(),
                   qPrintable(QStringLiteral("song %1 round %2 step %3: %4")
                                  .arg(song)
                                  .arg(round)
                                  .arg(step)
                                  .arg(edit->toPlainText())));
          if (step == steps) break;
          const int length = edit->document()->characterCount() - 1;
          const int position = uniform(0, length);
          const int removed = uniform(0, 2) == 0 ? 0 : uniform(0, std::min(5, length - position));
          const QString added = uniform(0, 2) == 0 ? QString() : pieces[uniform(0, 7)];
          QTextCursor cursor(edit->document());
          cursor.setPosition(position);
          cursor.setPosition(position + removed, QTextCursor::KeepAnchor);
          if (added.isEmpty()) {
            cursor.removeSelectedText();
          } else {
            cursor.insertText(added);
          }
          model.Edit(position, removed, added.size());
        }
      }
    }
  }
};

QTEST_MAIN(PlayheadMarksTest)
#include "playhead_marks_test.moc"
