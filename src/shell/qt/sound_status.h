// The status bar's sound indicator: "音が出ません" for as long as no MIDI
// output is open, with the reason in its tooltip. A click asks for the
// output choice (the main window opens the settings there). It is hidden
// while an output works.
//
// In: the reason an output could not be opened, as the output gives it.
// Out: the indicator's text, tooltip and visibility; clicked().
#ifndef QUERN_SHELL_QT_SOUND_STATUS_H_
#define QUERN_SHELL_QT_SOUND_STATUS_H_

#include <QToolButton>

class SoundStatus : public QToolButton {
  Q_OBJECT
 public:
  explicit SoundStatus(QWidget* parent = nullptr);

  void ShowFailure(const QString& reason);
  void ShowWorking();
  bool Silent() const { return silent_; }

 private:
  bool silent_ = false;
};

// The output's reason for the editor: hints that name the command line's
// options are replaced by where the editor sets the output.
QString EditorSoundReason(const QString& reason);

#endif  // QUERN_SHELL_QT_SOUND_STATUS_H_
