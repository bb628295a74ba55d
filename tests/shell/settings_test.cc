#include "shell/settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A store on an INI file in a fresh temporary folder, never the user's.
class SettingsTest : public ::testing::Test {
 protected:
  // QSettings caches a file by name, size and time: every raw write goes to
  // a file of its own.
  QString Path() const { return dir_.filePath(QString("QuernMIDI%1.conf").arg(generation_)); }
  std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(Path(), QSettings::IniFormat);
  }
  void WriteRaw(const char* text) {
    ++generation_;
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  Settings Load(QStringList* problems = nullptr) {
    auto store = Store();
    return LoadSettings(*store, {}, [&](const QString& line) {
      if (problems) *problems << line;
    });
  }

  QTemporaryDir dir_;
  int generation_ = 0;
};

const char* const kAllNames[] = {
    "FontName",    "FontSize",    "FontColor",   "BackColor",  "IntrIntv",   "ShowPanel",
    "ShowMessage", "Wnd1PosX",    "Wnd1PosY",    "Wnd1SizX",   "Wnd1SizY",   "Wnd2PosX",
    "Wnd2PosY",    "Wnd2SizX",    "Wnd2SizY",    "Wnd2FntNam", "Wnd2FntSiz", "Wnd2FntClrF",
    "Wnd2FntClrB", "Wnd3PosX",    "Wnd3PosY",    "Wnd3SizX",   "Wnd3SizY",   "Wnd3FntNam",
    "Wnd3FntSiz",  "Wnd3FntClrF", "Wnd3FntClrB", "MidiOutput", "SoundFont",  "MessageDocked",
    "LineNumbers", "RecentFiles"};

TEST_F(SettingsTest, FirstRunTakesDefaultsAndCopiesTheEditorFontAsLoaded) {
  QStringList problems;
  FontSetting seen;
  auto store = Store();
  Settings s = LoadSettings(
      *store,
      [&](const FontSetting& wanted) {
        seen = wanted;
        FontSetting loaded = wanted;
        loaded.name = "Noto Sans Mono CJK JP";  // what the editor really got
        return loaded;
      },
      [&](const QString& line) { problems << line; });
  EXPECT_TRUE(problems.isEmpty());
  EXPECT_EQ(seen.name, QString::fromUtf8("ＭＳ ゴシック"));
  EXPECT_EQ(seen.size, 10);
  EXPECT_EQ(seen.color, 0);
  EXPECT_EQ(static_cast<uint32_t>(seen.back_color), 0x80000005u);
  EXPECT_EQ(s.interval, 4);
  EXPECT_TRUE(s.show_panel);
  EXPECT_FALSE(s.show_message);
  EXPECT_EQ(s.main_placement, MainPlacement{});
  EXPECT_EQ(s.browser_placement, (Placement{-1, -1, -1, -1}));
  EXPECT_EQ(s.message_placement, (Placement{-1, -1, -1, -1}));
  FontSetting loaded{"Noto Sans Mono CJK JP", 10, 0, kSystemWindowColour};
  EXPECT_EQ(s.editor_font, loaded);
  EXPECT_EQ(s.message_font, loaded);
  EXPECT_EQ(s.browser_font, loaded);
  EXPECT_EQ(s.midi_output, "synth");
  EXPECT_EQ(s.soundfont, "");
}

TEST_F(SettingsTest, FirstCloseWritesEveryValueAndSecondRunReadsThemBack) {
  Settings first = Load();
  first.main_placement = {10, 20, 517, 578};  // the window's frame at close
  {
    auto store = Store();
    ASSERT_TRUE(SaveSettings(*store, first));
  }
  auto store = Store();
  QStringList keys = store->allKeys();
  keys.sort();
  QStringList want;
  for (const char* name : kAllNames) want << name;
  want.sort();
  EXPECT_EQ(keys, want);
  EXPECT_EQ(store->value("BackColor").toString(), "-2147483643");
  EXPECT_EQ(store->value("Wnd2PosX").toString(), "-1");
  EXPECT_EQ(Load(), first);
}

