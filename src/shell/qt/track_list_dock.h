// Track list dock: one row per track of the song with its name in the
// track's colour (the piano roll draws its notes in the same one), a mute
// box, a solo box and an activity light that flashes on each note the track
// strikes. Mute and solo go to the sequencer at once, also while playing;
// they stay with the track names across compilations.
#ifndef QUERN_SHELL_QT_TRACK_LIST_DOCK_H_
#define QUERN_SHELL_QT_TRACK_LIST_DOCK_H_

#include <QDockWidget>
#include <QElapsedTimer>
#include <QSet>
#include <QStringList>
#include <vector>

class QCheckBox;
class QLabel;
class QGridLayout;
class QScrollArea;

// The whole names of the tracks the last compilation made, in track order:
// the names the compiler tells tracks apart by, so that mute and solo stay
// with the right track even when two names share their first 32 bytes.
QStringList CompiledTrackNames();

class TrackListDock : public QDockWidget {
  Q_OBJECT
 public:
  explicit TrackListDock(QWidget* parent = nullptr);

  // The tracks of a newly compiled song, in track order.
  void SetTracks(const QStringList& names);
  QStringList Tracks() const { return names_; }
  // Mute and solo by track name: they stay with a name across compilations.
  bool MutedName(const QString& name) const { return muted_names_.contains(name); }
  bool SoloedName(const QString& name) const { return soloed_names_.contains(name); }
  // Sends every track's mute and solo to the sequencer (after a song loads).
  void ApplySwitches() const;
  void SetMuted(int track, bool muted);
  void SetSoloed(int track, bool soloed);
  bool Muted(int track) const;
  bool Soloed(int track) const;
  // A note of the track sounded: its light flashes.
  void Flash(int track);
  // Lets lights go dark whose flash is over; false when none is lit.
  bool FadeLights();
  bool Lit(int track) const;
  // Whether the track is heard: not muted, and soloed when any track is.
  bool Audible(int track) const;

 signals:
  // A mute or solo box changed.
  void switchesChanged();

 private:
  struct Row {
    QLabel* name;
    QCheckBox* mute;
    QCheckBox* solo;
    QLabel* light;
    qint64 lit_until = 0;  // ms on clock_; 0: dark
  };
  void CreateRow(int track, const QString& name);
  void FitWidth();
  void SetLight(Row& row, bool on);
  void ToggleMute(int track, bool muted);
  void ToggleSolo(int track, bool soloed);

  QGridLayout* grid_;
  QScrollArea* scroll_;
  QStringList names_;
  std::vector<Row> rows_;
  QSet<QString> muted_names_, soloed_names_;
  QElapsedTimer clock_;
};

#endif  // QUERN_SHELL_QT_TRACK_LIST_DOCK_H_
