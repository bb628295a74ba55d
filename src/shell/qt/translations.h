// The toolkit's own texts (the buttons of message boxes and of the file,
// font and colour dialogs) in Japanese, to match the application's texts.
//
// In: the application. Out: a translator installed on it, when Qt's
// Japanese translations (Debian's qt6-translations-l10n) are installed.
// What can go wrong: they are missing; the toolkit's texts then stay in
// English, and false says so.
#ifndef QUERN_SHELL_QT_TRANSLATIONS_H_
#define QUERN_SHELL_QT_TRANSLATIONS_H_

class QCoreApplication;

bool LoadToolkitTranslations(QCoreApplication* application);

#endif  // QUERN_SHELL_QT_TRANSLATIONS_H_
