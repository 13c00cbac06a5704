#ifndef CIPHERBENCH_APP_QTTRANSLATION_H
#define CIPHERBENCH_APP_QTTRANSLATION_H

#include <QLibraryInfo>
#include <QString>

class QTranslator;

// Qt's own texts (the file dialog, the text boxes' context menus, the
// standard buttons of message boxes) in Chinese like the rest of the window,
// whatever the system locale: loads qtbase_zh_CN from `directory` and
// installs it. The program's own texts have no translation and stay as
// written. Returns the translator, a child of the application object, or
// nullptr, without a word, when the file is not there.
QTranslator *installQtChineseTranslation(
    const QString &directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

#endif
