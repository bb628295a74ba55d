#include "shell/settings.h"

#include <QMetaType>
#include <QVariant>

#include <cstdio>

namespace {

// Reads the values of one store and reports each value it cannot use.
class Reader {
 public:
  Reader(QSettings& store, const ReportSettingsProblem& report) : store_(store), report_(report) {}

  // A 32-bit integer: a number (as the registry stores it) or decimal text
  // (as an INI file stores it) within 32 bits, taken as signed.
  int32_t Integer(const char* name, int32_t fallback) {
    std::optional<int32_t> v = OptionalInteger(name);
    return v ? *v : fallback;
  }

  std::optional<int32_t> OptionalInteger(const char* name) {
    if (!store_.contains(name)) return std::nullopt;
    QVariant value = store_.value(name);
    bool ok = false;
    qlonglong n = 0;
    switch (value.typeId()) {
      case QMetaType::Int:
      case QMetaType::UInt:
      case QMetaType::LongLong:
      case QMetaType::ULongLong:
        n = value.toLongLong(&ok);
        break;
      case QMetaType::QString:
        n = value.toString().trimmed().toLongLong(&ok, 10);
        break;
      default:
        break;
    }
    if (ok && n >= INT32_MIN && n <= static_cast<qlonglong>(UINT32_MAX)) {
      return static_cast<int32_t>(static_cast<uint32_t>(n));
    }
    Problem(name, "is not a 32-bit integer");
    return std::nullopt;
  }

  // A list is stored as text when it holds one item.
  QStringList List(const char* name) {
    if (!store_.contains(name)) return {};
    QVariant value = store_.value(name);
    if (value.typeId() == QMetaType::QStringList) return value.toStringList();
    if (value.typeId() == QMetaType::QString) {
      return value.toString().isEmpty() ? QStringList() : QStringList{value.toString()};
    }
    Problem(name, "is not a list of texts");
    return {};
  }

  QString String(const char* name, const QString& fallback) {
    if (!store_.contains(name)) return fallback;
    QVariant value = store_.value(name);
    if (value.typeId() == QMetaType::QString) return value.toString();
    Problem(name, "is not a text");
    return fallback;
  }

  void StoreProblem() {
    if (store_.status() == QSettings::FormatError) {
      Report(QStringLiteral("settings: %1 cannot be read as a whole; the values it lacks get "
                            "their defaults")
                 .arg(store_.fileName()));
    }
  }

 private:
  void Problem(const char* name, const char* what) {
    Report(QStringLiteral("settings: the value %1 %2; its default is used")
               .arg(QLatin1String(name), QLatin1String(what)));
  }

