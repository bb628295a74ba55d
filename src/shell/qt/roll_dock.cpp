#include "shell/qt/roll_dock.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <vector>

#include "player/player.h"
#include "player/sequencer.h"
#include "roll/roll_model.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/note_text.h"
#include "shell/qt/roll_widget.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/song_places.h"
#include "shell/qt/track_list_dock.h"

namespace {

const char kShownKey[] = "Roll/Shown";
const char kFloatingKey[] = "Roll/Floating";
const char kGeometryKey[] = "Roll/Geometry";
constexpr int kPlayheadMs = 16;

QToolButton* ToolButtonFor(QAction* action) {
  auto* button = new QToolButton;
  button->setDefaultAction(action);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QString PlaceText(const SourcePlace& place) {
  return QStringLiteral("%1 : %2").arg(place.line).arg(place.column);
}

}  // namespace

RollDock::RollDock(QMainWindow* window, ScoreEdit* edit, LivePlayback* live, QSettings* store,
                   std::function<void(int64_t)> play_from)
    : QDockWidget(QStringLiteral("ピアノロール"), window),
      window_(window),
      edit_(edit),
      live_(live),
      store_(store),
      play_from_(std::move(play_from)) {
  setObjectName(QStringLiteral("PianoRoll1"));
  roll_ = new RollWidget;
  notice_ = new QLabel;
  notice_->setObjectName(QStringLiteral("PianoRollNotice1"));
  CreateActions();
  auto* body = new QWidget;
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* strip = new QHBoxLayout;
  strip->setContentsMargins(4, 0, 4, 0);
  strip->addWidget(ToolButtonFor(fit_song_));
  strip->addWidget(ToolButtonFor(fit_selection_));
  strip->addSpacing(8);
  strip->addWidget(notice_, 1);
  column->addLayout(strip);
  column->addWidget(roll_, 1);
  setWidget(body);
  window->addDockWidget(Qt::BottomDockWidgetArea, this);

  caret_.setSingleShot(true);
  caret_.setInterval(0);
  connect(&caret_, &QTimer::timeout, this, &RollDock::MarkCaretNotes);
  connect(edit_, &QPlainTextEdit::cursorPositionChanged, &caret_, qOverload<>(&QTimer::start));
  connect(edit_, &QPlainTextEdit::selectionChanged, &caret_, qOverload<>(&QTimer::start));
  playhead_.setInterval(kPlayheadMs);
  playhead_.setTimerType(Qt::PreciseTimer);
  connect(&playhead_, &QTimer::timeout, this, &RollDock::PollPlayhead);
  connect(live_, &LivePlayback::songChanged, this, &RollDock::BuildModel);
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible && stale_) BuildModel();
  });
  connect(live_, &LivePlayback::playbackStarted, &playhead_, qOverload<>(&QTimer::start));
  connect(live_->Tracks(), &TrackListDock::switchesChanged, this, &RollDock::UpdateTracks);
  connect(roll_, &RollWidget::noteClicked, this, &RollDock::SelectNote);
  connect(roll_, &RollWidget::noteDoubleClicked, this, &RollDock::PlayNote);
  connect(roll_, &RollWidget::barClicked, this, [this](qint64 tick) { play_from_(tick); });
  ReadSettings();
}

RollDock::~RollDock() {
  CancelBuild();
}

void RollDock::CreateActions() {
  show_ = toggleViewAction();
  show_->setObjectName(QStringLiteral("PianoRoll1Show"));
  connect(show_, &QAction::triggered, this, [this](bool on) {
    if (store_) store_->setValue(QLatin1String(kShownKey), on);
  });
  fit_song_ = new QAction(QStringLiteral("曲全体"), this);
  fit_song_->setObjectName(QStringLiteral("RollFitSong1"));
  fit_song_->setToolTip(QStringLiteral("曲全体を表示 (F)"));
  connect(fit_song_, &QAction::triggered, roll_, &RollWidget::FitSong);
  fit_selection_ = new QAction(QStringLiteral("選択部分"), this);
  fit_selection_->setObjectName(QStringLiteral("RollFitSelection1"));
  fit_selection_->setToolTip(QStringLiteral("カーソル位置・選択範囲の音符を表示 (S)"));
  connect(fit_selection_, &QAction::triggered, roll_, &RollWidget::FitOutlined);
  connect(this, &QDockWidget::topLevelChanged, this, [this](bool floating) {
    if (store_) store_->setValue(QLatin1String(kFloatingKey), floating);
  });
}

void RollDock::ReadSettings() {
  const bool shown = store_ && store_->value(QLatin1String(kShownKey), false).toBool();
  const bool floating = store_ && store_->value(QLatin1String(kFloatingKey), false).toBool();
  setFloating(floating);
  if (floating && store_) restoreGeometry(store_->value(QLatin1String(kGeometryKey)).toByteArray());
  setVisible(shown);
  // The menu's check mark follows show events, which come only once the
  // window is shown: set it now.
  show_->setChecked(shown);
}

void RollDock::WriteSettings() const {
  if (!store_) return;
  store_->setValue(QLatin1String(kShownKey), !isHidden());
  store_->setValue(QLatin1String(kFloatingKey), isFloating());
  if (isFloating()) store_->setValue(QLatin1String(kGeometryKey), saveGeometry());
}

// ---------------------------------------------------------------- the model

void RollDock::CancelBuild() {
  if (cancel_) cancel_->store(true);
  if (worker_.joinable()) worker_.join();
  building_ = false;
}

