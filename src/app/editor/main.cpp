// quern-editor [FILE]: the editor window. FILE, when given, is opened at
// start-up. --help and --version answer on standard output before any
// window system is needed; an unknown option is one line on standard error
// and exit status 2.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include "shell/qt/main_window.h"

namespace {

constexpr const char* kHelp =
    "usage: quern-editor [SCORE.qrn]\n"
    "       quern-editor --help | --version\n\n"
    "Write, compile and play Quern MIDI scores. SCORE.qrn, when given, is opened\n"
    "at start-up. F12 compiles and plays; F5 saves, compiles and plays; F1 opens\n"
    "the score file browser; F2 saves; Esc stops.\n\n"
    "Options:\n"
    "  -h, --help      print this help\n"
    "  -v, --version   print the version\n"
    "The options of the Qt toolkit work too, for instance -platform NAME.\n\n"
    "Settings: ~/.config/QuernKASTO/QuernMIDI.conf\n";

// The application's own icon at every size it ships, for all its windows.
QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/quern-midi-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

bool HasArgument(int argc, char** argv, const char* a, const char* b) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], a) == 0 || std::strcmp(argv[i], b) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (HasArgument(argc, argv, "--help", "-h")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (HasArgument(argc, argv, "--version", "-v")) {
    std::printf("quern-editor (Quern MIDI) %s\n", QUERN_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("QuernMIDI"));
  QApplication::setOrganizationName(QStringLiteral("QuernKASTO"));
  QApplication::setApplicationVersion(QStringLiteral(QUERN_VERSION));
  QApplication::setWindowIcon(ApplicationIcon());

  // Qt has taken its own options out of the arguments by now.
  QCommandLineParser parser;
  if (!parser.parse(QApplication::arguments())) {
    std::fprintf(stderr, "quern-editor: %s (see 'quern-editor --help')\n",
                 qPrintable(parser.errorText()));
    return 2;
  }
  EditorStart start;
  start.arguments = parser.positionalArguments();
  MainWindow window(std::move(start));
  window.show();
  return app.exec();
}
