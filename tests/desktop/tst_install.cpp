// The install path as a user meets it: everything installed into a temporary
// prefix, the desktop's own validators run on what was installed, the
// installed agent answering the installed client, and the uninstall script
// leaving nothing of ours behind but the settings.

#include "InstallFixture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

const QString agentLabel = QStringLiteral("com.quillbank.OndaraHelper");
const QString suiteFile = QStringLiteral("K4TZ8WQ1RM.group.com.quillbank.Ondara.plist");

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The value of a key of a desktop entry's main group.
QString entryValue(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    const QString group =
        text.section(QStringLiteral("[Desktop Entry]\n"), 1).section(QLatin1Char('['), 0, 0);
    for (const QString& line : group.split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('='))) {
            return line.mid(key.size() + 1);
        }
    }
    return {};
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    InstallFixture user;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(user.prepare());
        const ProcessOutcome installed = user.install();
        QVERIFY2(installed.ok(), installed.describe());
    }

    void installsWhatTheDesktopLooksFor_data() {
        QTest::addColumn<QString>("path");
        for (const char* path :
             {"bin/OndaraHelper", "bin/ondara-cli", "libexec/ondara/ondara-cli-full",
              "libexec/ondara/ondara-smart-reader",
              "share/man/man1/ondara-cli.1", "share/man/man1/OndaraHelper.1",
              "share/man/man8/ondara-smart-reader.8"}) {
            QTest::newRow(path) << QString::fromLatin1(path);
        }
        if (ONDARA_HAS_APP) {
            for (const char* path :
                 {"bin/Ondara", "share/applications/com.quillbank.Ondara.desktop",
                  "share/metainfo/com.quillbank.Ondara.metainfo.xml",
                  "share/icons/hicolor/scalable/apps/com.quillbank.Ondara.svg",
                  "share/icons/hicolor/16x16/apps/com.quillbank.Ondara.png",
                  "share/icons/hicolor/256x256/apps/com.quillbank.Ondara.png"}) {
                QTest::newRow(path) << QString::fromLatin1(path);
            }
        }
        if (ONDARA_HAS_WIDGET) {
            for (const char* path :
                 {"bin/OndaraWidget", "share/applications/com.quillbank.OndaraWidget.desktop",
                  "share/ondara/autostart/com.quillbank.OndaraWidget.desktop"}) {
                QTest::newRow(path) << QString::fromLatin1(path);
            }
        }
    }
    void installsWhatTheDesktopLooksFor() {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo::exists(user.prefix() + QLatin1Char('/') + path), qPrintable(path));
    }

    // The tools distributions run on desktop data; each one that is missing
    // here is skipped (CI installs them all).
    void passesTheDesktopValidators_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("quiet");
        const QStringList groff{QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"),
                                QStringLiteral("-t"), QStringLiteral("-Tutf8")};
        QTest::newRow("manual pages") << "groff" << groff << "share/man/man1/*.1" << true;
        QTest::newRow("administrator's manual pages")
            << "groff" << groff << "share/man/man8/*.8" << true;
        QTest::newRow("menu entries")
            << "desktop-file-validate" << QStringList() << "share/applications/*.desktop" << true;
        QTest::newRow("login entry") << "desktop-file-validate" << QStringList()
                                     << "share/ondara/autostart/*.desktop" << true;
        QTest::newRow("AppStream")
            << "appstreamcli" << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net")}
            << "share/metainfo/*.xml" << false;
    }
    void passesTheDesktopValidators() {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, pattern);
        QFETCH(bool, quiet);
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) {
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));
        }
        const QFileInfo where(user.prefix() + QLatin1Char('/') + pattern);
        const QStringList files = QDir(where.path()).entryList({where.fileName()}, QDir::Files);
        if (files.isEmpty()) {
            QSKIP("nothing of this kind is built");
        }
        for (const QString& file : files) {
            const ProcessOutcome outcome =
                user.run(program, arguments + QStringList{where.path() + QLatin1Char('/') + file});
            QVERIFY2(outcome.ok(), qPrintable(file + QLatin1Char(' ') + outcome.out + outcome.err));
            // Warnings count as failures where a tool exits 0 despite them.
            if (quiet) {
                QVERIFY2(outcome.out.trimmed().isEmpty() && outcome.err.trimmed().isEmpty(),
                         qPrintable(file + QLatin1Char(' ') + outcome.out + outcome.err));
            }
        }
    }

    // A menu entry must start the program installed beside it, wherever the
    // prefix is, and the application's entry must take ondara:// links.
    void entriesStartTheInstalledPrograms() {
        const QString folder = user.prefix() + QStringLiteral("/share/applications");
        const QStringList entries = QDir(folder).entryList({QStringLiteral("*.desktop")});
        if (entries.isEmpty()) {
            QSKIP("no graphical program is built");
        }
        for (const QString& name : entries) {
            const QString path = folder + QLatin1Char('/') + name;
            const QString exec = entryValue(path, QStringLiteral("Exec"));
            const QString program = exec.section(QLatin1Char(' '), 0, 0);
            QVERIFY2(program.startsWith(user.prefix() + QStringLiteral("/bin/")), qPrintable(exec));
            QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
            if (name == QLatin1StringView("com.quillbank.Ondara.desktop")) {
                QVERIFY2(exec.endsWith(QStringLiteral(" %u")), qPrintable(exec));
                QCOMPARE(entryValue(path, QStringLiteral("MimeType")),
                         QStringLiteral("x-scheme-handler/ondara;"));
            }
        }
    }

    // The installed application's first start installs the agent's list and
    // starts the agent, which answers the installed client. The uninstall
    // script then stops the agent, removes every installed file and
    // everything of the agent's start-up, and keeps the settings unless
    // purging. Under a systemd
    // user manager (a recording stub: no agent runs) the unit must go too, or
    // the next login would start a program that is no longer there.
    void uninstallLeavesOnlyTheSettings_data() {
        QTest::addColumn<bool>("purge");
        QTest::addColumn<bool>("userManager");
        QTest::newRow("settings kept") << false << false;
        QTest::newRow("purged") << true << false;
        QTest::newRow("systemd user unit") << false << true;
    }
    void uninstallLeavesOnlyTheSettings() {
        QFETCH(bool, purge);
        QFETCH(bool, userManager);
        if (!ONDARA_HAS_APP) {
            QSKIP("the application is not built");
        }
        const ProcessOutcome installed = user.install();
        QVERIFY2(installed.ok(), installed.describe());
        user.setUserManagerAnswers(userManager);
        const QString agentList = user.config() + QStringLiteral("/ondara/LaunchAgents/") +
                                  agentLabel + QStringLiteral(".plist");
        QVERIFY(writeFile(user.config() +
                              QStringLiteral("/autostart/com.quillbank.OndaraWidget.desktop"),
                          "[Desktop Entry]\n"));

        // The application's first start puts the installed list into the
        // user's LaunchAgents folder and loads it with the launch tool.
        const ProcessOutcome started = user.run(
            user.bin(QStringLiteral("Ondara")),
            {QStringLiteral("--screenshot"), user.root.filePath(QStringLiteral("first.png"))});
        QVERIFY2(started.ok(), started.describe());
        QFile list(agentList);
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(list.readAll().contains(user.bin(QStringLiteral("OndaraHelper")).toUtf8()));
        auto* bus = QDBusConnection::sessionBus().interface();
        const QString unit = user.config() + QStringLiteral("/systemd/user/") + agentLabel +
                             QStringLiteral(".service");
        if (userManager) {
            QVERIFY(QFileInfo::exists(unit));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered(agentLabel), 20000);
            const ProcessOutcome readings = user.run(user.bin(QStringLiteral("ondara-cli")), {});
            QVERIFY2(readings.ok(), readings.describe());
            QVERIFY2(readings.out.contains(QRegularExpression(QStringLiteral("CPU: +\\d+ °C"))),
                     readings.describe());
        }

        QStringList arguments{QStringLiteral(ONDARA_SOURCE_DIR "/scripts/uninstall.sh"),
                              QStringLiteral("--prefix"), user.prefix()};
        if (purge) {
            arguments << QStringLiteral("--purge");
        }
        const ProcessOutcome uninstalled = user.run(QStringLiteral("bash"), arguments);
        QVERIFY2(uninstalled.ok(), uninstalled.describe());
        QTRY_VERIFY_WITH_TIMEOUT(!bus->isServiceRegistered(agentLabel), 10000);
        if (userManager) {
            QVERIFY2(user.userManagerCalls().contains(QStringLiteral("--user disable")),
                     qPrintable(user.userManagerCalls()));
        }

        QCOMPARE(InstallFixture::filesBelow(user.prefix()), QStringList());
        QCOMPARE(InstallFixture::filesBelow(user.runtime()), QStringList());
        QStringList left = InstallFixture::filesBelow(user.home());
        // The settings are the suite and the lock file beside it; the agent's
        // history is the user's too.
        left.removeAll(QStringLiteral(".config/") + suiteFile + QStringLiteral(".lock"));
        left.removeAll(QStringLiteral(".config/") + suiteFile);
        left.removeIf([](const QString& file) {
            return file.startsWith(QStringLiteral(".local/state/ondara/history."));
        });
        QCOMPARE(left, QStringList());
        QCOMPARE(QFileInfo::exists(user.config() + QLatin1Char('/') + suiteFile), !purge);
    }

    // Without a home folder the scripts' defaults would name folders under
    // the root, where uninstalling removes and running installs.
    void scriptsRefuseAnEmptyHome_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("uninstall") << QStringLiteral("uninstall.sh");
        QTest::newRow("run") << QStringLiteral("run.sh");
    }
    void scriptsRefuseAnEmptyHome() {
        QFETCH(QString, script);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), QString());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("bash"),
                      {QStringLiteral(ONDARA_SOURCE_DIR "/scripts/") + script});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QCOMPARE(process.readAllStandardError(),
                 script.toUtf8() + QByteArray(": HOME does not name a folder\n"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
