#include "NamedAssets.h"
#include "OndaraVersion.h"
#include "SetupViewController.h"
#include "ipc/OndaraHelperProxy.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondara"));
    QApplication::setApplicationVersion(QStringLiteral(ONDARA_VERSION_TEXT));
    NamedAssets::shared().requireColors();

    OndaraHelperProxy proxy;
    QMainWindow window;
    auto* controller = new SetupViewController(&proxy, &window);
    window.setCentralWidget(controller);
    window.show();
    return app.exec();
}
