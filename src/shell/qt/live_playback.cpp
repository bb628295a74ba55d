#include "shell/qt/live_playback.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <algorithm>
#include <cstring>

#include "compiler/driver/source_lines.h"
#include "live/play_range.h"
#include "player/chase.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "shell/qt/note_text.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"
#include "shell/text_codec.h"

namespace {

constexpr int64_t kMsStep = 16;  // song time is kept every 16 ticks
constexpr size_t kMaxLit = 512;  // marks shown at once
// Song time is measured this far (about 52 minutes at tempo 120), so that an
// endless song does not hold up every compilation.
constexpr int64_t kMeasureTicks = 200000;
const char kFollowKey[] = "Live/FollowPlayhead";

QString MinutesSeconds(double ms) {
  const long s = static_cast<long>(ms / 1000.0);
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

LivePlayback::LivePlayback(QMainWindow* window, ScoreEdit* edit, QSettings* store,
                           std::function<bool()> compile)
    : QObject(window),
      window_(window),
      edit_(edit),
      store_(store),
      compile_(std::move(compile)),
      places_(SongPlaces::Take(edit->document(), SourceMap())),
      ring_(std::make_unique<NoteRing>()) {
  CreateActions(window);
  tracks_ = new TrackListDock(window);
  window->addDockWidget(Qt::RightDockWidgetArea, tracks_);
  time_label_ = new QLabel;
  time_label_->setObjectName(QStringLiteral("PlayTime1"));
  time_label_->setToolTip(QStringLiteral("経過 / 全体  小節:拍"));
  window->statusBar()->addPermanentWidget(time_label_);
  const QScreen* screen = window->screen();
  const double rate = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
  poll_.setInterval(std::max(1, static_cast<int>(1000.0 / rate)));
  poll_.setTimerType(Qt::PreciseTimer);
  connect(&poll_, &QTimer::timeout, this, &LivePlayback::Poll);
}

LivePlayback::~LivePlayback() {
  StopPlayback();
  SetNoteSink(nullptr);
}

void LivePlayback::CreateActions(QMainWindow* window) {
  auto add = [window](const char* name, const QString& caption, const QKeySequence& keys) {
    auto* action = new QAction(caption, window);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    window->addAction(action);
    return action;
  };
  from_caret_ = add("PlayFromCaret1", QStringLiteral("カーソル位置から演奏"),
                    QKeySequence(Qt::SHIFT | Qt::Key_F12));
  selection_ =
      add("PlaySelection1", QStringLiteral("選択範囲を演奏"), QKeySequence(Qt::CTRL | Qt::Key_F12));
  loop_ = add("Loop1", QStringLiteral("繰り返し"), {});
  loop_->setCheckable(true);
  follow_ = add("FollowPlayhead1", QStringLiteral("再生位置を追う"), {});
  follow_->setCheckable(true);
  follow_->setChecked(store_ && store_->value(QLatin1String(kFollowKey), true).toBool());
  connect(from_caret_, &QAction::triggered, this, &LivePlayback::PlayFromCaret);
  connect(selection_, &QAction::triggered, this, &LivePlayback::PlaySelection);
  connect(follow_, &QAction::toggled, this, &LivePlayback::ToggleFollow);
}

QAction* LivePlayback::TrackListAction() const {
  QAction* action = tracks_->toggleViewAction();
  action->setObjectName(QStringLiteral("ShowTrackList1"));
  return action;
}

void LivePlayback::ToggleFollow(bool on) {
  if (store_) store_->setValue(QLatin1String(kFollowKey), on);
}

// ---------------------------------------------------------------- songs

const SourceMap& LivePlayback::SongMap() const {
  return places_->Map();
}

void LivePlayback::SongCompiled(const uint8_t* image, size_t size, const QStringList& track_names) {
  // The compiler keeps recording into compile_map_: the song takes its
  // contents and leaves it an empty map.
  SourceMap map;
  std::swap(map, compile_map_);
  places_ = SongPlaces::Take(edit_->document(), std::move(map));
  image_ = image;
  size_ = size;
  track_names_ = track_names;
  tracks_->SetTracks(track_names);
  MeasureSong();
  emit songChanged();
}

// Runs the song silently once, on a sequencer of its own (what plays goes
// on), for its song time at every kMsStep-th tick.
void LivePlayback::MeasureSong() {
  ms_steps_.assign(1, 0.0);
  total_ms_ = 0;
  endless_ = false;
  Sequencer song;
  if (!song.Load(image_, size_)) return;
  ChaseState silence;
  song.SetMessageCapture(&silence);
  song.Messages().SetTempo(120);
  while (!song.Finished() && song.TickCount() < kMeasureTicks) {
    song.Tick();
    total_ms_ += song.Messages().TickLengthMs();
    if (song.TickCount() % kMsStep == 0) ms_steps_.push_back(total_ms_);
  }
  endless_ = !song.Finished();
}

std::shared_ptr<SongPlaces> LivePlayback::TakeCompiled() const {
  return SongPlaces::Take(edit_->document(), compile_map_);
}

void LivePlayback::SongSwapped(const uint8_t* image, size_t size, const QStringList& track_names,
                               std::shared_ptr<SongPlaces> places, int64_t at) {
  // Notes struck before the swap still come from the old song's map; the
  // new one's places have followed the edits since it was compiled.
  previous_places_ = std::move(places_);
  places_ = std::move(places);
  swap_tick_ = at;
  image_ = image;
  size_ = size;
  track_names_ = track_names;
  tracks_->SetTracks(track_names);
  MeasureSong();
  lit_.clear();
  marks_dirty_ = true;
  emit songChanged();
}

bool LivePlayback::PlayedSelectionIn(const uint8_t* image, size_t size, const SongPlaces& places,
                                     int64_t* start, int64_t* stop, bool* loops) const {
  if (!playing_selection_ || !played_selection_.hasSelection()) return false;
  const std::optional<SourcePlace> from = places.CompiledPlace(played_selection_.selectionStart());
  const std::optional<SourcePlace> to = places.CompiledPlace(played_selection_.selectionEnd());
  if (!from || !to) return false;
  const TickRange range = SelectionTicks(image, size, places.Map(), *from, *to);
  if (range.start < 0) return false;
  *start = range.start;
  *stop = range.stop;
  *loops = selection_loops_;
  return true;
}

int64_t LivePlayback::NextBarTick(int64_t tick) const {
  const int track = std::max(CaretTrack(), 0);
  const int64_t bar = std::max<int64_t>(places_->Map().BarLength(track), 1);
  return (std::max<int64_t>(tick, 1) - 1 + bar - 1) / bar * bar + 1;
}

double LivePlayback::MsAt(int64_t tick) const {
  if (tick <= 1 || ms_steps_.empty()) return 0;
  const size_t step = static_cast<size_t>((tick - 1) / kMsStep);
  return ms_steps_[std::min(step, ms_steps_.size() - 1)];
}

void LivePlayback::SongLoaded() {
  playing_selection_ = false;
  StartWatching();
}

void LivePlayback::ClearSong() {
  poll_.stop();
  places_ = SongPlaces::Take(edit_->document(), SourceMap());
  previous_places_.reset();
  image_ = nullptr;
  size_ = 0;
  track_names_.clear();
  swap_tick_ = 0;
  playing_selection_ = false;
  played_selection_ = QTextCursor();
  lit_.clear();
  marks_dirty_ = false;
  edit_->SetPlayheadMarks({});
  tracks_->SetTracks({});
  time_label_->clear();
  emit songChanged();
}

void LivePlayback::StartWatching() {
  tracks_->ApplySwitches();
  StruckNote stale;
  while (ring_->Pop(&stale)) {
  }
  SetNoteSink(ring_.get());
  lit_.clear();
  marks_dirty_ = true;
  last_tick_ = 0;
  swap_tick_ = 0;
  poll_.start();
  emit playbackStarted();
}

// ---------------------------------------------------------------- commands

SourcePlace LivePlayback::CaretPlace(int position) const {
  return PlaceOfPosition(edit_->document(), position);
}

void LivePlayback::PlayFromCaret() {
  if (!compile_()) return;
  const SourcePlace caret = CaretPlace(edit_->textCursor().position());
  const int64_t start = TickFromCaret(image_, size_, places_->Map(), caret);
  if (start < 0) {
    window_->statusBar()->showMessage(QStringLiteral("カーソルの後に音符がありません"));
    return;
  }
  StopPlayback();
  if (!LoadSong(image_, size_)) return;
  SequencerSeek(start);
  playing_selection_ = false;
  StartWatching();
  StartPlayback();
}

void LivePlayback::PlayFromTick(int64_t start) {
  if (!image_ || size_ == 0) return;
  StopPlayback();
  if (!LoadSong(image_, size_)) return;
  if (start > 1) SequencerSeek(start);
  playing_selection_ = false;
  StartWatching();
  StartPlayback();
}

void LivePlayback::PlaySelection() {
  const QTextCursor cursor = edit_->textCursor();
  if (!cursor.hasSelection()) {
    window_->statusBar()->showMessage(QStringLiteral("範囲が選択されていません"));
    return;
  }
  if (!compile_()) return;
  const TickRange range =
      SelectionTicks(image_, size_, places_->Map(), CaretPlace(cursor.selectionStart()),
                     CaretPlace(cursor.selectionEnd()));
  if (range.start < 0) {
    window_->statusBar()->showMessage(QStringLiteral("選択範囲に音符がありません"));
    return;
  }
  StopPlayback();
  if (!LoadSong(image_, size_)) return;
  SequencerSeek(range.start);
  selection_loops_ = loop_->isChecked();
  SetStopTick(range.stop, selection_loops_);
  played_selection_ = cursor;
  playing_selection_ = true;
  StartWatching();
  StartPlayback();
}

// ---------------------------------------------------------------- playhead

// The track of the caret's line as the playing song was compiled: a line
// typed since belongs to none.
int LivePlayback::CaretTrack() const {
  const std::optional<int> line = places_->CompiledLine(edit_->textCursor().block().position());
  if (!line) return -1;
  const LineContext* context = places_->Map().Line(*line);
  if (!context || context->kind != kLineTrack) return -1;
  return tracks_->Tracks().indexOf(QString::fromLatin1(context->name.c_str()));
}

void LivePlayback::TakeNote(const StruckNote& note) {
  tracks_->Flash(note.track);
  const SongPlaces* places =
      note.tick < swap_tick_ && previous_places_ ? previous_places_.get() : places_.get();
  const NoteSource* source = places->Map().Find(note.track, note.offset);
  if (!source) return;
  const int gate = note.gate > 0 ? note.gate : std::max(places->Map().Resolution() / 4, 1);
  const int64_t until = note.tick + gate;
  if (lit_.size() + 1 + source->calls.size() > kMaxLit) lit_.erase(lit_.begin());
  // The note where it is written, then its call sites, innermost first.
  std::optional<QTextCursor> in_track;
  auto light = [&](SourcePlace place, bool call) {
    std::optional<QTextCursor> mark = places->Mark(place);
    if (!mark) return;  // its text was deleted since
    lit_.push_back(Lit{*mark, call, until});
    in_track = mark;
    marks_dirty_ = true;
  };
  light(source->place, false);
  for (const SourcePlace& call : source->calls) light(call, true);
  if (in_track && follow_->isChecked() && note.track == CaretTrack()) FollowPlace(*in_track);
}

void LivePlayback::Poll() {
  const bool playing = IsPlaying();
  const int64_t now = SequencerTickCount();
  // A loop that went back, or a stop: what was lit has ended.
  if (now < last_tick_ || !playing) {
    marks_dirty_ = marks_dirty_ || !lit_.empty();
    lit_.clear();
  }
  last_tick_ = now;
  const size_t before = lit_.size();
  lit_.erase(
      std::remove_if(lit_.begin(), lit_.end(), [now](const Lit& l) { return l.until <= now; }),
      lit_.end());
  marks_dirty_ = marks_dirty_ || lit_.size() != before;
  StruckNote note;
  while (ring_->Pop(&note)) TakeNote(note);
  if (marks_dirty_) RenewMarks();
  const bool lights = tracks_->FadeLights();
  time_label_->setText(StatusText(now));
  if (!playing && !lights) poll_.stop();
}

void LivePlayback::RenewMarks() {
  marks_dirty_ = false;
  const EditorMarkColors& colors = edit_->MarkColors();
  QList<QTextEdit::ExtraSelection> marks;
  for (const Lit& lit : lit_) {
    if (!SongPlaces::Lit(lit.mark)) continue;  // its text was deleted
    QTextEdit::ExtraSelection mark;
    mark.cursor = lit.mark;
    mark.format.setBackground(lit.call ? colors.call : colors.note);
    mark.format.setForeground(lit.call ? colors.call_text : colors.note_text);
    marks.append(mark);
  }
  edit_->SetPlayheadMarks(marks);
}

void LivePlayback::FollowPlace(const QTextCursor& mark) {
  const QTextBlock block = mark.block();
  if (!block.isValid()) return;
  const int line = block.blockNumber();
  const QRect rect = edit_->cursorRect(QTextCursor(block));
  const int height = edit_->viewport()->height();
  if (rect.top() >= 0 && rect.bottom() <= height) return;
  const int visible = std::max(1, height / std::max(1, edit_->fontMetrics().lineSpacing()));
  edit_->verticalScrollBar()->setValue(std::max(0, line - visible / 2));
}

QString LivePlayback::StatusText(int64_t tick) const {
  QString text = MinutesSeconds(MsAt(tick)) + QStringLiteral(" / ") +
                 (endless_ ? QStringLiteral("∞") : MinutesSeconds(total_ms_ + 500));
  const int track = CaretTrack();
  if (track >= 0 && tick >= 1) {
    const SourceMap& map = places_->Map();
    const BarPosition at = BarBeatAt(tick - 1, map.BarLength(track), map.Resolution());
    text += QStringLiteral("  %1:%2").arg(at.bar).arg(at.beat);
  }
  return text;
}