  void Report(const QString& line) {
    if (report_) {
      report_(line);
    } else {
      std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
  }

  QSettings& store_;
  const ReportSettingsProblem& report_;
};

FontSetting ReadFont(Reader& r, const char* name, const char* size, const char* color,
                     const char* back, const FontSetting& fallback) {
  FontSetting font;
  font.name = r.String(name, fallback.name);
  font.size = r.Integer(size, fallback.size);
  font.color = r.Integer(color, fallback.color);
  font.back_color = r.Integer(back, fallback.back_color);
  return font;
}

Placement ReadPlacement(Reader& r, const char* x, const char* y, const char* w, const char* h) {
  Placement p;
  p.x = r.Integer(x, -1);
  p.y = r.Integer(y, -1);
  p.width = r.Integer(w, -1);
  p.height = r.Integer(h, -1);
  return p;
}

void WriteFont(QSettings& s, const char* name, const char* size, const char* color,
               const char* back, const FontSetting& font) {
  s.setValue(name, font.name);
  s.setValue(size, font.size);
  s.setValue(color, font.color);
  s.setValue(back, font.back_color);
}

void WritePlacement(QSettings& s, const char* x, const char* y, const char* w, const char* h,
                    const Placement& p) {
  s.setValue(x, p.x);
  s.setValue(y, p.y);
  s.setValue(w, p.width);
  s.setValue(h, p.height);
}

// A main window value never placed by the system stays missing from the
// store; any value the window reported is written.
void WriteOptional(QSettings& s, const char* name, const std::optional<int32_t>& v) {
  if (v) s.setValue(name, *v);
}

}  // namespace

std::unique_ptr<QSettings> OpenSettingsStore() {
  return std::make_unique<QSettings>(QStringLiteral("QuernKASTO"), QStringLiteral("QuernMIDI"));
}

Settings LoadSettings(QSettings& store, const ApplyEditorFont& apply_editor_font,
                      const ReportSettingsProblem& report) {
  Settings s;
  Reader r(store, report);
  r.StoreProblem();
  s.editor_font = ReadFont(r, "FontName", "FontSize", "FontColor", "BackColor", s.editor_font);
  if (apply_editor_font) s.editor_font = apply_editor_font(s.editor_font);
  // Only the low 16 bits of the interval count, as a signed number.
  s.interval = static_cast<int16_t>(static_cast<uint16_t>(r.Integer("IntrIntv", 4) & 0xFFFF));
  s.show_panel = r.Integer("ShowPanel", 1) != 0;
  s.show_message = r.Integer("ShowMessage", 0) != 0;
  s.main_placement.x = r.OptionalInteger("Wnd1PosX");
  s.main_placement.y = r.OptionalInteger("Wnd1PosY");
  s.main_placement.width = r.OptionalInteger("Wnd1SizX");
  s.main_placement.height = r.OptionalInteger("Wnd1SizY");
  // Wnd2 placement belongs to the file browser, Wnd2 font to the message
  // window; Wnd3 the other way round.
  s.browser_placement = ReadPlacement(r, "Wnd2PosX", "Wnd2PosY", "Wnd2SizX", "Wnd2SizY");
  s.message_font =
      ReadFont(r, "Wnd2FntNam", "Wnd2FntSiz", "Wnd2FntClrF", "Wnd2FntClrB", s.editor_font);
  s.message_placement = ReadPlacement(r, "Wnd3PosX", "Wnd3PosY", "Wnd3SizX", "Wnd3SizY");
  s.browser_font =
      ReadFont(r, "Wnd3FntNam", "Wnd3FntSiz", "Wnd3FntClrF", "Wnd3FntClrB", s.editor_font);
  s.midi_output = r.String("MidiOutput", s.midi_output);
  s.soundfont = r.String("SoundFont", s.soundfont);
  s.message_docked = r.Integer("MessageDocked", 0) != 0;
  s.line_numbers = r.Integer("LineNumbers", 0) != 0;
  s.recent_files = r.List("RecentFiles").mid(0, kMaxRecentFiles);
  return s;
}

bool SaveSettings(QSettings& store, const Settings& s, QString* error) {
  WriteFont(store, "FontName", "FontSize", "FontColor", "BackColor", s.editor_font);
  store.setValue("IntrIntv", s.interval);
  store.setValue("ShowPanel", s.show_panel ? 1 : 0);
  store.setValue("ShowMessage", s.show_message ? 1 : 0);
  WriteOptional(store, "Wnd1PosX", s.main_placement.x);
  WriteOptional(store, "Wnd1PosY", s.main_placement.y);
  WriteOptional(store, "Wnd1SizX", s.main_placement.width);
  WriteOptional(store, "Wnd1SizY", s.main_placement.height);
  WritePlacement(store, "Wnd2PosX", "Wnd2PosY", "Wnd2SizX", "Wnd2SizY", s.browser_placement);
  WriteFont(store, "Wnd2FntNam", "Wnd2FntSiz", "Wnd2FntClrF", "Wnd2FntClrB", s.message_font);
  WritePlacement(store, "Wnd3PosX", "Wnd3PosY", "Wnd3SizX", "Wnd3SizY", s.message_placement);
  WriteFont(store, "Wnd3FntNam", "Wnd3FntSiz", "Wnd3FntClrF", "Wnd3FntClrB", s.browser_font);
  store.setValue("MidiOutput", s.midi_output);
  store.setValue("SoundFont", s.soundfont);
  store.setValue("MessageDocked", s.message_docked ? 1 : 0);
  store.setValue("LineNumbers", s.line_numbers ? 1 : 0);
  store.setValue("RecentFiles", s.recent_files);
  store.sync();
  if (store.status() != QSettings::NoError) {
    if (error)
      *error = QStringLiteral("the settings could not be written to %1").arg(store.fileName());
    return false;
  }
  return true;
}
