// The program's own words in the desktop's language. Menus, help, tooltips,
// messages and the extra windows are written in English in the code and
// translated through Qt's translation files (translations/*.ts); the
// document's captions, the result lines and every number stay as they are.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <string>

namespace tb {

struct Words {
  Q_DECLARE_TR_FUNCTIONS(Words)

public:
  // A text of the core (outcome and verdict names, the fields' meanings,
  // the examples), marked there with TB_WORDS.
  static QString core(const char* text) { return QCoreApplication::translate("threebody", text); }
  // The same for the core's sentences it fills in itself.
  static std::string inLanguage(const char* text) { return core(text).toStdString(); }
};

// Loads the translation for the desktop's language, the program's own and
// the toolkit's (its dialogs' buttons), when there is one. Call once after
// the QApplication is made and before the windows are built; returns the
// language used ("en" when none was found).
QString useDesktopLanguage();

} // namespace tb
