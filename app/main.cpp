// Ondara: the setup application. Before its window opens it puts the agent in
// place and starts it; then the window talks to the agent over the bus.

#include "AlertRulesViewController.h"
#include "AppDelegate.h"
#include "CustomTabView.h"
#include "HelperBanner.h"
#include "HelperDiagnostics.h"
#include "HelperInstallation.h"
#include "HelperStarter.h"
#include "HistoryViewController.h"
#include "NamedAssets.h"
#include "OndaraVersion.h"
#include "SetupViewController.h"
#include "SetupWindow.h"
#include "SingleInstance.h"
#include "TranslationLoader.h"
#include "UpdateViewController.h"
#include "WebAddresses.h"
#include "WindowScreenshot.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHelperProxy.h"
#include "ipc/OndaraHistoryProxy.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace {

// How long a picture of the update window waits for its check; the check
// itself gives up earlier.
constexpr int dialogScreenshotLimitMs = 30000;
// How long --diagnostics waits for the window's first word from the agent
// after the start was checked: longer than two unanswered refreshes.
constexpr int diagnosticsVerdictLimitMs = 15000;

// What a picture of the history window shows.
struct HistoryPicture {
    QString series;
    int range = 1;
};

// Draws one of the small windows into a PNG once it shows what it is for.
int renderDialog(QApplication& app, AppDelegate& delegate, const QString& name, const QString& file,
                 const HistoryPicture& picture) {
    std::unique_ptr<QWidget> dialog(delegate.createDialog(name));
    if (!dialog) {
        std::fprintf(stderr, "Ondara: --dialog takes one of %s\n",
                     qPrintable(AppDelegate::dialogNames().join(QStringLiteral(", "))));
        return 2;
    }
    auto* history = qobject_cast<HistoryViewController*>(dialog.get());
    if (history) {
        history->setRange(picture.range);
        history->showSeries(picture.series);
    }
    dialog->show();
    QWidget* shown = dialog.get();
    const auto save = [&app, shown, file] {
        const bool saved = shown->grab().save(file, "PNG");
        if (!saved) {
            std::fprintf(stderr, "Ondara: cannot write %s\n", qPrintable(file));
        }
        app.exit(saved ? 0 : 1);
    };
    if (auto* updater = qobject_cast<UpdateViewController*>(shown)) {
        QObject::connect(updater, &UpdateViewController::checkFinished, &app,
                         [save] { QTimer::singleShot(0, save); });
        QTimer::singleShot(dialogScreenshotLimitMs, &app, save);
    } else if (history) {
        // Once the chart shows the history, not the moment before.
        QObject::connect(history, &HistoryViewController::historyShown, &app,
                         [save] { QTimer::singleShot(0, save); });
        QTimer::singleShot(dialogScreenshotLimitMs, &app, save);
    } else if (auto* rules = qobject_cast<AlertRulesViewController*>(shown)) {
        QObject::connect(rules, &AlertRulesViewController::rulesShown, &app,
                         [save] { QTimer::singleShot(0, save); });
        QTimer::singleShot(dialogScreenshotLimitMs, &app, save);
    } else {
        QTimer::singleShot(0, &app, save);
    }
    return app.exec();
}

void showMoveWarning() {
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Ondara"),
                      QCoreApplication::translate("main", "Move to Applications Folder"));
    alert.setInformativeText(QCoreApplication::translate(
        "main", "Please move this app to the Applications folder and try again."));
    alert.addButton(QCoreApplication::translate("main", "Ok"), QMessageBox::AcceptRole);
    alert.exec();
}

