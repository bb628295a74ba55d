#include "shell/qt/live_edit.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

#include "player/player.h"
#include "player/song_swap.h"
#include "shell/qt/live_playback.h"
#include "shell/qt/score_edit.h"
#include "shell/qt/track_list_dock.h"

namespace {

const char kLiveEditKey[] = "Live/LiveEdit";
const char kAtBarKey[] = "Live/SwapAtBar";
const char kDelayKey[] = "Live/SwapDelayMs";
constexpr int kDefaultDelayMs = 300;
constexpr int kMaxDelayMs = 2000;
// How far ahead of the playing tick a swap is offered: enough to make the
// offer ready before the song gets there.
constexpr double kLeadMs = 15;
// How often the window looks whether the swap was taken.
constexpr int kCheckMs = 2;

}  // namespace

LiveEdit::LiveEdit(QMainWindow* window, ScoreEdit* edit, QSettings* store, LivePlayback* live,
                   Hooks hooks)
    : QObject(window),
      window_(window),
      edit_(edit),
      store_(store),
      live_(live),
      hooks_(std::move(hooks)) {
  CreateActions(window);
  pause_.setSingleShot(true);
  pause_.setInterval(Delay());
  connect(&pause_, &QTimer::timeout, this, [this] {
    if (live_edit_->isChecked()) UpdateNow();
  });
  check_.setInterval(kCheckMs);
  check_.setTimerType(Qt::PreciseTimer);
  connect(&check_, &QTimer::timeout, this, &LiveEdit::CheckOffer);
  connect(edit_->document(), &QTextDocument::contentsChange, this,
          [this](int, int removed, int added) {
            if (removed != 0 || added != 0) NoteTextChanged();
          });
}

LiveEdit::~LiveEdit() {
  Cancel();
}

void LiveEdit::CreateActions(QMainWindow* window) {
  live_edit_ = new QAction(QStringLiteral("ライブ編集"), window);
  live_edit_->setObjectName(QStringLiteral("LiveEdit1"));
  live_edit_->setCheckable(true);
  live_edit_->setChecked(store_ && store_->value(QLatin1String(kLiveEditKey), false).toBool());
  update_ = new QAction(QStringLiteral("演奏を更新"), window);
  update_->setObjectName(QStringLiteral("UpdateSong1"));
  update_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F12));
  at_bar_ = new QAction(QStringLiteral("小節で切り替え"), window);
  at_bar_->setObjectName(QStringLiteral("SwapAtBar1"));
  at_bar_->setCheckable(true);
  at_bar_->setChecked(store_ && store_->value(QLatin1String(kAtBarKey), false).toBool());
  for (QAction* action : {live_edit_, update_, at_bar_}) window->addAction(action);
  CreateDelayMenu(window);
  connect(live_edit_, &QAction::toggled, this, &LiveEdit::ToggleLiveEdit);
  connect(update_, &QAction::triggered, this, &LiveEdit::UpdateNow);
  connect(at_bar_, &QAction::toggled, this, &LiveEdit::ToggleAtBar);
}

void LiveEdit::CreateDelayMenu(QMainWindow* window) {
  delay_menu_ = new QMenu(QStringLiteral("入力後の待ち時間"), window);
  delay_menu_->setObjectName(QStringLiteral("SwapDelay1"));
  auto* group = new QActionGroup(delay_menu_);
  const int current = Delay();
  for (int ms : {0, 100, 200, 300, 500, 1000, 2000}) {
    QAction* choice = delay_menu_->addAction(QStringLiteral("%1 ms").arg(ms));
    choice->setObjectName(QStringLiteral("SwapDelay_%1").arg(ms));
    choice->setCheckable(true);
    choice->setChecked(ms == current);
    group->addAction(choice);
    connect(choice, &QAction::triggered, this, [this, ms] { SetDelay(ms); });
  }
}

void LiveEdit::SetDelay(int ms) {
  ms = std::clamp(ms, 0, kMaxDelayMs);
  pause_.setInterval(ms);
  if (store_) store_->setValue(QLatin1String(kDelayKey), ms);
}

int LiveEdit::Delay() const {
  const int ms =
      store_ ? store_->value(QLatin1String(kDelayKey), kDefaultDelayMs).toInt() : kDefaultDelayMs;
  return std::clamp(ms, 0, kMaxDelayMs);
}

