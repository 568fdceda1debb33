#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace korvex {

QTranslator* loadQtTranslations(QCoreApplication& app, const QString& folder) {
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto* translator = new QTranslator(&app);
    // qtbase holds the standard buttons; "qt_ru" would pull in every module's file.
    if (!translator->load(QStringLiteral("qtbase_ru"), where)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

}  // namespace korvex
