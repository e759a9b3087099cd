#include "CustomTabView.h"
#include "HelperPresenceWatcher.h"
#include "NamedAssets.h"
#include "OndaraVersion.h"
#include "SetupViewController.h"
#include "WindowScreenshot.h"
#include "ipc/OndaraHelperProxy.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMainWindow>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Pictures are drawn offscreen unless a platform was asked for.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--screenshot") == 0 &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondara"));
    QApplication::setApplicationVersion(QStringLiteral(ONDARA_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the machine's sensors and chooses what the Ondara widget shows."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Draw the window offscreen into FILE (PNG) once the first readings have "
                       "arrived, then quit."),
        QStringLiteral("FILE"));
    const QCommandLineOption tabOption(QStringLiteral("tab"),
                                       QStringLiteral("Open on the panel TAB: Temps, Fans or Mem."),
                                       QStringLiteral("TAB"));
    const QCommandLineOption darkOption(QStringLiteral("dark"),
                                        QStringLiteral("Use a dark palette."));
    parser.addOptions({screenshotOption, tabOption, darkOption});
    parser.process(app);

    NamedAssets::shared().requireColors();
    if (parser.isSet(darkOption)) {
        QApplication::setPalette(NamedAssets::darkPalette());
    }

    OndaraHelperProxy proxy;
    QMainWindow window;
    auto* controller = new SetupViewController(&proxy, &window);
    window.setCentralWidget(controller);
    HelperPresenceWatcher watcher;
    QObject::connect(&watcher, &HelperPresenceWatcher::helperAppeared, controller,
                     &SetupViewController::requestSensorDictionaries);

    if (parser.isSet(tabOption)) {
        QTabWidget* tabs = controller->mainTabView();
        int index = -1;
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->property("identifier").toString() == parser.value(tabOption)) {
                index = i;
            }
        }
        if (index < 0) {
            std::fprintf(stderr, "Ondara: --tab takes Temps, Fans or Mem\n");
            return 2;
        }
        tabs->setCurrentIndex(index);
    }
    window.show();
    if (!parser.isSet(screenshotOption)) {
        return app.exec();
    }
    int status = 0;
    WindowScreenshot screenshot(&window, controller, parser.value(screenshotOption));
    QObject::connect(&screenshot, &WindowScreenshot::finished, &app, [&status](bool saved) {
        status = saved ? 0 : 1;
        if (!saved) {
            std::fprintf(stderr, "Ondara: cannot write the picture\n");
        }
        QApplication::quit();
    });
    screenshot.start();
    app.exec();
    return status;
}