TEST_F(SettingsTest, RoundTripKeepsTheCrossedPairingOfWnd2AndWnd3) {
  Settings s;
  s.editor_font = {"Editor", 12, 0x00112233, 0x00FFFFFF};
  s.interval = 7;
  s.show_panel = false;
  s.show_message = true;
  s.main_placement = {-8, 0, 800, 600};
  s.browser_placement = {0, 1, 2, 3};
  s.message_font = {"Message, Font", 9, 5, 6};
  s.message_placement = {-1, 0, 300, -1};
  s.browser_font = {QString::fromUtf8("ブラウザ"), 14, 7, 8};
  s.midi_output = "alsa:128:0";
  s.soundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  s.message_docked = true;
  s.line_numbers = true;
  // File names with commas and quotes come back as they were.
  s.recent_files = {"/home/u/a, \"b\".qrn", "/tmp/c.qrn"};
  {
    auto store = Store();
    ASSERT_TRUE(SaveSettings(*store, s));
  }
  EXPECT_EQ(Load(), s);
  auto store = Store();
  // The file browser's placement is Wnd2, its font Wnd3; the message window
  // the other way round.
  EXPECT_EQ(store->value("Wnd2PosY").toInt(), 1);
  EXPECT_EQ(store->value("Wnd2FntNam").toString(), "Message, Font");
  EXPECT_EQ(store->value("Wnd3SizX").toInt(), 300);
  EXPECT_EQ(store->value("Wnd3FntSiz").toInt(), 14);
  EXPECT_EQ(store->value("ShowPanel").toInt(), 0);
  EXPECT_EQ(store->value("ShowMessage").toInt(), 1);
}

TEST_F(SettingsTest, IntervalCountsByItsLow16BitsSigned) {
  WriteRaw("[General]\nIntrIntv=65540\n");
  EXPECT_EQ(Load().interval, 4);
  WriteRaw("[General]\nIntrIntv=65535\n");
  EXPECT_EQ(Load().interval, -1);
  WriteRaw("[General]\nIntrIntv=4294901770\n");  // FFFF000A hex, as an unsigned DWORD
  EXPECT_EQ(Load().interval, 10);
}

TEST_F(SettingsTest, StoredValuesMayBeMissingOneByOne) {
  WriteRaw("[General]\nFontSize=16\nWnd1PosX=-20\nWnd2PosX=0\nBackColor=2147483653\n");
  Settings s = Load();
  EXPECT_EQ(s.editor_font.size, 16);
  EXPECT_EQ(s.message_font.size, 16);  // copied from the editor font as loaded
  EXPECT_EQ(s.editor_font.back_color, kSystemWindowColour);
  EXPECT_EQ(s.main_placement.x, -20);
  EXPECT_EQ(s.main_placement.y, std::nullopt);
  EXPECT_EQ(s.browser_placement, (Placement{0, -1, -1, -1}));
}

TEST_F(SettingsTest, WrongTypesAreReportedAndGetTheirDefaults) {
  WriteRaw(
      "[General]\nFontName=a, b\nFontSize=abc\nIntrIntv=99999999999\nShowPanel=\n"
      "Wnd3FntClrF=0x10\nFontColor=255\n");
  QStringList problems;
  Settings s = Load(&problems);
  EXPECT_EQ(problems.join("\n").toStdString(),
            "settings: the value FontName is not a text; its default is used\n"
            "settings: the value FontSize is not a 32-bit integer; its default is used\n"
            "settings: the value IntrIntv is not a 32-bit integer; its default is used\n"
            "settings: the value ShowPanel is not a 32-bit integer; its default is used\n"
            "settings: the value Wnd3FntClrF is not a 32-bit integer; its default is used");
  EXPECT_EQ(s.editor_font.name, QString::fromUtf8("ＭＳ ゴシック"));
  EXPECT_EQ(s.editor_font.size, 10);
  EXPECT_EQ(s.interval, 4);
  EXPECT_TRUE(s.show_panel);
  EXPECT_EQ(s.browser_font.color, 255);  // the editor's colour as loaded
}

TEST_F(SettingsTest, ProblemsGoToStandardErrorByDefault) {
  WriteRaw("[General]\nFontSize=abc\n");
  auto store = Store();
  ::testing::internal::CaptureStderr();
  Settings s = LoadSettings(*store);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "settings: the value FontSize is not a 32-bit integer; its default is used\n");
  EXPECT_EQ(s.editor_font.size, 10);
}

TEST(SettingsStore, TheUsersStoreIsNamedByOrganisationAndApplication) {
  QTemporaryDir config;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
  auto store = OpenSettingsStore();
  EXPECT_EQ(store->organizationName(), "QuernKASTO");
  EXPECT_EQ(store->applicationName(), "QuernMIDI");
#ifndef _WIN32
  EXPECT_EQ(store->fileName(), config.path() + "/QuernKASTO/QuernMIDI.conf");
#endif
}

TEST(Colours, ExplicitAndSystemColoursSplit) {
  int32_t c = ColourValue(0x11, 0x22, 0x33);
  EXPECT_EQ(c, 0x00332211);
  EXPECT_FALSE(IsSystemColour(c));
  EXPECT_EQ(RedOf(c), 0x11);
  EXPECT_EQ(GreenOf(c), 0x22);
  EXPECT_EQ(BlueOf(c), 0x33);
  EXPECT_TRUE(IsSystemColour(kSystemWindowColour));
  EXPECT_EQ(SystemColourNumber(kSystemWindowColour), 5);
}

}  // namespace
