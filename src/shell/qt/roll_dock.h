// The piano roll dock ("ピアノロール"): the song of the last good compilation
// (or live swap) drawn as a roll under the text, tied to it both ways.
//
// In: the songs the live playback follows (songChanged), the track list's
//   mute and solo, the editor's caret and selection, the playing tick.
// Out: a click on a note selects its text (the status bar names the macro
//   call sites it came through); a double-click plays from that note, a
//   click on the ruler from that bar (both through play_from, which sends
//   the channel state there first); the notes written at the caret or in
//   the selection are outlined, every pass and expansion, and the roll
//   scrolls to the first; while playing, the playhead and the sounding
//   notes, followed with "再生位置を追う".
// The model is built on a worker thread from a copy of the song (on a
// sequencer of its own, so playback goes on); a newer song cancels an
// older build; while the dock is hidden, the build waits until it is shown.
// Scrolling and playback never rebuild it. Shown, floating
// and the floating place are remembered in the settings.
// Threads: the window's, but for the build.
#ifndef QUERN_SHELL_QT_ROLL_DOCK_H_
#define QUERN_SHELL_QT_ROLL_DOCK_H_

#include <QDockWidget>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "roll/roll_model.h"

class LivePlayback;
class QAction;
class QLabel;
class QMainWindow;
class QSettings;
class RollWidget;
class ScoreEdit;

class RollDock : public QDockWidget {
  Q_OBJECT
 public:
  RollDock(QMainWindow* window, ScoreEdit* edit, LivePlayback* live, QSettings* store,
           std::function<void(int64_t)> play_from);
  ~RollDock() override;

  RollWidget* Roll() const { return roll_; }
  // The Options menu entry: shows and hides the dock (remembered).
  QAction* ShowAction() const { return show_; }
  QAction* FitSongAction() const { return fit_song_; }
  QAction* FitSelectionAction() const { return fit_selection_; }
  // Whether a model is being built; models taken so far.
  bool Building() const { return building_; }
  int ModelsTaken() const { return models_taken_; }
  // The dock's place for the next start (the window calls it on closing).
  void WriteSettings() const;

 private slots:
  void BuildModel();
  void MarkCaretNotes();
  void UpdateTracks();
  void PollPlayhead();
  void SelectNote(int note);
  void PlayNote(int note);

 private:
  void CreateActions();
  void ReadSettings();
  void TakeModel(int generation, std::shared_ptr<RollModel> model);
  void CancelBuild();
  void ShowCallSites(const NoteSource& source);
  SourcePlace CompiledPlace(int position) const;

  QMainWindow* window_;
  ScoreEdit* edit_;
  LivePlayback* live_;
  QSettings* store_;
  std::function<void(int64_t)> play_from_;
  RollWidget* roll_ = nullptr;
  QLabel* notice_ = nullptr;
  QAction* show_ = nullptr;
  QAction* fit_song_ = nullptr;
  QAction* fit_selection_ = nullptr;
  QTimer caret_;
  QTimer playhead_;
  std::thread worker_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  int generation_ = 0;
  bool building_ = false;
  int models_taken_ = 0;
  bool caret_from_roll_ = false;
  bool stale_ = false;  // a song came while the dock was hidden
};

#endif  // QUERN_SHELL_QT_ROLL_DOCK_H_