void RollDock::BuildModel() {
  CancelBuild();
  stale_ = isHidden();
  if (stale_) return;
  if (!live_->SongImage() || live_->SongSize() == 0) {
    // No song (a new text): the last one's picture leaves the screen, and a
    // model still on its way is not taken.
    ++generation_;
    notice_->clear();
    roll_->SetModel(nullptr);
    return;
  }
  auto image = std::make_shared<std::vector<uint8_t>>(live_->SongImage(),
                                                      live_->SongImage() + live_->SongSize());
  auto map = std::make_shared<SourceMap>(live_->SongMap());
  std::vector<std::string> names;
  for (const QString& name : live_->SongTracks()) names.push_back(name.toStdString());
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  const int generation = ++generation_;
  building_ = true;
  worker_ = std::thread([this, image, map, names, generation, cancel = cancel_] {
    auto model = std::make_shared<RollModel>();
    BuildRollModel(image->data(), image->size(), *map, model.get(), kRollTicks, cancel.get());
    if (cancel->load()) return;
    model->track_names = names;
    QMetaObject::invokeMethod(
        this, [this, model, generation] { TakeModel(generation, model); }, Qt::QueuedConnection);
  });
}

void RollDock::TakeModel(int generation, std::shared_ptr<RollModel> model) {
  if (generation != generation_) return;
  if (worker_.joinable()) worker_.join();
  building_ = false;
  ++models_taken_;
  notice_->setText(
      model->bounded
          ? QStringLiteral("終わらない曲: %1 ティックまで表示しています").arg(model->end_tick)
          : QString());
  roll_->SetModel(std::move(model));
  UpdateTracks();
  caret_from_roll_ = true;  // mark the caret's notes without scrolling away
  MarkCaretNotes();
}

void RollDock::UpdateTracks() {
  const RollModel* model = roll_->Model();
  if (!model) return;
  std::vector<bool> sounding;
  for (int t = 0; t < static_cast<int>(model->bar_ticks.size()); ++t) {
    sounding.push_back(live_->Tracks()->Audible(t));
  }
  roll_->SetSoundingTracks(std::move(sounding));
}

// ---------------------------------------------------------------- text and picture

// The place in the song's text of a position in the text as it is now.
SourcePlace RollDock::CompiledPlace(int position) const {
  const SongPlaces* places = live_->SongTextPlaces();
  const std::optional<SourcePlace> place = places ? places->CompiledPlace(position) : std::nullopt;
  return place.value_or(SourcePlace{-1, -1});
}

void RollDock::MarkCaretNotes() {
  const bool from_roll = caret_from_roll_;
  caret_from_roll_ = false;
  const RollModel* model = roll_->Model();
  if (!model) return;
  const QTextCursor cursor = edit_->textCursor();
  std::vector<size_t> notes = cursor.hasSelection()
                                  ? NotesAtPlace(*model, CompiledPlace(cursor.selectionStart()),
                                                 CompiledPlace(cursor.selectionEnd()))
                                  : NotesAtPlace(*model, CompiledPlace(cursor.position()));
  const bool scroll = !from_roll && !notes.empty() && !roll_->NoteInView(notes.front());
  const size_t first = notes.empty() ? 0 : notes.front();
  roll_->SetOutlined(std::move(notes));
  if (scroll) roll_->ShowNote(first);
}

void RollDock::SelectNote(int note) {
  const RollModel* model = roll_->Model();
  const NoteSource* source =
      model ? model->Source(model->notes[static_cast<size_t>(note)]) : nullptr;
  if (!source) {
    window_->statusBar()->showMessage(QStringLiteral("この音符の書かれた場所はわかりません"));
    return;
  }
  // The note's text where it stands now, after any edit since the compile;
  // nothing to select when it was deleted.
  const SongPlaces* places = live_->SongTextPlaces();
  const std::optional<QTextCursor> mark =
      places ? places->Mark(source->place) : std::optional<QTextCursor>();
  if (!mark) return;
  QTextCursor cursor = *mark;
  cursor.setKeepPositionOnInsert(false);
  caret_from_roll_ = true;
  edit_->setTextCursor(cursor);
  edit_->ensureCursorVisible();
  caret_.start();
  ShowCallSites(*source);
}

// "マクロの呼び出し: %Bs (34 : 10) < %Out (40 : 2)", innermost first.
void RollDock::ShowCallSites(const NoteSource& source) {
  if (source.calls.empty()) {
    window_->statusBar()->clearMessage();
    return;
  }
  // Each call's text where it stands now, after any edit since the compile.
  const SongPlaces* places = live_->SongTextPlaces();
  QStringList calls;
  for (const SourcePlace& call : source.calls) {
    const std::optional<QTextCursor> mark = places ? places->Mark(call) : std::nullopt;
    calls << (mark ? mark->selectedText() : QString()) + QStringLiteral(" (") + PlaceText(call) +
                 QStringLiteral(")");
  }
  window_->statusBar()->showMessage(QStringLiteral("マクロの呼び出し: ") +
                                    calls.join(QStringLiteral(" < ")));
}

void RollDock::PlayNote(int note) {
  const RollModel* model = roll_->Model();
  if (model) play_from_(model->notes[static_cast<size_t>(note)].tick);
}

// ---------------------------------------------------------------- playing

void RollDock::PollPlayhead() {
  if (!IsPlaying()) {
    roll_->SetPlayTick(0);
    playhead_.stop();
    return;
  }
  const int64_t now = SequencerTickCount();
  roll_->SetPlayTick(now);
  if (live_->FollowAction()->isChecked()) roll_->FollowTick(now);
}
