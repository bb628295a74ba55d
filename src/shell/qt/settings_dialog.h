// The settings dialog (TForm5): fonts and colours of the editor, the
// compiler message list and the file browser list, the player's timer
// interval, and the sound output.
//
// The caller fills the values, runs the dialog and takes Values() only when
// it ended with OK; Cancel, Esc and closing leave the caller's windows as
// they were. Font and colour choices go through Dialogs.
#ifndef QUERN_SHELL_QT_SETTINGS_DIALOG_H_
#define QUERN_SHELL_QT_SETTINGS_DIALOG_H_

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "shell/settings.h"

class Dialogs;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

struct SettingsValues {
  int16_t interval = 4;
  FontSetting groups[3];  // editor, compiler messages, file browser
  // The MIDI output as "synth", "alsa:PORT" or "none", and the SoundFont
  // file of the embedded synthesizer (empty: the system's).
  QString output;
  QString soundfont;
};

class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  SettingsDialog(Dialogs* dialogs, QWidget* parent = nullptr);

  // outputs lists the values "synth", "none" and "alsa:PORT" to offer.
  void SetValues(const SettingsValues& values, const QStringList& outputs);
  SettingsValues Values() const;
  // The next run starts with the focus on the output choice.
  void FocusOutput();

  // For tests and screenshots: the controls.
  QSpinBox* IntervalBox() const { return interval_; }
  QPushButton* FontButton(int group) const { return rows_[group].font; }
  QPushButton* ColorButton(int group) const { return rows_[group].color; }
  QPushButton* BackButton(int group) const { return rows_[group].back; }
  QLabel* FontLabel(int group) const { return rows_[group].label; }
  QLabel* Sample(int group) const { return rows_[group].sample; }
  QComboBox* OutputBox() const { return output_; }
  QLineEdit* SoundFontEdit() const { return soundfont_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  struct Row {
    QLabel* label = nullptr;
    QLabel* sample = nullptr;
    QPushButton* font = nullptr;
    QPushButton* color = nullptr;
    QPushButton* back = nullptr;
  };

  void CreateFontGroup(int group, const QString& caption, int top);
  void CreateIntervalGroup(int top);
  void CreateOutputGroup(int top);
  void ChooseFont(int group);
  void ChooseColor(int group, bool background);
  void ChooseSoundFont();
  void ShowGroup(int group);

  Dialogs* dialogs_;
  FontSetting groups_[3];
  Row rows_[3];
  QSpinBox* interval_ = nullptr;
  QComboBox* output_ = nullptr;
  QLineEdit* soundfont_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// The label text of a font group: name, a space, the size in points.
QString FontLabelText(const FontSetting& group);
// The editor fonts: the named face at the size, falling back on a fixed
// pitch face that holds Japanese when the system lacks it.
QFont FontOfGroup(const FontSetting& group);
// The installed face that stands for the named one (see FontOfGroup).
QString InstalledFamily(const QString& name);
// Maps the designed Windows font names to the fonts of this system.
void InstallFontSubstitutes();

#endif  // QUERN_SHELL_QT_SETTINGS_DIALOG_H_
