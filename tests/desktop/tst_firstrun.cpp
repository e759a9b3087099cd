// The application's first runs as a user meets them: the installed Ondara,
// started in a fresh home, puts its agent's launch list in place, starts the
// agent through ondara-launchctl and shows its readings; a later start of a
// newer version restarts the agent, a start of the same version leaves it be.

#include "InstallFixture.h"
#include "OndaraNames.h"
#include "OndaraVersion.h"
#include "PropertyList.h"
#include "defaults/UserDefaults.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QImage>

namespace {

const QString listName = QStringLiteral("com.quillbank.OndaraHelper.plist");

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool agentOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        OndaraNames::helperServiceName);
}

} // namespace

class TestFirstRun : public QObject {
    Q_OBJECT

    InstallFixture user;

    QString installedList() const {
        return user.config() + QStringLiteral("/ondara/LaunchAgents/") + listName;
    }
    QString runtimeFile(const QString& suffix) const {
        return user.runtime() + QStringLiteral("/ondara/com.quillbank.OndaraHelper") + suffix;
    }
    qint64 agentPid() const {
        // The first field of the record: "pid start-time bus".
        return readFile(runtimeFile(QStringLiteral(".pid"))).split(' ').value(0).trimmed().toLongLong();
    }
    QString exeOf(qint64 pid) const {
        return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    }
    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, user.config());
    }

    // Starts the installed application on the demo machine; it draws its
    // window once readings arrived and ends.
    void startApplication(const QString& picture) {
        QProcess ondara;
        QProcessEnvironment environment = user.environment();
        environment.insert(QStringLiteral("ONDARA_SMC"), QStringLiteral("demo"));
        environment.insert(QStringLiteral("ONDARA_SMART"), QStringLiteral("demo"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        ondara.setProcessEnvironment(environment);
        ondara.start(user.bin(QStringLiteral("Ondara")),
                     {QStringLiteral("--screenshot"), user.root.filePath(picture)});
        QVERIFY(ondara.waitForFinished(120000));
        QVERIFY2(ondara.exitStatus() == QProcess::NormalExit && ondara.exitCode() == 0,
                 ondara.readAllStandardError().constData());
        QVERIFY(!QImage(user.root.filePath(picture)).isNull());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(user.prepare());
        const ProcessOutcome installed = user.install();
        QVERIFY2(installed.ok(), installed.describe());
    }

    void firstStartInstallsAndStartsTheAgent() {
        startApplication(QStringLiteral("first.png"));

        const QString shipped = user.prefix() + QStringLiteral("/share/ondara/") + listName;
        QCOMPARE(readFile(installedList()), readFile(shipped));
        const QVariantMap list =
            PropertyList::parse(readFile(shipped)).value_or(QVariant()).toMap();
        QCOMPARE(list.value(QStringLiteral("ProgramArguments")).toList().value(0).toString(),
                 user.bin(QStringLiteral("OndaraHelper")));

        // Started detached by ondara-launchctl, on the demo machine asked for.
        const qint64 pid = agentPid();
        QCOMPARE(exeOf(pid), user.bin(QStringLiteral("OndaraHelper")));
        QVERIFY(agentOnBus());
        QVERIFY(readFile(QStringLiteral("/proc/%1/environ").arg(pid))
                    .split('\0')
                    .contains("ONDARA_SMC=demo"));
        const QByteArray log = readFile(runtimeFile(QStringLiteral(".log")));
        QVERIFY2(log.contains("built-in demo machine"), log.constData());
        // The window asked the agent for its readings.
        QVERIFY2(log.contains("Connection accepted"), log.constData());

        const auto defaults = suite();
        QCOMPARE(defaults->doubleForKey(OndaraNames::Keys::appVersion),
                 QByteArray(ONDARA_VERSION_TEXT).toDouble());
        QCOMPARE(defaults->objectForKey(OndaraNames::Keys::helperInstalled), QVariant(true));

        const ProcessOutcome readings = user.run(user.bin(QStringLiteral("ondara-cli")), {});
        QVERIFY2(readings.ok(), readings.describe());
        QVERIFY(readings.out.contains(QStringLiteral("°C")));
    }

    void sameVersionLeavesTheRunningAgent() {
        const qint64 before = agentPid();
        startApplication(QStringLiteral("same.png"));
        QCOMPARE(agentPid(), before);
        QCOMPARE(exeOf(before), user.bin(QStringLiteral("OndaraHelper")));
    }

    void newerVersionRestartsTheAgent() {
        // What an older release left behind: the application is now newer.
        auto defaults = suite();
        defaults->setObject(OndaraNames::Keys::appVersion, 0.5);
        QVERIFY(defaults->synchronize());
        const qint64 before = agentPid();

        startApplication(QStringLiteral("upgraded.png"));
        const qint64 after = agentPid();
        QVERIFY(after != before);
        QVERIFY(exeOf(before).isEmpty());
        QCOMPARE(exeOf(after), user.bin(QStringLiteral("OndaraHelper")));
        QTRY_VERIFY(agentOnBus());
        QCOMPARE(suite()->doubleForKey(OndaraNames::Keys::appVersion),
                 QByteArray(ONDARA_VERSION_TEXT).toDouble());
    }

    void cleanupTestCase() {
        user.run(user.bin(QStringLiteral("ondara-launchctl")),
                 {QStringLiteral("unload"), installedList()});
    }
};

QTEST_GUILESS_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
