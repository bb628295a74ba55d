// What the editor's window tests share: dialogs that answer from a script,
// a compiler with scripted results, a recording MIDI output, and a settings
// file in a temporary folder (never the user's).
#ifndef QUERN_TESTS_SHELL_QT_EDITOR_FIXTURE_H_
#define QUERN_TESTS_SHELL_QT_EDITOR_FIXTURE_H_

#include <QDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "player/midi_output.h"
#include "player/player.h"
#include "shell/qt/dialogs.h"
#include "shell/qt/main_window.h"
#include "shell/qt/score_compiler.h"
#include "shell/text_codec.h"

struct FakeDialogs : Dialogs {
  struct Box {
    QString caption, text, detail;
  };
  std::vector<Box> informed;
  std::vector<Box> asked;
  std::deque<Answer> answers;                       // for AskYesNoCancel; empty: Cancel
  std::deque<QString> save_paths;                   // for AskSavePath; empty: cancelled
  std::vector<QString> save_starts;                 // where each Save As dialog started
  std::vector<QString> export_filters;              // the filter of each export dialog
  std::deque<int> line_numbers;                     // for AskLineNumber; empty: cancelled
  std::deque<QString> open_paths;                   // for AskOpenPath; empty: cancelled
  std::vector<std::pair<int, int>> line_questions;  // current and last line of each
  std::deque<std::function<bool(QFont*)>> fonts;
  std::deque<std::function<bool(QColor*)>> colors;
  // Runs while a question is open, as the user takes time to answer.
  std::function<void()> while_asking;
  // Runs a modal dialog: shown, handed to the script, then its result.
  std::function<void(QDialog*)> modal = [](QDialog* dialog) { dialog->reject(); };

  void Inform(QWidget*, const QString& caption, const QString& text) override {
    informed.push_back({caption, text, {}});
  }
  void InformWithDetail(QWidget*, const QString& caption, const QString& text,
                        const QString& detail) override {
    informed.push_back({caption, text, detail});
  }
  Answer AskYesNoCancel(QWidget*, const QString& caption, const QString& text) override {
    asked.push_back({caption, text, {}});
    if (while_asking) while_asking();
    if (answers.empty()) return Answer::kCancel;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString AskSavePath(QWidget*, const QString& start) override {
    save_starts.push_back(start);
    if (save_paths.empty()) return QString();
    QString path = save_paths.front();
    save_paths.pop_front();
    return path;
  }
  QString AskExportPath(QWidget* parent, const QString& start, const QString& filter,
                        const QString&) override {
    export_filters.push_back(filter);
    return AskSavePath(parent, start);
  }
  std::optional<int> AskLineNumber(QWidget*, int current, int last) override {
    line_questions.push_back({current, last});
    if (line_numbers.empty()) return std::nullopt;
    int line = line_numbers.front();
    line_numbers.pop_front();
    return line;
  }
  QString AskOpenPath(QWidget*, const QString&, const QString&) override {
    if (open_paths.empty()) return QString();
    QString path = open_paths.front();
    open_paths.pop_front();
    return path;
  }
  bool AskFont(QWidget*, QFont* font) override {
    if (fonts.empty()) return false;
    auto answer = fonts.front();
    fonts.pop_front();
    return answer(font);
  }
  bool AskColor(QWidget*, QColor* color) override {
    if (colors.empty()) return false;
    auto answer = colors.front();
    colors.pop_front();
    return answer(color);
  }
  int RunModal(QDialog* dialog) override {
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    if (dialog->isVisible()) modal(dialog);
    if (dialog->isVisible()) dialog->reject();
    return dialog->result();
  }
};

// A song of one track: note 60 held for 3000 ticks at resolution 192, so it
// sounds for about half a minute.
inline std::basic_string<uint8_t> LongNoteSong() {
  return {0x00, 0x02, 0xff, 0xfd, 0xc0, 0x00, 0,    0,    0,    0,    0,    0,    0,
          0,    0x07, 0x00, 0x9e, 0xfb, 0xb8, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

// Compiles nothing: each compilation takes the next scripted result (the
// last one repeats) and records the text it was given.
struct FakeCompiler : ScoreCompiler {
  struct Result {
    int severity = 0;
    std::string report;  // Shift-JIS, lines ended by "\n"
    std::basic_string<uint8_t> image = LongNoteSong();
  };
  std::deque<Result> results{Result{}};
  std::vector<std::string> texts;
  Result current;
  bool set_up = false, released = false;

  void SetUp() override { set_up = true; }
  int Compile(const char* text) override {
    texts.emplace_back(text);
    current = results.front();
    if (results.size() > 1) results.pop_front();
    return current.severity;
  }
  std::basic_string_view<uint8_t> Image() override { return current.image; }
  const char* Report() override { return current.report.c_str(); }
  void Release() override { released = true; }
};

// One editor on a temporary settings file and a recording output.
class EditorHarness {
 public:
  // real_compiler: the compile driver itself instead of scripted results.
  // midi_fails: every output but "none" fails to open.
  explicit EditorHarness(QStringList arguments = {}, bool midi_fails = false,
                         bool real_compiler = false)
      : real_compiler_(real_compiler) {
    QStandardPaths::setTestModeEnabled(true);
    settings_path = folder.filePath(QStringLiteral("settings.ini"));
    Start(std::move(arguments), midi_fails);
  }
  ~EditorHarness() { Stop(); }

  void Start(QStringList arguments = {}, bool midi_fails = false) {
    EditorStart start;
    start.arguments = std::move(arguments);
    start.dialogs = &dialogs;
    start.store = std::make_unique<QSettings>(settings_path, QSettings::IniFormat);
    if (!real_compiler_) {
      auto compiler_owned = std::make_unique<FakeCompiler>();
      compiler = compiler_owned.get();
      start.compiler = std::move(compiler_owned);
    }
    start.open_output = [this, midi_fails](const QString& name, const QString& soundfont,
                                           std::string* error) -> std::unique_ptr<MidiOutput> {
      opened.append(name + QLatin1Char('|') + soundfont);
      if (midi_fails && name != QLatin1String("none")) {
        *error = "no device";
        return nullptr;
      }
      auto output = std::make_unique<RecordingOutput>();
      recording = output.get();
      return output;
    };
    start.list_outputs = [] {
      return QStringList{QStringLiteral("synth"), QStringLiteral("alsa:Test Port"),
                         QStringLiteral("none")};
    };
    window = std::make_unique<MainWindow>(std::move(start));
  }

  // Closes the window as the user would (the close query runs).
  bool Close() { return window->close(); }
  void Stop() {
    if (window) window->close();
    window.reset();
    recording = nullptr;
  }
  QString Path(const QString& name) const { return folder.filePath(name); }

  QTemporaryDir folder;
  QString settings_path;
  FakeDialogs dialogs;
  FakeCompiler* compiler = nullptr;
  RecordingOutput* recording = nullptr;
  QStringList opened;
  std::unique_ptr<MainWindow> window;

 private:
  bool real_compiler_ = false;
};

inline QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// UTF-8 text of the tests to the Shift-JIS bytes of files and reports.
inline std::string Sjis(const char* utf8) {
  return EncodeShiftJis(QString::fromUtf8(utf8));
}
inline QByteArray SjisBytes(const char* utf8) {
  return QByteArray::fromStdString(Sjis(utf8));
}

#endif  // QUERN_TESTS_SHELL_QT_EDITOR_FIXTURE_H_
