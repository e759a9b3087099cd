// OndaraWidget: the chosen readings in a small window of their own.
//
//   OndaraWidget [--hidden] [--screenshot FILE [--tab TempsTab|FansTab|MemTab]] [--dark]

#include "NamedAssets.h"
#include "TodayViewController.h"
#include "TranslationLoader.h"
#include "WidgetSession.h"
#include "WidgetTabView.h"
#include "WidgetTabViewItem.h"
#include "WidgetWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

namespace {

// How long a screenshot waits for the first readings, and then for the
// gauges to finish moving.
constexpr int kReadingsWaitMilliseconds = 10000;
constexpr int kSettleMilliseconds = 1200;

bool wantsScreenshot(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--screenshot") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const bool screenshot = wantsScreenshot(argc, argv);
    if (screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OndaraWidget"));
    // The installed menu entry's name: under Wayland it is the window's
    // app_id, by which docks find the icon and compositors' rules the window.
    QApplication::setDesktopFileName(QStringLiteral("com.quillbank.OndaraWidget"));
    QApplication::setQuitOnLastWindowClosed(false);
    TranslationLoader::install();
    QApplication::setWindowIcon(NamedAssets::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "The chosen readings of Ondara at hand."));
    parser.addHelpOption();
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QCoreApplication::translate(
            "main", "Render the widget to a PNG once the readings are in, then exit."),
        QStringLiteral("FILE"));
    const QCommandLineOption tabOption(
        QStringLiteral("tab"), QCoreApplication::translate("main", "The tab the screenshot shows."),
        QStringLiteral("TempsTab|FansTab|MemTab"));
    const QCommandLineOption darkOption(
        QStringLiteral("dark"), QCoreApplication::translate("main", "Paint with a dark palette."));
    const QCommandLineOption hiddenOption(
        QStringLiteral("hidden"),
        QCoreApplication::translate(
            "main", "Start with the widget hidden; the readout in the panel stays."));
    parser.addOptions({screenshotOption, tabOption, darkOption, hiddenOption});
    parser.process(app);
    const QString tab = parser.value(tabOption);
    if (!tab.isEmpty() && tab != QLatin1String("TempsTab") && tab != QLatin1String("FansTab") &&
        tab != QLatin1String("MemTab")) {
        std::fprintf(stderr, "Unknown tab: %s\n", qPrintable(tab));
        return 2;
    }

    if (const QString problem = NamedAssets::shared().problemWith(); !problem.isEmpty()) {
        qFatal("%s", qPrintable(problem));
    }
    if (parser.isSet(darkOption)) {
        QApplication::setPalette(NamedAssets::darkPalette());
    }

    WidgetSession session;
    WidgetWindow* window = session.window();
    TodayViewController* controller = session.controller();
    if (!screenshot) {
        session.addPanelReadout();
        if (!parser.isSet(hiddenOption)) {
            window->show();
        }
        return QApplication::exec();
    }

    // A picture must not change what the user selected last.
    controller->setRemembersSelectedTab(false);
    const QString file = parser.value(screenshotOption);
    int status = 0;
    const auto shoot = [&] {
        const QPixmap picture = window->grab();
        if (!picture.save(file, "PNG")) {
            std::fprintf(stderr, "Could not write %s\n", qPrintable(file));
            status = 1;
        }
        QApplication::quit();
    };
    auto* settle = new QTimer(&app);
    settle->setSingleShot(true);
    settle->setInterval(kSettleMilliseconds);
    QObject::connect(settle, &QTimer::timeout, &app, shoot);
    QObject::connect(controller, &TodayViewController::readingsShown, &app,
                     [&](const QString& shown) {
                         const WidgetTabViewItem* selected = controller->tabView()->selectedItem();
                         if (selected != nullptr && selected->identifier() == shown &&
                             controller->hasLaidOut(shown) && !settle->isActive()) {
                             settle->start();
                         }
                     });
    QTimer::singleShot(kReadingsWaitMilliseconds, &app, shoot);
    window->show();
    for (WidgetTabViewItem* item : controller->allTabs()) {
        if (item->identifier() == tab) {
            controller->tabView()->selectItem(item);
        }
    }
    QApplication::exec();
    return status;
}