void LiveEdit::ToggleLiveEdit(bool on) {
  if (store_) store_->setValue(QLatin1String(kLiveEditKey), on);
  if (!on) pause_.stop();
}

void LiveEdit::ToggleAtBar(bool on) {
  if (store_) store_->setValue(QLatin1String(kAtBarKey), on);
}

void LiveEdit::NoteTextChanged() {
  if (live_edit_->isChecked() && IsPlaying()) pause_.start();
}

// ---------------------------------------------------------------- the swap

void LiveEdit::UpdateNow() {
  pause_.stop();
  if (!IsPlaying()) return;
  std::vector<uint8_t> image;
  QStringList tracks;
  if (!hooks_.compile(&image, &tracks)) {
    ShowStale(true);
    return;
  }
  ShowStale(false);
  Cancel();
  if (!IsPlaying()) return;  // the song ended while the last swap completed
  const auto [playing, size] = hooks_.playing();
  image_ = std::move(image);
  tracks_ = tracks;
  // The new map, following the edits until the song takes over.
  places_ = live_->TakeCompiled();
  swap_ = std::make_unique<SongSwap>(playing, size, image_.data(), image_.size());
  if (!swap_->Prepared()) {
    swap_.reset();
    return;
  }
  const TrackListDock* dock = live_->Tracks();
  for (int i = 0; i < tracks_.size(); ++i) {
    swap_->SetTrackMuted(i, dock->MutedName(tracks_[i]));
    swap_->SetTrackSoloed(i, dock->SoloedName(tracks_[i]));
  }
  // A selection playing goes on as the same text selection in the new song:
  // looping over its ticks there, or ending where it ends there.
  int64_t start = 0, stop = 0;
  bool loops = false;
  if (live_->PlayedSelectionIn(image_.data(), image_.size(), *places_, &start, &stop, &loops)) {
    if (loops) {
      swap_->SetLoop(start, stop);
    } else {
      swap_->SetStopTick(stop);
    }
  }
  offered_over_ = playing;
  Offer(SwapTick());
}

// The tick to swap at: a little ahead of the playing one, or the bar line
// after that.
int64_t LiveEdit::SwapTick() const {
  const double tick_ms = std::max(DefaultPlayer().Song().Messages().TickLengthMs(), 1e-3);
  const int64_t at = SequencerTickCount() + static_cast<int64_t>(std::ceil(kLeadMs / tick_ms)) + 1;
  return at_bar_->isChecked() ? live_->NextBarTick(at) : at;
}

void LiveEdit::Offer(int64_t at) {
  DefaultPlayer().Song().OfferSwap(&swap_->PrepareAt(at));
  check_.start();
}

void LiveEdit::CheckOffer() {
  if (!swap_) {
    check_.stop();
    return;
  }
  const int outcome = swap_->Offer().outcome.load(std::memory_order_acquire);
  if (outcome == kSwapTaken) {
    Commit();
  } else if (outcome == kSwapMissed) {
    // The song got past the tick while the offer was made ready: try
    // further on, unless another song plays now.
    if (IsPlaying() && hooks_.playing().first == offered_over_) {
      Offer(std::max(SwapTick(), swap_->Offer().at + 1));
    } else {
      swap_.reset();
      check_.stop();
    }
  } else if (!IsPlaying()) {
    Cancel();
  }
}

void LiveEdit::Commit() {
  check_.stop();
  const int64_t at = swap_->Offer().at;
  swap_.reset();
  const auto [image, size] = hooks_.commit(&image_);
  live_->SongSwapped(image, size, tracks_, std::move(places_), at);
}

void LiveEdit::Cancel() {
  if (!swap_) return;
  if (DefaultPlayer().Song().WithdrawSwap(&swap_->Offer())) {
    swap_.reset();
    check_.stop();
  } else if (swap_->Offer().outcome.load() == kSwapTaken) {
    Commit();
  } else {
    swap_.reset();
    check_.stop();
  }
}

void LiveEdit::ShowStale(bool stale) {
  if (stale) {
    window_->statusBar()->showMessage(QStringLiteral("前回の正常な版を演奏中"));
  } else if (stale_) {
    window_->statusBar()->clearMessage();
  }
  stale_ = stale;
}
