#pragma once

#include <QString>
#include <QStringList>

class QUrl;

// How the widget brings up the application. The desktop opens "ondara://"
// through the handler an installed desktop entry registers; where none is
// registered (a build tree, a desktop without the entry) the program is
// started directly.
class ApplicationOpener {
public:
    // Whether a desktop entry in these folders handles URLs of the scheme.
    static bool hasSchemeHandler(const QString& scheme, const QStringList& applicationFolders);
    // Opens the URL when a handler is registered for its scheme.
    static bool openUrl(const QUrl& url);
    // The application next to this program, else the installed one; empty
    // when neither is there.
    static QString applicationProgram();
    static bool startApplication();
};
