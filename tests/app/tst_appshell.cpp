#include "AboutViewController.h"
#include "AppDelegate.h"
#include "InfoViewController.h"
#include "LicenseViewController.h"
#include "SingleInstance.h"
#include "WebAddresses.h"
#include "ui_AboutViewController.h"
#include "ui_InfoViewController.h"
#include "ui_LicenseViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QMainWindow>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

namespace {

const QUrl support(QStringLiteral("https://example.invalid/ondara/support.php"));
const QUrl donate(QStringLiteral("https://donate.example.invalid/"));

QStringList actionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts.append(action->text().remove(QLatin1Char('&')));
        }
    }
    return texts;
}

QAction* action(const QMenuBar* bar, const QString& text) {
    for (QAction* menu : bar->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->text().remove(QLatin1Char('&')) == text) {
                return item;
            }
        }
    }
    return nullptr;
}

} // namespace

class TestAppShell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionLabels_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("label");
        QTest::newRow("whole number") << "3"
                                      << "version 3.00";
        QTest::newRow("two decimals") << "2.15"
                                      << "version 2.15";
        QTest::newRow("one decimal") << "2.1"
                                     << "version 2.10";
        QTest::newRow("not a number keeps the designed text") << "dev"
                                                              << "version";
    }

    void versionLabels() {
        QFETCH(QString, version);
        QFETCH(QString, label);
        AboutViewController about(version);
        QCOMPARE(about.outlets().versionLabel->text(), label);
        // The application's own icon above its name, and as the window's.
        QCOMPARE(about.outlets().iconLabel->pixmap().deviceIndependentSize().toSize(),
                 QSize(AboutViewController::kIconSize, AboutViewController::kIconSize));
        QVERIFY(!about.windowIcon().isNull());
        InfoViewController info(version, support, donate, [](const QUrl&) {});
        QCOMPARE(info.outlets().versionLabel->text(), label);
    }

    void termsNameTheProduct() {
        LicenseViewController license;
        QCOMPARE(license.outlets().licenseTextView->toPlainText(),
                 LicenseViewController::termsText());
        QVERIFY(LicenseViewController::termsText().startsWith(QStringLiteral("Ondara ")));
        QVERIFY(LicenseViewController::termsText().contains(QStringLiteral("warranty")));
    }

    void pagesOpenOverHttps() {
        QList<QUrl> opened;
        InfoViewController info(QStringLiteral("1.0"), support, donate,
                                [&](const QUrl& url) { opened.append(url); });
        QTest::mouseClick(info.outlets().supportButton, Qt::LeftButton);
        QTest::mouseClick(info.outlets().donateButton, Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{support, donate}));

        const WebAddresses builtIn{QProcessEnvironment()};
        for (const QUrl& page : {builtIn.supportPage(), builtIn.downloadPage(),
                                 builtIn.updateFile(), builtIn.donatePage()}) {
            QCOMPARE(page.scheme(), QStringLiteral("https"));
        }
        QCOMPARE(builtIn.supportPage().path(), QStringLiteral("/ondara/support.php"));
    }

    void menus() {
        QList<QUrl> opened;
        AppDelegate delegate(support, donate, [&](const QUrl& url) { opened.append(url); });
        QMainWindow window;
        delegate.installMenus(&window, [] { return QStringLiteral("Debug Info:\nlines\n"); });
        const QList<QAction*> menus = window.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(actionTexts(menus[0]->menu()),
                 (QStringList{"About Ondara", "Info", "Check for Updates…", "Quit"}));
        QCOMPARE(actionTexts(menus[1]->menu()), (QStringList{"History…", "Alert Rules…"}));
        QCOMPARE(action(window.menuBar(), QStringLiteral("History…"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_H));
        QCOMPARE(actionTexts(menus[2]->menu()),
                 (QStringList{"Support", "Donate", "Copy Diagnostics"}));

        action(window.menuBar(), QStringLiteral("Support"))->trigger();
        action(window.menuBar(), QStringLiteral("Donate"))->trigger();
        QCOMPARE(opened, (QList<QUrl>{support, donate}));
        action(window.menuBar(), QStringLiteral("Copy Diagnostics"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Debug Info:\nlines\n"));

        // Asking twice shows the one About window.
        action(window.menuBar(), QStringLiteral("About Ondara"))->trigger();
        action(window.menuBar(), QStringLiteral("About Ondara"))->trigger();
        QCOMPARE(window.findChildren<AboutViewController*>().size(), 1);
        QTRY_VERIFY(window.findChild<AboutViewController*>()->isVisible());
    }

    void secondStartBringsTheFirstForward() {
        SingleInstance first;
        QVERIFY(first.claim());
        QSignalSpy activated(&first, &SingleInstance::activated);

        QDBusConnection otherBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                                 QStringLiteral("second start"));
        SingleInstance second(otherBus);
        QVERIFY(!second.claim());
        QVERIFY(second.activateRunning(QStringLiteral("ondara://open")));
        QTRY_COMPARE(activated.size(), 1);
        QCOMPARE(activated.first().first().toString(), QStringLiteral("ondara://open"));
        QDBusConnection::disconnectFromBus(QStringLiteral("second start"));
    }
};

QTEST_MAIN(TestAppShell)
#include "tst_appshell.moc"
