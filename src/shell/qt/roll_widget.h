// The piano roll's picture: a roll model painted through the toolkit-free
// view (roll/roll_view.h), with scroll bars, zoom and the mouse.
//
// In: a model (shared, read only), which tracks sound, the outlined notes,
//   the playing tick.
// Out: signals for a click on a note, a double-click on a note and a click
//   on the ruler; a tooltip on each note with the facts the SVG titles give.
// Keys: arrows scroll (time and keys), Page Up/Down turn a page, Home/End go
// to the start and the end, + and - zoom the time (Ctrl with them, the
// keys), F fits the song and S the outlined notes. The wheel scrolls the
// keys (with Shift, the time); Ctrl+wheel zooms the time about the mouse,
// Ctrl+Shift+wheel the keys.
// Painting visits only what is in view; nothing here rebuilds the model.
#ifndef QUERN_SHELL_QT_ROLL_WIDGET_H_
#define QUERN_SHELL_QT_ROLL_WIDGET_H_

#include <QAbstractScrollArea>
#include <QImage>
#include <memory>
#include <vector>

#include "roll/roll_model.h"
#include "roll/roll_view.h"

class RollWidget : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit RollWidget(QWidget* parent = nullptr);
  ~RollWidget() override;

  // A new model. The first one (or one after an empty model) is fitted into
  // view; later ones keep the view where it is.
  void SetModel(std::shared_ptr<const RollModel> model);
  const RollModel* Model() const { return model_.get(); }
  // Which tracks sound, by track index; the others are greyed.
  void SetSoundingTracks(std::vector<bool> tracks);
  // The notes to outline, by index into the model's notes (rising).
  void SetOutlined(std::vector<size_t> notes);
  const std::vector<size_t>& Outlined() const { return outlined_; }
  // The playing tick: the playhead and the sounding notes; 0 for none.
  void SetPlayTick(int64_t now);
  int64_t PlayTick() const { return now_; }

  void FitSong();
  // Fits the outlined notes; false when there are none.
  bool FitOutlined();
  void ShowNote(size_t note);
  void FollowTick(int64_t now);
  bool NoteInView(size_t note) const;

  const RollViewport& View() const { return view_; }
  void SetView(const RollViewport& view);
  // Where a note or a bar's ruler is on the viewport, for tests.
  QPoint NotePoint(size_t note) const;
  QPoint BarPoint(int64_t bar) const;
  // The scene of the last paint.
  const RollScene& Scene() const { return scene_; }
  // The tooltip text of the note under a viewport point; empty for none.
  QString ToolTipAt(const QPoint& point) const;

 signals:
  void noteClicked(int note);
  void noteDoubleClicked(int note);
  void barClicked(qint64 tick);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void Changed();
  void SyncScrollBars();
  void TakeScrollBars();
  void ScrollTicks(double fraction);
  void ScrollKeys(double keys);

  std::shared_ptr<const RollModel> model_;
  std::unique_ptr<RollIndex> index_;
  RollViewport view_;
  std::vector<bool> sounding_;
  std::vector<size_t> outlined_;
  std::vector<uint8_t> outlined_flags_;
  int64_t now_ = 0;
  RollScene scene_;
  QImage picture_;
  bool syncing_ = false;
  bool fitted_ = false;  // the whole song is in view: a resize fits it again
};

#endif  // QUERN_SHELL_QT_ROLL_WIDGET_H_
