#include "shell/qt/roll_widget.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "roll/roll_text.h"
#include "shell/qt/roll_paint.h"

namespace {

constexpr double kZoomStep = 1.25;

}  // namespace

RollWidget::RollWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("PianoRollView1"));
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumHeight(120);
}

RollWidget::~RollWidget() = default;

void RollWidget::SetModel(std::shared_ptr<const RollModel> model) {
  const bool was_empty = !model_ || model_->notes.empty();
  index_.reset();
  model_ = std::move(model);
  if (model_) index_ = std::make_unique<RollIndex>(*model_);
  outlined_.clear();
  outlined_flags_.assign(model_ ? model_->notes.size() : 0, 0);
  if (model_ && was_empty) {
    FitSong();
  } else {
    Changed();
  }
}

void RollWidget::SetSoundingTracks(std::vector<bool> tracks) {
  sounding_ = std::move(tracks);
  viewport()->update();
}

void RollWidget::SetOutlined(std::vector<size_t> notes) {
  for (size_t i : outlined_) {
    if (i < outlined_flags_.size()) outlined_flags_[i] = 0;
  }
  outlined_ = std::move(notes);
  for (size_t i : outlined_) {
    if (i < outlined_flags_.size()) outlined_flags_[i] = 1;
  }
  viewport()->update();
}

void RollWidget::SetPlayTick(int64_t now) {
  if (now == now_) return;
  now_ = now;
  viewport()->update();
}

void RollWidget::FitSong() {
  if (!model_) return;
  FitRollSong(*model_, &view_);
  Changed();
  fitted_ = true;
}

bool RollWidget::FitOutlined() {
  if (!model_ || !FitRollNotes(*model_, outlined_, &view_)) return false;
  Changed();
  return true;
}

void RollWidget::ShowNote(size_t note) {
  if (!model_) return;
  ShowRollNote(*model_, static_cast<uint32_t>(note), &view_);
  Changed();
}

void RollWidget::FollowTick(int64_t now) {
  if (!model_) return;
  const double left = view_.left;
  FollowRollTick(*model_, now, &view_);
  if (view_.left != left) Changed();
}

bool RollWidget::NoteInView(size_t note) const {
  if (!model_ || note >= model_->notes.size()) return false;
  const RollNoteBox box = RollNoteRect(*model_, view_, static_cast<uint32_t>(note));
  return box.x + box.w > view_.keys_width && box.x < view_.width && box.y >= view_.ruler_height &&
         box.y + box.h <= view_.height;
}

void RollWidget::SetView(const RollViewport& view) {
  view_ = view;
  Changed();
}

QPoint RollWidget::NotePoint(size_t note) const {
  const RollNoteBox box = RollNoteRect(*model_, view_, static_cast<uint32_t>(note));
  return QPoint(static_cast<int>(std::floor(box.x + std::min(box.w / 2, 2.0f))),
                static_cast<int>(std::floor(box.y + box.h / 2)));
}

QPoint RollWidget::BarPoint(int64_t bar) const {
  const int64_t tick = 1 + (bar - 1) * model_->RulerBarTicks();
  return QPoint(static_cast<int>(std::ceil(view_.X(static_cast<double>(tick)))) + 1,
                view_.ruler_height / 2);
}

QString RollWidget::ToolTipAt(const QPoint& point) const {
  if (!model_) return QString();
  const long note = HitRollNote(*index_, view_, point.x(), point.y());
  if (note < 0) return QString();
  const RollNote& n = model_->notes[static_cast<size_t>(note)];
  return QString::fromStdString(RollNoteTitle(*model_, n, RollTrackName(*model_, n.track)));
}

// ---------------------------------------------------------------- view

void RollWidget::Changed() {
  fitted_ = false;
  if (model_) ClampRollView(*model_, &view_);
  SyncScrollBars();
  viewport()->update();
}

void RollWidget::SyncScrollBars() {
  syncing_ = true;
  if (!model_) {
    horizontalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setRange(0, 0);
  } else {
    const RollScrollLimits limits = RollLimits(*model_, view_);
    const double px = view_.px_per_tick;
    horizontalScrollBar()->setRange(
        0, static_cast<int>(std::lround((limits.left_max - limits.left_min) * px)));
    horizontalScrollBar()->setPageStep(view_.width - view_.keys_width);
    horizontalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setValue(
        static_cast<int>(std::lround((view_.left - limits.left_min) * px)));
    const int row = view_.row_height;
    verticalScrollBar()->setRange(
        0, static_cast<int>(std::lround((limits.top_max - limits.top_min) * row)));
    verticalScrollBar()->setPageStep(view_.height - view_.ruler_height);
    verticalScrollBar()->setSingleStep(row);
    verticalScrollBar()->setValue(
        static_cast<int>(std::lround((limits.top_max - view_.top) * row)));
  }
  syncing_ = false;
}

