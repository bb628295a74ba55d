// Live playback in the editor: the playhead that lights up each note where
// it is written while it sounds, following the playing place, the time and
// bar:beat in the status bar, play from the caret (Shift+F12), play the
// selection (Ctrl+F12, looped with "繰り返し") and the track list dock.
//
// In: the source map and image of each successful compilation (SongCompiled),
//   the notes the sequencer strikes (through a lock-free ring it writes on
//   the timer thread), and the sequencer's tick count.
// Out: playhead marks on the editor, the status label, the track list.
// Each song's places follow the text as it is edited while it plays (see
// song_places.h): a mark lands on the note it was made for or not at all.
// The window polls the ring at screen rate; the timer thread never waits on
// the window: when the ring is full, notes are dropped from the display.
// Everything works the same with the "none" output.
#ifndef QUERN_SHELL_QT_LIVE_PLAYBACK_H_
#define QUERN_SHELL_QT_LIVE_PLAYBACK_H_

#include <QObject>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "compiler/song/source_map.h"
#include "player/note_ring.h"
#include "shell/qt/song_places.h"

class QAction;
class QLabel;
class QMainWindow;
class QSettings;
class ScoreEdit;
class TrackListDock;

class LivePlayback : public QObject {
  Q_OBJECT
 public:
  // compile runs the window's compilation and tells whether a song is ready.
  LivePlayback(QMainWindow* window, ScoreEdit* edit, QSettings* store,
               std::function<bool()> compile);
  ~LivePlayback() override;

  // The map the compiler records into; after a successful compilation
  // SongCompiled makes it the song's.
  SourceMap* CompileMap() { return &compile_map_; }
  void SongCompiled(const uint8_t* image, size_t size, const QStringList& track_names);
  // The map just compiled with the text it came from, following the edits
  // from now on: for a song that takes over later (live editing).
  std::shared_ptr<SongPlaces> TakeCompiled() const;
  // A song was loaded to play from its start: mute, solo and the playhead.
  void SongLoaded();
  // The text no longer holds the song (New): its track list, its time and
  // its marks go, and its map with them, so that nothing lights on the new
  // text. Playback has been stopped.
  void ClearSong();
  // A newly compiled song took over from the playing one at tick `at` (live
  // editing): its map lights the notes struck from then on.
  void SongSwapped(const uint8_t* image, size_t size, const QStringList& track_names,
                   std::shared_ptr<SongPlaces> places, int64_t at);
  // While a selection plays: its ticks in another compilation of the text
  // (the same text selection, through that compilation's places), and
  // whether it plays in a loop; false otherwise.
  bool PlayedSelectionIn(const uint8_t* image, size_t size, const SongPlaces& places,
                         int64_t* start, int64_t* stop, bool* loops) const;
  // The first bar line at or after `tick`, from the bar length of the track
  // under the caret (the first track when the caret is on none).
  int64_t NextBarTick(int64_t tick) const;

  void PlayFromCaret();
  void PlaySelection();
  // Plays the song as last compiled (or swapped in) from tick `start`, with
  // the channel state in effect there sent first; nothing when there is no
  // song.
  void PlayFromTick(int64_t start);

  // The song the playhead follows: the last good compilation or swap.
  const uint8_t* SongImage() const { return image_; }
  size_t SongSize() const { return size_; }
  const SourceMap& SongMap() const;
  // Where that song's notes are written in the text as it is now.
  const SongPlaces* SongTextPlaces() const { return places_.get(); }
  const QStringList& SongTracks() const { return track_names_; }

  QAction* PlayFromCaretAction() const { return from_caret_; }
  QAction* PlaySelectionAction() const { return selection_; }
  QAction* LoopAction() const { return loop_; }
  QAction* FollowAction() const { return follow_; }
  QAction* TrackListAction() const;
  TrackListDock* Tracks() const { return tracks_; }
  QLabel* TimeLabel() const { return time_label_; }
  NoteRing& Ring() { return *ring_; }

  // One poll: takes the struck notes, fades those that ended, renews the
  // marks, the lights and the status. The screen-rate timer calls it.
  void Poll();
  // "m:ss / m:ss  bar:beat" for a tick; public for tests.
  QString StatusText(int64_t tick) const;

 signals:
  // A new song to follow: compiled, or swapped in while playing.
  void songChanged();
  // Playback started, from the start or elsewhere.
  void playbackStarted();

 private:
  struct Lit {
    QTextCursor mark;  // over the note's text, following edits
    bool call;         // a macro call site, in the second shade
    int64_t until;
  };
  void CreateActions(QMainWindow* window);
  void StartWatching();
  void TakeNote(const StruckNote& note);
  void RenewMarks();
  void FollowPlace(const QTextCursor& mark);
  int CaretTrack() const;
  SourcePlace CaretPlace(int position) const;
  void MeasureSong();
  double MsAt(int64_t tick) const;
  void ToggleFollow(bool on);

  QMainWindow* window_;
  ScoreEdit* edit_;
  QSettings* store_;
  std::function<bool()> compile_;
  SourceMap compile_map_;
  std::shared_ptr<SongPlaces> places_;           // the song's map and its text
  std::shared_ptr<SongPlaces> previous_places_;  // the song's before the last swap
  int64_t swap_tick_ = 0;  // notes struck before it belong to previous_places_
  QTextCursor played_selection_;
  bool playing_selection_ = false;
  bool selection_loops_ = false;  // as it was started
  const uint8_t* image_ = nullptr;
  size_t size_ = 0;
  QStringList track_names_;
  std::unique_ptr<NoteRing> ring_;
  QTimer poll_;
  std::vector<Lit> lit_;
  bool marks_dirty_ = false;
  int64_t last_tick_ = 0;
  // Song time: milliseconds at every kMsStep-th tick, and the total.
  std::vector<double> ms_steps_;
  double total_ms_ = 0;
  bool endless_ = false;

  QAction* from_caret_ = nullptr;
  QAction* selection_ = nullptr;
  QAction* loop_ = nullptr;
  QAction* follow_ = nullptr;
  TrackListDock* tracks_ = nullptr;
  QLabel* time_label_ = nullptr;
};

#endif  // QUERN_SHELL_QT_LIVE_PLAYBACK_H_
