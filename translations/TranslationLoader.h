#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// The programs speak the desktop's language where a translation exists: the
// first language of the user's list (QLocale's, which follows LANGUAGE, then
// the locale) that has one wins; English, the language of the code, stays
// for everything else. The English file adds only its plural forms ("1
// degree"), so it is always there beneath the others.
class TranslationLoader {
public:
    // Installs the translations on the running application, replacing those
    // an earlier call installed. Returns the language used ("de"), or "en".
    static QString install(const QStringList& uiLanguages = QLocale::system().uiLanguages());
    // The folder in the resources that holds the compiled files.
    static QString folder();
};
