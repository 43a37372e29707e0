#include "core/ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace mv {

bool LoadGermanTranslations()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *t = new QTranslator(QCoreApplication::instance());
    // qtbase_de covers the widgets; the "qt_de" meta file would pull in
    // modules the program does not use.
    if (!t->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    installed = t;
    return true;
}

} // namespace mv