void RollWidget::TakeScrollBars() {
  if (!model_) return;
  const RollScrollLimits limits = RollLimits(*model_, view_);
  view_.left = limits.left_min + horizontalScrollBar()->value() / view_.px_per_tick;
  view_.top = limits.top_max - static_cast<double>(verticalScrollBar()->value()) / view_.row_height;
  ClampRollView(*model_, &view_);
  fitted_ = false;
  viewport()->update();
}

void RollWidget::scrollContentsBy(int, int) {
  if (!syncing_) TakeScrollBars();
}

void RollWidget::ScrollTicks(double fraction) {
  view_.left += fraction * (view_.width - view_.keys_width) / view_.px_per_tick;
  Changed();
}

void RollWidget::ScrollKeys(double keys) {
  view_.top += keys;
  Changed();
}

// ---------------------------------------------------------------- events

void RollWidget::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  if (!model_) {
    painter.fillRect(viewport()->rect(), palette().window());
    return;
  }
  RollMarks marks;
  marks.sounding_tracks = sounding_.empty() ? nullptr : &sounding_;
  marks.outlined = &outlined_flags_;
  marks.now = now_;
  BuildRollScene(*index_, view_, marks, &scene_);
  // The picture is painted into an image of the viewport's size (kept
  // between paints), then shown in one piece.
  const qreal ratio = viewport()->devicePixelRatioF();
  const QSize pixels = viewport()->size() * ratio;
  if (picture_.size() != pixels || picture_.devicePixelRatio() != ratio) {
    picture_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    picture_.setDevicePixelRatio(ratio);
  }
  PaintRollScene(picture_, *model_, view_, scene_);
  painter.drawImage(0, 0, picture_);
}

void RollWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  view_.width = viewport()->width();
  view_.height = viewport()->height();
  if (fitted_) {
    FitSong();
  } else {
    Changed();
  }
}

void RollWidget::mousePressEvent(QMouseEvent* event) {
  if (!model_ || event->button() != Qt::LeftButton) return;
  const QPointF at = event->position();
  const int64_t bar = HitRollBar(*model_, view_, at.x(), at.y());
  if (bar > 0) {
    emit barClicked(bar);
    return;
  }
  const long note = HitRollNote(*index_, view_, at.x(), at.y());
  if (note >= 0) emit noteClicked(static_cast<int>(note));
}

void RollWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!model_ || event->button() != Qt::LeftButton) return;
  const QPointF at = event->position();
  if (at.y() < view_.ruler_height) return;  // the first click already plays
  const long note = HitRollNote(*index_, view_, at.x(), at.y());
  if (note < 0) return;
  emit noteClicked(static_cast<int>(note));
  emit noteDoubleClicked(static_cast<int>(note));
}

void RollWidget::wheelEvent(QWheelEvent* event) {
  if (!model_) return;
  const QPoint delta = event->angleDelta();
  const double steps = (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
  const Qt::KeyboardModifiers mods = event->modifiers();
  if ((mods & Qt::ControlModifier) && (mods & Qt::ShiftModifier)) {
    ZoomRollKeys(*model_, std::pow(kZoomStep, steps), event->position().y(), &view_);
  } else if (mods & Qt::ControlModifier) {
    ZoomRollTime(*model_, std::pow(kZoomStep, steps), event->position().x(), &view_);
  } else if ((mods & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0)) {
    view_.left -= steps * 0.1 * (view_.width - view_.keys_width) / view_.px_per_tick;
  } else {
    view_.top += steps * 3;
  }
  Changed();
  event->accept();
}

void RollWidget::keyPressEvent(QKeyEvent* event) {
  if (!model_) return QAbstractScrollArea::keyPressEvent(event);
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const double middle_x = (view_.keys_width + view_.width) / 2.0;
  const double middle_y = (view_.ruler_height + view_.height) / 2.0;
  switch (event->key()) {
    case Qt::Key_Left:
      return ScrollTicks(-0.125);
    case Qt::Key_Right:
      return ScrollTicks(0.125);
    case Qt::Key_PageUp:
      return ScrollTicks(-0.9);
    case Qt::Key_PageDown:
      return ScrollTicks(0.9);
    case Qt::Key_Up:
    case Qt::Key_Down: {
      const bool up = event->key() == Qt::Key_Up;
      if (!ctrl) return ScrollKeys(up ? 2 : -2);
      ZoomRollKeys(*model_, up ? kZoomStep : 1 / kZoomStep, middle_y, &view_);
      return Changed();
    }
    case Qt::Key_Home:
      view_.left = -1e18;
      return Changed();
    case Qt::Key_End:
      view_.left = 1e18;
      return Changed();
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomRollTime(*model_, kZoomStep, middle_x, &view_);
      return Changed();
    case Qt::Key_Minus:
      ZoomRollTime(*model_, 1 / kZoomStep, middle_x, &view_);
      return Changed();
    case Qt::Key_F:
      return FitSong();
    case Qt::Key_S:
      FitOutlined();
      return;
    default:
      QAbstractScrollArea::keyPressEvent(event);
  }
}

bool RollWidget::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = ToolTipAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport());
    }
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}
