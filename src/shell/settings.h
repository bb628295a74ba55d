// The user's settings: 27 named values read once when the main window is
// created and written once when it closes, plus two values of our own (the
// MIDI output and the SoundFont) stored after them.
//
// In: a QSettings store. OpenSettingsStore() gives the user's own store
// (organisation "QuernKASTO", application "QuernMIDI": the registry key
// HKEY_CURRENT_USER\Software\QuernKASTO\QuernMIDI on Windows, an INI file in
// the user's configuration folder elsewhere). Tests pass a QSettings on an INI
// file of their own.
// Out: a Settings value; every field always holds something usable.
// What can go wrong: a missing store or value gives its default. A value of
// the wrong type (text where a number belongs, a list, a number too wide for
// 32 bits) is reported as one line and gets its default. Loading never fails.
//
// Value names, in the order they are read and written:
//   1 FontName  2 FontSize  3 FontColor  4 BackColor      editor font
//   5 IntrIntv  6 ShowPanel  7 ShowMessage
//   8 Wnd1PosX  9 Wnd1PosY  10 Wnd1SizX  11 Wnd1SizY      main window
//  12 Wnd2PosX .. 15 Wnd2SizY                             FILE BROWSER placement
//  16 Wnd2FntNam 17 Wnd2FntSiz 18 Wnd2FntClrF 19 Wnd2FntClrB  MESSAGE WINDOW font
//  20 Wnd3PosX .. 23 Wnd3SizY                             MESSAGE WINDOW placement
//  24 Wnd3FntNam 25 Wnd3FntSiz 26 Wnd3FntClrF 27 Wnd3FntClrB  FILE BROWSER font
//  28 MidiOutput  29 SoundFont                            ours
//  30 MessageDocked  31 LineNumbers  32 RecentFiles       ours (editor)
// Stored settings depend on the crossed pairing of 12-19 and 20-27; the
// fields of Settings are named by window, and only this module knows names.
//
// Integers are 32-bit signed (a colour 80000005 hex reads as a negative
// number). IntrIntv counts only by its low 16 bits, as a signed 16-bit number
// (65540 is 4). Colours: 00BBGGRR for an explicit colour; top bit set names
// system colour number (value & 0xFF) (80000005 hex: the window background).
#ifndef QUERN_SHELL_SETTINGS_H_
#define QUERN_SHELL_SETTINGS_H_

#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

inline constexpr char kDesignedFontNameUtf8[] = "ＭＳ ゴシック";
inline constexpr int32_t kSystemWindowColour = INT32_MIN + 5;  // 80000005 hex
inline constexpr char kDefaultMidiOutput[] = "synth";          // "synth", "alsa:PORT", "none"
inline constexpr int kMaxRecentFiles = 8;

// One font group: values 1-4, 16-19 or 24-27.
struct FontSetting {
  QString name;
  int32_t size = 10;
  int32_t color = 0;  // 00BBGGRR or system colour
  int32_t back_color = kSystemWindowColour;
  bool operator==(const FontSetting&) const = default;
};

// Placement of the file browser or the message window: each value that is 0
// or more is applied to the window, a negative one keeps the designed value.
struct Placement {
  int32_t x = -1;
  int32_t y = -1;
  int32_t width = -1;
  int32_t height = -1;
  bool operator==(const Placement&) const = default;
};

// Placement of the main window: a missing value leaves the choice to the
// window system; any stored value, negative ones included, is applied.
struct MainPlacement {
  std::optional<int32_t> x, y, width, height;
  bool operator==(const MainPlacement&) const = default;
};

struct Settings {
  FontSetting editor_font{QString::fromUtf8(kDesignedFontNameUtf8), 10, 0, kSystemWindowColour};
  int32_t interval = 4;       // IntrIntv after the low-16-bit rule, milliseconds
  bool show_panel = true;     // ShowPanel
  bool show_message = false;  // ShowMessage
  MainPlacement main_placement;
  Placement browser_placement;                                    // Wnd2PosX..Wnd2SizY
  FontSetting message_font;                                       // Wnd2FntNam..Wnd2FntClrB
  Placement message_placement;                                    // Wnd3PosX..Wnd3SizY
  FontSetting browser_font;                                       // Wnd3FntNam..Wnd3FntClrB
  QString midi_output = QString::fromLatin1(kDefaultMidiOutput);  // MidiOutput
  QString soundfont;            // SoundFont; empty: the output's own choice
  bool message_docked = false;  // MessageDocked: the message window under the editor
  bool line_numbers = false;    // LineNumbers: the editor's line-number gutter
  QStringList recent_files;     // RecentFiles: newest first, at most kMaxRecentFiles
  bool operator==(const Settings&) const = default;
};

// Applies values 1-4 to the editor and returns the font as the editor then
// holds it; values 16-19 and 24-27 default to that. An empty function keeps
// the values as they are.
using ApplyEditorFont = std::function<FontSetting(const FontSetting& wanted)>;
// Receives one line per problem. An empty function writes it to stderr.
using ReportSettingsProblem = std::function<void(const QString& line)>;

// The user's store: organisation "QuernKASTO", application "QuernMIDI".
std::unique_ptr<QSettings> OpenSettingsStore();

// Reads the values in table order (values 28 to 32 last).
Settings LoadSettings(QSettings& store, const ApplyEditorFont& apply_editor_font = {},
                      const ReportSettingsProblem& report = {});

// Writes all 32 values in table order, whether or not they are defaults,
// and flushes. The window fills main_placement from its frame before it
// saves; a value it leaves missing is not written. Returns false (and says
// why in *error) when the store could not be written.
bool SaveSettings(QSettings& store, const Settings& settings, QString* error = nullptr);

// Colour values: an explicit colour's parts, or the system colour number.
inline bool IsSystemColour(int32_t value) {
  return value < 0;
}
inline int SystemColourNumber(int32_t value) {
  return value & 0x7FFFFFFF;
}
inline int RedOf(int32_t value) {
  return value & 0xFF;
}
inline int GreenOf(int32_t value) {
  return (value >> 8) & 0xFF;
}
inline int BlueOf(int32_t value) {
  return (value >> 16) & 0xFF;
}
inline int32_t ColourValue(int red, int green, int blue) {
  return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}

#endif  // QUERN_SHELL_SETTINGS_H_
