#include "app/QtTranslations.h"

#include "i18n/uIdiomes.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

bool loadQtTranslations(int32_t language) {
    static std::unique_ptr<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    QString locale;
    if (language == langSpanish)
        locale = QStringLiteral("es");
    else if (language == langCatalan)
        locale = QStringLiteral("ca");
    else
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}
