#include "shell/qt/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool LoadToolkitTranslations(QCoreApplication* application) {
  // Always Japanese, whatever the system's language: every text of our own
  // is Japanese, and the boxes name their buttons ("[いいえ]").
  auto* translator = new QTranslator(application);
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
