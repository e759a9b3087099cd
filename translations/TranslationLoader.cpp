#include "TranslationLoader.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

const QString kName = QStringLiteral("ondara");
// Marks the translators this class installed, so a later call replaces them.
const char* const kInstalledBy = "ondaraTranslation";

QTranslator* installed(QTranslator* translator) {
    translator->setProperty(kInstalledBy, true);
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace

QString TranslationLoader::folder() {
    return QStringLiteral(":/ondara/translations");
}

QString TranslationLoader::install(const QStringList& uiLanguages) {
    QCoreApplication* application = QCoreApplication::instance();
    for (QTranslator* old : application->findChildren<QTranslator*>()) {
        if (old->property(kInstalledBy).toBool()) {
            QCoreApplication::removeTranslator(old);
            delete old;
        }
    }
    auto* english = new QTranslator(application);
    if (english->load(kName + QStringLiteral("_en"), folder())) {
        installed(english);
    } else {
        delete english;
    }
    for (const QString& language : uiLanguages) {
        const QLocale locale(language);
        if (locale.language() == QLocale::English || locale.language() == QLocale::C) {
            break;
        }
        auto* translator = new QTranslator(application);
        if (!translator->load(locale, kName, QStringLiteral("_"), folder())) {
            delete translator;
            continue;
        }
        // Qt's own texts (a text field's menu, standard buttons) follow where
        // the system has them.
        auto* qt = new QTranslator(application);
        if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            installed(qt);
        } else {
            delete qt;
        }
        installed(translator);
        return translator->language().section(QLatin1Char('_'), 0, 0);
    }
    return QStringLiteral("en");
}
