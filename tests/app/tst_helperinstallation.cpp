#include "HelperInstallation.h"
#include "OndaraNames.h"
#include "defaults/UserDefaults.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

const QString plistName = QStringLiteral("com.quillbank.OndaraHelper.plist");
const QByteArray bundledList = "bundled list";

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile file(path);
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) {
        permissions |= QFile::ExeOwner;
    }
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size() && file.setPermissions(permissions);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The agent's installation against a recording launchctl and a scripted
// process listing, in a temporary home.
class TestHelperInstallation : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp;
    int pauses = 0;

    QString path(const QString& name) const { return temp->filePath(name); }
    QString agentsFolder() const { return path(QStringLiteral("config/ondara/LaunchAgents")); }
    QString installed() const { return agentsFolder() + QLatin1Char('/') + plistName; }
    QString legacy() const {
        return agentsFolder() + QStringLiteral("/com.quillbank.MirevoHelper.plist");
    }

    HelperInstallation::Environment environment(const QString& versionText) {
        HelperInstallation::Environment environment;
        environment.applicationDirectory = path(QStringLiteral("prefix/bin"));
        environment.bundledPlist = path(QStringLiteral("prefix/share/ondara/")) + plistName;
        environment.configHome = path(QStringLiteral("config"));
        environment.launchctlProgram = path(QStringLiteral("launchctl"));
        environment.processListProgram = path(QStringLiteral("ps"));
        environment.processListArguments = {QStringLiteral("-U"), QString::number(::getuid()),
                                            QStringLiteral("-o"), QStringLiteral("comm=")};
        environment.versionText = versionText;
        environment.pause = [this] { ++pauses; };
        return environment;
    }

    // The processes of every user: lines of "uid name"; the listing prints the
    // names of the uid it is asked for.
    void setProcesses(const QStringList& lines) {
        QVERIFY(writeFile(path(QStringLiteral("processes")),
                          lines.join(QLatin1Char('\n')).toUtf8() + '\n'));
    }

    QStringList launchctlCalls() const {
        return QString::fromUtf8(readFile(path(QStringLiteral("calls"))))
            .replace(installed(), QStringLiteral("LIST"))
            .replace(legacy(), QStringLiteral("LEGACY"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, path(QStringLiteral("config")));
    }

    void storeVersion(double version) {
        auto defaults = suite();
        defaults->setObject(OndaraNames::Keys::appVersion, version);
        QVERIFY(defaults->synchronize());
    }

private Q_SLOTS:
    void init() {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
        pauses = 0;
        QVERIFY(writeFile(path(QStringLiteral("prefix/share/ondara/")) + plistName, bundledList));
        QVERIFY(writeFile(path(QStringLiteral("launchctl")),
                          "#!/bin/sh\necho \"$*\" >> \"" + path(QStringLiteral("calls")).toUtf8() +
                              "\"\n",
                          true));
        QVERIFY(writeFile(path(QStringLiteral("ps")),
                          "#!/bin/sh\n[ \"$1\" = -U ] || exit 1\nawk -v uid=\"$2\" '$1 == uid { "
                          "print $2 }' \"" +
                              path(QStringLiteral("processes")).toUtf8() + "\"\n",
                          true));
        setProcesses({});
    }

    void startUp_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<double>("stored");            // negative: nothing stored
        QTest::addColumn<QByteArray>("installedList"); // empty: none installed
        QTest::addColumn<bool>("legacyList");
        QTest::addColumn<QStringList>("processes"); // "ME"/"OTHER" for the uids
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("pauseCount");
        QTest::addColumn<double>("storedAfter");
        QTest::addColumn<QString>("runningLine");
        QTest::addColumn<QString>("debugText");

        const QString checked = QStringLiteral("Debug Info:\nAgent successfully checked\n");
        const QString done = QStringLiteral("Helper setup completed.\n");
        const QStringList restart = {QStringLiteral("unload LIST"), QStringLiteral("load -w LIST")};
        const QStringList agentRuns = {QStringLiteral("ME OndaraHelper")};

        QTest::newRow("first launch")
            << "2.1" << -1.0 << QByteArray() << false << QStringList() << restart << 3 << 2.1
            << QString() << checked + "Updating... New version: 2.10, Old Version: 0.00\n" + done;
        QTest::newRow("same version, agent running")
            << "2.1" << 2.1 << bundledList << false << agentRuns << QStringList() << 1 << 2.1
            << "Helper is running: Yes"
            << checked + "Ondara version - Previous: 2.10, New: 2.10\n" + done;
        QTest::newRow("same version, agent not running")
            << "2.1" << 2.1 << bundledList << false << QStringList{"ME bash", "ME Ondara"}
            << QStringList{"load -w LIST"} << 1 << 2.1 << "Helper is running: No. Loading Helper..."
            << checked + "Ondara version - Previous: 2.10, New: 2.10\n" + done;
        QTest::newRow("newer version replaces the installed list")
            << "2.2" << 2.1 << QByteArray("older list") << false << agentRuns << restart << 3 << 2.2
            << QString() << checked + "Updating... New version: 2.20, Old Version: 2.10\n" + done;
        QTest::newRow("no version string counts as 100")
            << "" << 99.0 << QByteArray("older list") << false << agentRuns << restart << 3 << 100.0
            << QString()
            << checked + "Updating... New version: 100.00, Old Version: 99.00\n" + done;
        QTest::newRow("older application never reinstalls")
            << "2.0" << 2.1 << QByteArray("older list") << false << agentRuns << QStringList() << 1
            << 2.1 << "Helper is running: Yes"
            << checked + "Ondara version - Previous: 2.10, New: 2.00\n" + done;
        QTest::newRow("legacy list unloaded and removed first")
            << "2.1" << 2.1 << bundledList << true << agentRuns << QStringList{"unload LEGACY"} << 1
            << 2.1 << "Helper is running: Yes"
            << checked + "Ondara version - Previous: 2.10, New: 2.10\n" + done;
        QTest::newRow("our agent serving another session")
            << "2.1" << 2.1 << bundledList << false << QStringList{"ME OndaraHelper@"}
            << QStringList{"load -w LIST"} << 1 << 2.1 << "Helper is running: No. Loading Helper..."
            << checked + "Ondara version - Previous: 2.10, New: 2.10\n" + done;
        QTest::newRow("another user's agent is not ours")
            << "2.1" << 2.1 << bundledList << false << QStringList{"OTHER OndaraHelper"}
            << QStringList{"load -w LIST"} << 1 << 2.1 << "Helper is running: No. Loading Helper..."
            << checked + "Ondara version - Previous: 2.10, New: 2.10\n" + done;
    }

    void startUp() {
        QFETCH(QString, version);
        QFETCH(double, stored);
        QFETCH(QByteArray, installedList);
        QFETCH(bool, legacyList);
        QFETCH(QStringList, processes);
        QFETCH(QStringList, calls);
        QFETCH(int, pauseCount);
        QFETCH(double, storedAfter);
        QFETCH(QString, runningLine);
        QFETCH(QString, debugText);

        if (stored >= 0) {
            storeVersion(stored);
        }
        if (!installedList.isEmpty()) {
            QVERIFY(writeFile(installed(), installedList));
        }
        if (legacyList) {
            QVERIFY(writeFile(legacy(), "legacy"));
        }
        // The agent serves this session when it holds the name on our bus;
        // "@" marks one that runs in another session.
        QDBusConnection bus = QDBusConnection::sessionBus();
        const bool onOurBus = processes.contains(QStringLiteral("ME OndaraHelper"));
        if (onOurBus) {
            QVERIFY(bus.registerService(OndaraNames::helperServiceName));
        }
        auto releaseName =
            qScopeGuard([&] { bus.unregisterService(OndaraNames::helperServiceName); });
        processes.replaceInStrings(QStringLiteral("@"), QString());
        const QString me = QString::number(::getuid());
        const QString other = QString::number(::getuid() + 1);
        setProcesses(processes.replaceInStrings(QStringLiteral("ME"), me)
                         .replaceInStrings(QStringLiteral("OTHER"), other));
        if (!runningLine.isEmpty()) {
            QTest::ignoreMessage(QtInfoMsg, qPrintable(runningLine));
        }

        HelperInstallation installation(environment(version));
        QVERIFY(installation.run());
        QCOMPARE(installation.debugText(), debugText);
        QCOMPARE(launchctlCalls(), calls);
        QCOMPARE(pauses, pauseCount);
        QCOMPARE(readFile(installed()), version == "2.0" ? installedList : bundledList);
        QVERIFY(!QFile::exists(legacy()));
        QVERIFY(installation.helper() != nullptr);
        const auto defaults = suite();
        QCOMPARE(defaults->doubleForKey(OndaraNames::Keys::appVersion), storedAfter);
        QCOMPARE(defaults->objectForKey(OndaraNames::Keys::helperInstalled), QVariant(true));
    }

    // Files that cannot be removed or made: directories and plain files stand
    // in the way, which holds for root as for anyone.
    void failuresLeaveTheirLines_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<double>("storedAfter");
        QTest::addColumn<QString>("debugText");

        QTest::newRow("LaunchAgents folder cannot be made")
            << "config/ondara" << -1.0 << QStringList{"unload LIST"} << 0.0
            << "Debug Info:\nERROR: Unable to create Launch Agents folder.\n"
               "Updating... New version: 2.10, Old Version: 0.00\n"
               "ERROR: Unable to copy new plist to LA folder.\n";
        QTest::newRow("installed list cannot be removed")
            << "config/ondara/LaunchAgents/" + plistName + "/x" << 2.0 << QStringList{"unload LIST"}
            << 2.0
            << "Debug Info:\nAgent successfully checked\n"
               "Updating... New version: 2.10, Old Version: 2.00\n"
               "ERROR: Unable to delete plist.\n";
        QTest::newRow("legacy list cannot be removed")
            << "config/ondara/LaunchAgents/com.quillbank.MirevoHelper.plist/x" << 2.1
            << QStringList{"unload LEGACY", "load -w LIST"} << 2.1
            << "Debug Info:\nERROR: Unable to delete old plist.\n"
               "Ondara version - Previous: 2.10, New: 2.10\n"
               "Helper setup completed.\n";
    }

    void failuresLeaveTheirLines() {
        QFETCH(QString, obstacle);
        QFETCH(double, stored);
        QFETCH(QStringList, calls);
        QFETCH(double, storedAfter);
        QFETCH(QString, debugText);
        if (stored >= 0) {
            storeVersion(stored);
        }
        QVERIFY(writeFile(path(obstacle), "in the way"));
        if (!debugText.contains(QStringLiteral("Updating"))) {
            QTest::ignoreMessage(QtInfoMsg, "Helper is running: No. Loading Helper...");
        }
        HelperInstallation installation(environment(QStringLiteral("2.1")));
        QVERIFY(installation.run());
        QCOMPARE(installation.debugText(), debugText);
        QCOMPARE(launchctlCalls(), calls);
        QCOMPARE(suite()->doubleForKey(OndaraNames::Keys::appVersion), storedAfter);
    }

    void outsideAnInstallationTouchesNothing() {
        auto outside = environment(QStringLiteral("2.1"));
        outside.applicationDirectory = path(QStringLiteral("Downloads/Ondara"));
        outside.bundledPlist = path(QStringLiteral("Downloads/share/ondara/")) + plistName;
        HelperInstallation installation(outside);
        QVERIFY(!installation.run());
        QVERIFY(installation.showMoveWarning());
        QVERIFY(!QFile::exists(path(QStringLiteral("config"))));
        QCOMPARE(launchctlCalls(), QStringList());
        QCOMPARE(installation.helper(), nullptr);
    }

    void applicationsFolder_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("qualifies");
        QTest::newRow("system folder") << "/Applications/Ondara" << true;
        QTest::newRow("utilities") << "/Applications/Utilities/Ondara" << true;
        QTest::newRow("relative") << "Applications/Ondara" << true;
        QTest::newRow("in a home") << "/home/me/Applications/Ondara" << false;
        QTest::newRow("downloads") << "/home/me/Downloads" << false;
    }

    void applicationsFolder() {
        QFETCH(QString, directory);
        QFETCH(bool, qualifies);
        auto elsewhere = environment(QStringLiteral("2.1"));
        elsewhere.applicationDirectory = directory;
        elsewhere.bundledPlist = path(QStringLiteral("nowhere.plist"));
        QCOMPARE(HelperInstallation(elsewhere).isInApplicationsFolder(), qualifies);
    }
};

QTEST_GUILESS_MAIN(TestHelperInstallation)
#include "tst_helperinstallation.moc"
