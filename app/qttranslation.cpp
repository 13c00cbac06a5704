#include "app/qttranslation.h"

#include <QCoreApplication>
#include <QTranslator>

QTranslator *installQtChineseTranslation(const QString &directory)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), directory) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}
