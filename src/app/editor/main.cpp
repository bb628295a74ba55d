// quern-editor [FILE]: the editor window. FILE, when given, is opened at
// start-up.
#include <QApplication>
#include <QStringList>

#include "shell/qt/main_window.h"
#include "shell/qt/translations.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("QuernMIDI"));
  QApplication::setOrganizationName(QStringLiteral("QuernKASTO"));
  LoadToolkitTranslations(&app);

  EditorStart start;
  start.arguments = QApplication::arguments().mid(1);
  MainWindow window(std::move(start));
  window.show();
  return app.exec();
}
