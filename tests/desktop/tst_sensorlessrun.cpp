// The installed application on a computer without sensors, as a new user
// meets it: a fresh home, no applesmc driver and no hwmon chip, and the agent
// left to choose its source as it does for everyone. As root the machine's
// own chips are hidden in a private mount namespace, so every machine is one
// without sensors; without root the test runs only where the machine has none.
// The agent stops with its no-sensors reason, and the window's banner and the
// diagnostics name it; nothing says the agent answered.

#include "HelperStateText.h"
#include "InstallFixture.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <unistd.h>

namespace {

const QString label = QStringLiteral("com.quillbank.OndaraHelper");

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the agent's automatic choice would find here.
bool machineHasSensors() {
    if (QFileInfo::exists(QStringLiteral("/sys/devices/platform/applesmc.768"))) {
        return true;
    }
    QDirIterator inputs(QStringLiteral("/sys/class/hwmon"), {QStringLiteral("temp*_input")},
                        QDir::Files, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    return inputs.hasNext();
}

// Hides /sys/class (the hwmon chips) and the platform devices (applesmc) from
// the program and everything it starts; /sys itself stays sysfs.
const char* const hideSensors = "mount --make-rprivate / && "
                                "mount -t tmpfs ondara-no-sensors /sys/class && "
                                "mount -t tmpfs ondara-no-sensors /sys/devices/platform && "
                                "exec \"$0\" \"$@\"";

} // namespace

class TestSensorlessRun : public QObject {
    Q_OBJECT

    InstallFixture user;
    // The program and its arguments run in front of the application, if any.
    QStringList wrapper;

    QString runtimeFile(const QString& suffix) const {
        return user.runtime() + QStringLiteral("/ondara/") + label + suffix;
    }

private Q_SLOTS:
    void initTestCase() {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (::geteuid() == 0 && !unshare.isEmpty() &&
            QProcess::execute(unshare,
                              {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                               QString::fromLatin1(hideSensors), QStringLiteral("true")}) == 0) {
            wrapper = {unshare, QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                       QString::fromLatin1(hideSensors)};
        } else if (machineHasSensors()) {
            QSKIP("this machine has sensors, and hiding them needs root and unshare -m");
        }
        QVERIFY(user.prepare());
        const ProcessOutcome installed = user.install();
        QVERIFY2(installed.ok(), installed.describe());
    }

    void bannerAndDiagnosticsNameTheReason() {
        QProcessEnvironment environment = user.environment();
        // The choice every user's agent makes; no drive is asked, so no disk
        // of this machine is touched.
        environment.remove(QStringLiteral("ONDARA_SMC"));
        environment.insert(QStringLiteral("ONDARA_SMART"), QStringLiteral("none"));
        // The texts compared are the English ones.
        environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess ondara;
        ondara.setProcessEnvironment(environment);
        const QStringList command = wrapper + QStringList{user.bin(QStringLiteral("Ondara")),
                                                          QStringLiteral("--diagnostics")};
        ondara.start(command.first(), command.mid(1));
        QVERIFY(ondara.waitForFinished(25000));
        const QString out = QString::fromUtf8(ondara.readAllStandardOutput());
        const QByteArray err = ondara.readAllStandardError();
        QVERIFY2(ondara.exitStatus() == QProcess::NormalExit && ondara.exitCode() == 0,
                 err.constData());

        // The agent found nothing to read and said so before it went.
        const QByteArray log = readFile(runtimeFile(QStringLiteral(".log")));
        QVERIFY2(log.contains("Stopping: Can't establish connection with SMC"), log.constData());
        QVERIFY(readFile(runtimeFile(QStringLiteral(".stopped"))).startsWith("noSensors\n"));

        // The installation's own lines, then the agent's end with its reason,
        // and nothing after that says it came back.
        const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.contains(QStringLiteral("Helper setup completed.")), qPrintable(out));
        QStringList helperLines;
        for (const QString& line : lines) {
            if (line.startsWith(QLatin1String("Helper ")) ||
                line.startsWith(QLatin1String("ERROR: Helper "))) {
                helperLines.append(line);
            }
        }
        QVERIFY2(!helperLines.isEmpty(), qPrintable(out));
        const QString last = helperLines.last();
        QVERIFY2(last.startsWith(QLatin1String("ERROR: Helper ")) &&
                     last.contains(QLatin1String("Can't establish connection with SMC")),
                 qPrintable(out));
        QVERIFY2(!out.contains(QLatin1String("answers")), qPrintable(out));

        // What the banner above the panels says, word for word.
        const auto noSensors = AgentStopRecord::Reason::noSensors;
        QCOMPARE(lines.last(), QStringLiteral("Window says: %1 %2")
                                   .arg(HelperStateText::headline(noSensors),
                                        HelperStateText::advice(noSensors)));
    }

    void cleanupTestCase() {
        // The agent stopped by itself; only its launch list may remain loaded.
        user.run(user.bin(QStringLiteral("ondara-launchctl")),
                 {QStringLiteral("unload"), user.config() +
                                                QStringLiteral("/ondara/LaunchAgents/") + label +
                                                QStringLiteral(".plist")});
    }
};

QTEST_GUILESS_MAIN(TestSensorlessRun)
#include "tst_sensorlessrun.moc"
