#include "OndaraNames.h"
#include "PropertyList.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

const QString label = QStringLiteral("com.quillbank.OndaraHelper");

struct Run {
    int exitCode = -1;
    QStringList errorLines;
};

bool writeFile(const QString& path, const QByteArray& bytes,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           file.setPermissions(permissions);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray agentList(const QVariantList& arguments) {
    return PropertyList::toXml(QVariantMap{
        {QStringLiteral("Label"), label},
        {QStringLiteral("ProgramArguments"), arguments},
        {QStringLiteral("MachServices"),
         QVariantMap{{QString(OndaraNames::helperServiceName), true}}},
    });
}

bool busNameOwned() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        OndaraNames::helperServiceName);
}

} // namespace

class TestLaunchctl : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp;
    QString path(const QString& name) const { return temp->filePath(name); }
    QString pidFile() const { return path(QStringLiteral("run/ondara/") + label + ".pid"); }

    // Runs ondara-launchctl in the temporary home; `systemctl` is the program
    // it takes for systemctl (a missing one means no service manager).
    Run launchctl(const QStringList& arguments, const QString& systemctl,
                  const QStringList& extraEnvironment = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        environment.insert(QStringLiteral("ONDARA_SYSTEMCTL"), systemctl);
        environment.insert(QStringLiteral("FAKE_SYSTEMCTL_LOG"), path(QStringLiteral("calls")));
        for (const char* name : {"ONDARA_SMC", "ONDARA_SMART", "ONDARA_MEMORY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        for (const QString& assignment : extraEnvironment) {
            environment.insert(assignment.section(QLatin1Char('='), 0, 0),
                               assignment.section(QLatin1Char('='), 1));
        }
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(LAUNCHCTL_PATH), arguments);
        Run run;
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit) {
            run.exitCode = process.exitCode();
        }
        run.errorLines = QString::fromUtf8(process.readAllStandardError())
                             .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return run;
    }

    QString fakeSystemctl(int showEnvironmentStatus) {
        const QString script = path(QStringLiteral("systemctl"));
        const QByteArray text = "#!/bin/sh\n"
                                "echo \"$*\" >> \"$FAKE_SYSTEMCTL_LOG\"\n"
                                "[ \"$2\" = show-environment ] && exit " +
                                QByteArray::number(showEnvironmentStatus) + "\nexit 0\n";
        return writeFile(script, text, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                   ? script
                   : QString();
    }

    QStringList systemctlCalls() const {
        return QString::fromUtf8(readFile(path(QStringLiteral("calls"))))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void init() {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
    }

    void systemdUnitRunsTheListsProgram() {
        // Words that systemd would otherwise split, expand or take as specifiers.
        const QString program = path(QStringLiteral("bin dir/Agent%i$HOME"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("bin dir"))));
        QVERIFY(writeFile(program, "#!/bin/sh\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({program, QStringLiteral("say \"hi\"\\")})));

        const Run run = launchctl({QStringLiteral("load"), QStringLiteral("-w"), list},
                                  fakeSystemctl(0), {QStringLiteral("ONDARA_SMC=profile:/a b%")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.errorLines, QStringList());
        const QString service = label + QStringLiteral(".service");
        QCOMPARE(systemctlCalls(), QStringList({QStringLiteral("--user show-environment"),
                                                QStringLiteral("--user daemon-reload"),
                                                QStringLiteral("--user enable ") + service,
                                                QStringLiteral("--user start ") + service}));
        const QString quotedProgram = QString(program)
                                          .replace(QStringLiteral("%"), QStringLiteral("%%"))
                                          .replace(QStringLiteral("$"), QStringLiteral("$$"));
        QCOMPARE(
            QString::fromUtf8(readFile(path(QStringLiteral("config/systemd/user/")) + service)),
            QStringLiteral("# Written by ondara-launchctl from the agent's property list.\n"
                           "[Unit]\n"
                           "Description=com.quillbank.OndaraHelper\n"
                           "\n"
                           "[Service]\n"
                           "Type=dbus\n"
                           "BusName=com.quillbank.OndaraHelper\n"
                           "ExecStart=\"%1\" \"say \\\"hi\\\"\\\\\"\n"
                           "Environment=\"ONDARA_SMC=profile:/a b%%\"\n"
                           "\n"
                           "[Install]\n"
                           "WantedBy=default.target\n")
                .arg(quotedProgram));

        QFile::remove(path(QStringLiteral("calls")));
        QCOMPARE(launchctl({QStringLiteral("unload"), list}, fakeSystemctl(0)).exitCode, 0);
        QCOMPARE(systemctlCalls(), QStringList({QStringLiteral("--user show-environment"),
                                                QStringLiteral("--user stop ") + service,
                                                QStringLiteral("--user disable ") + service}));
    }

    void errorsPrintOneLine_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString agent = QStringLiteral(ONDARA_AGENT_PATH);
        QTest::newRow("missing list")
            << QByteArray() << QStringList{"load", "-w", "absent.plist"} << "no such file";
        QTest::newRow("not a list") << QByteArray("<html>") << QStringList{"unload", "agent.plist"}
                                    << "not a property list";
        QTest::newRow("no label") << PropertyList::toXml(
                                         QVariantMap{{"ProgramArguments", QVariantList{agent}}})
                                  << QStringList{"load", "agent.plist"} << "no Label";
        QTest::newRow("label with a slash")
            << PropertyList::toXml(
                   QVariantMap{{"Label", "../x"}, {"ProgramArguments", QVariantList{agent}}})
            << QStringList{"load", "agent.plist"} << "not a plain name";
        QTest::newRow("no program") << PropertyList::toXml(QVariantMap{{"Label", label}})
                                    << QStringList{"load", "agent.plist"} << "no program";
        QTest::newRow("program not executable")
            << agentList({QStringLiteral("/proc/version")}) << QStringList{"load", "agent.plist"}
            << "not an executable file";
        QTest::newRow("relative program")
            << agentList({QStringLiteral("OndaraHelper")}) << QStringList{"load", "agent.plist"}
            << "not an executable file";
        QTest::newRow("unknown command")
            << agentList({agent}) << QStringList{"start", "agent.plist"} << "usage:";
        QTest::newRow("two lists")
            << agentList({agent}) << QStringList{"load", "agent.plist", "agent.plist"} << "usage:";
    }

    void errorsPrintOneLine() {
        QFETCH(QByteArray, list);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        if (!list.isEmpty()) {
            QVERIFY(writeFile(path(QStringLiteral("agent.plist")), list));
        }
        arguments.last() = path(arguments.last());
        const Run run = launchctl(arguments, fakeSystemctl(0));
        QVERIFY(run.exitCode > 0);
        QCOMPARE(run.errorLines.size(), 1);
        QVERIFY2(run.errorLines.first().contains(message), qPrintable(run.errorLines.first()));
        // Nothing was started or written.
        QCOMPARE(systemctlCalls(), QStringList());
        QVERIFY(!QFile::exists(path(QStringLiteral("config/systemd"))));
    }

    void detachedAgentStartsAndStops() {
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)})));
        const QString noManager = path(QStringLiteral("no-systemctl"));
        // The demo machine chosen in our environment reaches the agent.
        const QStringList demo = {QStringLiteral("ONDARA_SMC=demo"),
                                  QStringLiteral("ONDARA_SMART=demo")};

        QCOMPARE(launchctl({QStringLiteral("load"), QStringLiteral("-w"), list}, noManager, demo)
                     .exitCode,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(busNameOwned(), 20000);
        const qint64 pid = readFile(pidFile()).trimmed().toLongLong();
        QVERIFY(pid > 0);
        auto killAgent = qScopeGuard([pid] { ::kill(pid_t(pid), SIGKILL); });
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)),
                 QFileInfo(QStringLiteral(ONDARA_AGENT_PATH)).canonicalFilePath());
        const QByteArray environment = readFile(QStringLiteral("/proc/%1/environ").arg(pid));
        QVERIFY(environment.split('\0').contains("ONDARA_SMC=demo"));

        // Loading a running agent again starts no second one.
        const Run again = launchctl({QStringLiteral("load"), list}, noManager);
        QCOMPARE(again.exitCode, 0);
        QVERIFY(again.errorLines.value(0).contains(QStringLiteral("already loaded")));
        QCOMPARE(readFile(pidFile()).trimmed().toLongLong(), pid);

        QCOMPARE(launchctl({QStringLiteral("unload"), list}, noManager).exitCode, 0);
        QTRY_VERIFY(!busNameOwned());
        QVERIFY(!QFile::exists(pidFile()));
        QVERIFY(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).isEmpty());
        killAgent.dismiss();
    }

    void pidFileOfAnotherProcessIsLeftAlone() {
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)})));
        QProcess unrelated;
        unrelated.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(unrelated.waitForStarted());
        auto stopUnrelated = qScopeGuard([&] {
            unrelated.kill();
            unrelated.waitForFinished();
        });
        QVERIFY(QDir().mkpath(path(QStringLiteral("run/ondara"))));
        QVERIFY(writeFile(pidFile(), QByteArray::number(unrelated.processId()) + '\n'));

        const Run run = launchctl({QStringLiteral("unload"), list}, path(QStringLiteral("none")));
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.errorLines.value(0).contains(QStringLiteral("not loaded")));
        // Still running: a process that was signalled would be a zombie without an exe link.
        QVERIFY(!QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(unrelated.processId()))
                     .isEmpty());
        // The stale record is gone, so the next load is not taken for a running agent.
        QVERIFY(!QFile::exists(pidFile()));
    }
};

QTEST_GUILESS_MAIN(TestLaunchctl)
#include "tst_launchctl.moc"
