// The translations: the program's own, built into it, and the toolkit's
// from the system.
#include "forms/qt/words.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tb {

QString useDesktopLanguage() {
  // The desktop's language, as LANGUAGE, LC_ALL, LC_MESSAGES and LANG say it.
  const QLocale desktop = QLocale::system();
  static QTranslator own, toolkit;
  if (!own.load(desktop, "threebody", "_", ":/i18n")) return "en";
  QCoreApplication::installTranslator(&own);
  if (toolkit.load(desktop, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&toolkit);
  return QLocale::languageToCode(desktop.language());
}

} // namespace tb
