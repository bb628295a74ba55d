// Live editing: while a song plays, the score is compiled again after each
// pause in typing, and a version without errors takes over from the playing
// song at the tick it has reached (or at the next bar line), without a gap.
//
// In: text changes of the editor, the window's compilation (through hooks,
//   so that the playing song is never stopped), the playing song's image.
// Out: a song swap offered to the default player's sequencer; the window's
//   song copy and the playhead's map replaced once the new song has taken
//   over (its places follow the edits made since its compilation);
//   "前回の正常な版を演奏中" in the status bar while the text has errors.
// What can go wrong: a text with errors (the playing song goes on, the
//   messages show without taking the focus); a song that stops or is
//   replaced before the swap is taken (the swap is dropped).
// Threads: the window's thread. The timer thread takes the offer without
//   waiting on anyone; this side looks at the outcome on a short timer.
#ifndef QUERN_SHELL_QT_LIVE_EDIT_H_
#define QUERN_SHELL_QT_LIVE_EDIT_H_

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "shell/qt/song_places.h"

class QAction;
class QMainWindow;
class QMenu;
class QSettings;
class LivePlayback;
class ScoreEdit;
class SongSwap;

class LiveEdit : public QObject {
  Q_OBJECT
 public:
  struct Hooks {
    // Compiles the text as it stands without touching the playing song;
    // true with the image and track names when it has no errors.
    std::function<bool(std::vector<uint8_t>* image, QStringList* tracks)> compile;
    // The image the player reads now, and its size.
    std::function<std::pair<const uint8_t*, size_t>()> playing;
    // The new song took over: the window makes *image its song copy
    // (swapping buffers keeps the bytes in place for the player) and says
    // where it lies now.
    std::function<std::pair<const uint8_t*, size_t>(std::vector<uint8_t>* image)> commit;
  };

  LiveEdit(QMainWindow* window, ScoreEdit* edit, QSettings* store, LivePlayback* live,
           Hooks hooks);
  ~LiveEdit() override;

  QAction* LiveAction() const { return live_edit_; }
  QAction* UpdateAction() const { return update_; }
  QAction* BarAction() const { return at_bar_; }
  // "入力後の待ち時間": the choices of the pause before a swap.
  QMenu* DelayMenu() const { return delay_menu_; }
  // The pause in typing before a swap, 0 to 2,000 ms (remembered).
  void SetDelay(int ms);
  int Delay() const;
  // Drops a swap not yet taken (one already taken is completed): call before
  // anything else stops or loads a song.
  void Cancel();
  // Whether a swap waits for its tick.
  bool Pending() const { return swap_ != nullptr; }

 public slots:
  void UpdateNow();

 private slots:
  void NoteTextChanged();
  void ToggleLiveEdit(bool on);
  void ToggleAtBar(bool on);
  void CheckOffer();

 private:
  void CreateActions(QMainWindow* window);
  void CreateDelayMenu(QMainWindow* window);
  void Offer(int64_t at);
  int64_t SwapTick() const;
  void Commit();
  void ShowStale(bool stale);

  QMainWindow* window_;
  ScoreEdit* edit_;
  QSettings* store_;
  LivePlayback* live_;
  Hooks hooks_;
  QTimer pause_;
  QTimer check_;
  std::unique_ptr<SongSwap> swap_;
  std::vector<uint8_t> image_;  // the song offered, with its tracks and map
  QStringList tracks_;
  std::shared_ptr<SongPlaces> places_;
  const uint8_t* offered_over_ = nullptr;  // the playing image the offer replaces
  bool stale_ = false;
  QAction* live_edit_ = nullptr;
  QAction* update_ = nullptr;
  QAction* at_bar_ = nullptr;
  QMenu* delay_menu_ = nullptr;
};

#endif  // QUERN_SHELL_QT_LIVE_EDIT_H_