// Waits for the start's check, then for the window's first word from the agent
// (readings shown, or the banner saying why not), prints the diagnostics and
// ends.
int printDiagnostics(QApplication& app, const HelperDiagnostics& diagnostics,
                     const HelperPresence& presence, SetupViewController* controller,
                     bool startIsChecked) {
    bool printed = false;
    const auto print = [&app, &diagnostics, &printed] {
        if (printed) {
            return;
        }
        printed = true;
        std::fputs(qPrintable(diagnostics.text()), stdout);
        std::fflush(stdout);
        app.exit(0);
    };
    const auto awaitVerdict = [&app, &presence, controller, print] {
        if (!presence.isConnected()) {
            print();
            return;
        }
        QObject::connect(controller, &SetupViewController::readingsShown, &app, print);
        QObject::connect(&presence, &HelperPresence::stateChanged, &app, print);
        QTimer::singleShot(diagnosticsVerdictLimitMs, &app, print);
    };
    if (startIsChecked && !diagnostics.startChecked()) {
        QObject::connect(&diagnostics, &HelperDiagnostics::startCheckFinished, &app, awaitVerdict);
    } else {
        QTimer::singleShot(0, &app, awaitVerdict);
    }
    return app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Pictures and the diagnostics are made offscreen unless a platform was asked for.
    for (int i = 1; i < argc; ++i) {
        if ((qstrcmp(argv[i], "--screenshot") == 0 || qstrcmp(argv[i], "--diagnostics") == 0) &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondara"));
    QApplication::setApplicationVersion(QStringLiteral(ONDARA_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("com.quillbank.Ondara"));
    TranslationLoader::install();
    QApplication::setWindowIcon(NamedAssets::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Shows the machine's sensors and chooses what the Ondara widget shows."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QCoreApplication::translate("main",
                                    "Draw the window offscreen into FILE (PNG) once the first "
                                    "readings have arrived, then quit."),
        QStringLiteral("FILE"));
    const QCommandLineOption tabOption(
        QStringLiteral("tab"),
        QCoreApplication::translate("main", "Open on the panel TAB: Temps, Fans or Mem."),
        QStringLiteral("TAB"));
    const QCommandLineOption dialogOption(
        QStringLiteral("dialog"),
        QCoreApplication::translate("main",
                                    "With --screenshot: draw the window NAME instead: about, info, "
                                    "license, updater (once its check ended), history or alerts "
                                    "(once the agent answered)."),
        QStringLiteral("NAME"));
    const QCommandLineOption seriesOption(
        QStringLiteral("series"),
        QCoreApplication::translate("main",
                                    "With --dialog history: the reading to show, as the agent "
                                    "names it (\"temp:TC0D\"); the first temperature by default."),
        QStringLiteral("SERIES"));
    const QCommandLineOption rangeOption(
        QStringLiteral("range"),
        QCoreApplication::translate(
            "main", "With --dialog history: the time shown, 15m, 1h (the default), 6h or 1d."),
        QStringLiteral("RANGE"));
    const QCommandLineOption darkOption(QStringLiteral("dark"),
                                        QCoreApplication::translate("main", "Use a dark palette."));
    const QCommandLineOption diagnosticsOption(
        QStringLiteral("diagnostics"),
        QCoreApplication::translate(
            "main", "Start as usual, then print what Help > Copy Diagnostics copies once the "
                    "sensor service's start was checked and the window heard from it (or says "
                    "why not), and quit."));
    parser.addOptions({screenshotOption, tabOption, dialogOption, seriesOption, rangeOption,
                       darkOption, diagnosticsOption});
    parser.addPositionalArgument(
        QStringLiteral("url"), QCoreApplication::translate("main", "An ondara:// address to open."),
        QStringLiteral("[url]"));
    parser.process(app);
    const bool screenshot = parser.isSet(screenshotOption);
    const bool diagnosticsOnly = parser.isSet(diagnosticsOption) && !screenshot;
    // Nobody is in front of the window: nothing may wait for a click.
    const bool unattended = screenshot || diagnosticsOnly;
    const QString url = parser.positionalArguments().value(0);
    if (!url.isEmpty() && QUrl(url).scheme() != QLatin1StringView("ondara")) {
        std::fprintf(stderr, "Ondara: only ondara:// addresses can be opened, not %s\n",
                     qPrintable(url));
    }

    if (const QString problem = NamedAssets::shared().problemWith(); !problem.isEmpty()) {
        qFatal("%s", qPrintable(problem));
    }
    if (parser.isSet(darkOption)) {
        QApplication::setPalette(NamedAssets::darkPalette());
    }

    const WebAddresses addresses;
    AppDelegate delegate(addresses.supportPage(), addresses.donatePage(), desktopUrlOpener());
    // The history and its alert rules are asked of whichever agent serves the session.
    OndaraHelperProxy historyNames;
    OndaraHistoryProxy history;
    delegate.setHistorySources(&historyNames, &history);
    if (parser.isSet(dialogOption)) {
        if (!screenshot) {
            std::fputs("Ondara: --dialog goes with --screenshot FILE\n", stderr);
            return 2;
        }
        HistoryPicture picture{parser.value(seriesOption), 1};
        if (parser.isSet(rangeOption)) {
            picture.range = int(QStringList{QStringLiteral("15m"), QStringLiteral("1h"),
                                            QStringLiteral("6h"), QStringLiteral("1d")}
                                    .indexOf(parser.value(rangeOption)));
            if (picture.range < 0) {
                std::fputs("Ondara: --range takes 15m, 1h, 6h or 1d\n", stderr);
                return 2;
            }
        }
        return renderDialog(app, delegate, parser.value(dialogOption),
                            parser.value(screenshotOption), picture);
    }

    SingleInstance instance;
    if (!unattended && !instance.claim()) {
        // Another window of ours is open in this session: it comes forward.
        return instance.activateRunning(url) ? 0 : 1;
    }

    HelperInstallation::Environment surroundings = HelperInstallation::Environment::standard();
    surroundings.fatalStop = [](const char* message) { qFatal("%s", message); };
    HelperInstallation installation(std::move(surroundings));
    std::unique_ptr<OndaraHelperProxy> uninstalledProxy;
    OndaraHelperProtocol* helper = nullptr;
    // A developer's build run where it was built installs nothing: it talks to
    // the agent that serves the session.
    const bool inBuildFolder = QApplication::applicationDirPath() ==
                               QFileInfo(QStringLiteral(ONDARA_BUILD_BIN_DIR)).canonicalFilePath();
    if (inBuildFolder) {
        qInfo().noquote() << "Running from the build folder: nothing is installed; using the "
                             "agent that serves this session.";
    } else if (installation.run()) {
        helper = installation.helper();
        qInfo().noquote() << installation.debugText().trimmed();
    } else if (!unattended) {
        showMoveWarning();
        return 0;
    }
    if (!helper) {
        // Also a picture of a copy that was never installed, or a start whose
        // connection failed: draw what the agent serving this session shows.
        uninstalledProxy = std::make_unique<OndaraHelperProxy>();
        uninstalledProxy->sendRefreshesDirectly();
        helper = uninstalledProxy.get();
    }

    auto* controller = new SetupViewController(helper);
    SetupWindow window(controller);
    HelperPresence presence;
    controller->follow(&presence);
    HelperStarter starter(&presence, installation.launchctlProgram(),
                          installation.installedPlist());
    // A picture or a developer's build starts nothing behind the user's back.
    starter.setRestartsVanishedAgent(!unattended && !inBuildFolder);
    QObject::connect(controller->helperBanner(), &HelperBanner::startRequested, &starter,
                     &HelperStarter::start);
    QObject::connect(controller->helperBanner(), &HelperBanner::demoRequested, &starter,
                     &HelperStarter::startDemo);
    HelperDiagnostics diagnostics(&presence, &starter, controller->helperBanner(),
                                  [&installation] { return installation.debugText(); });
    const bool startIsChecked = !inBuildFolder && installation.helper();
    if (startIsChecked) {
        starter.awaitArrival();
    }
    delegate.installMenus(&window, [&diagnostics] { return diagnostics.text(); });
    QObject::connect(controller, &SetupViewController::updaterRequested, &delegate,
                     &AppDelegate::showUpdater);
    QObject::connect(controller, &SetupViewController::historyRequested, &delegate,
                     &AppDelegate::showHistory);
    QObject::connect(controller, &SetupViewController::alertRulesRequested, &delegate,
                     &AppDelegate::showAlertRules);
    delegate.setCurrentSeries([controller] { return controller->currentSeries(); });
    QObject::connect(&instance, &SingleInstance::activated, &delegate, &AppDelegate::bringForward);

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
    if (diagnosticsOnly) {
        return printDiagnostics(app, diagnostics, presence, controller, startIsChecked);
    }
    if (!screenshot) {
        return app.exec();
    }
    int status = 0;
    WindowScreenshot picture(&window, controller, parser.value(screenshotOption));
    QObject::connect(&picture, &WindowScreenshot::finished, &app, [&status](bool saved) {
        status = saved ? 0 : 1;
        if (!saved) {
            std::fprintf(stderr, "Ondara: cannot write the picture\n");
        }
        QApplication::quit();
    });
    picture.start();
    app.exec();
    return status;
}
