#include "OndaraNames.h"
#include "PropertyList.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

    // ondara-launchctl started in the temporary home; `systemctl` is the
    // program it takes for systemctl (a missing one means no service
    // manager). An extra entry without "=" removes that variable; `prefix`
    // runs it through another program (as another user).
    std::unique_ptr<QProcess> startLaunchctl(const QStringList& arguments, const QString& systemctl,
                                             const QStringList& extraEnvironment = {},
                                             const QStringList& prefix = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        environment.insert(QStringLiteral("ONDARA_SYSTEMCTL"), systemctl);
        environment.insert(QStringLiteral("FAKE_SYSTEMCTL_LOG"), path(QStringLiteral("calls")));
        for (const char* name : {"ONDARA_SMC", "ONDARA_SMART", "ONDARA_MEMORY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        for (const QString& assignment : extraEnvironment) {
            if (!assignment.contains(QLatin1Char('='))) {
                environment.remove(assignment);
                continue;
            }
            environment.insert(assignment.section(QLatin1Char('='), 0, 0),
                               assignment.section(QLatin1Char('='), 1));
        }
        process->setProcessEnvironment(environment);
        const QStringList command =
            prefix + QStringList{QStringLiteral(LAUNCHCTL_PATH)} + arguments;
        process->start(command.first(), command.mid(1));
        return process;
    }

    static Run finished(QProcess& process) {
        Run run;
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit) {
            run.exitCode = process.exitCode();
        }
        run.errorLines = QString::fromUtf8(process.readAllStandardError())
                             .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return run;
    }

    Run launchctl(const QStringList& arguments, const QString& systemctl,
                  const QStringList& extraEnvironment = {}, const QStringList& prefix = {}) {
        return finished(*startLaunchctl(arguments, systemctl, extraEnvironment, prefix));
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
        // As systemd makes it: the user's own, mode 0700.
        QVERIFY(QDir().mkdir(path(QStringLiteral("run"))));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("run")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // systemd's own reading of a unit: no warning, every command runnable.
    QString systemdVerdict(const QString& unit) {
        QProcess verify;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        verify.setProcessEnvironment(environment);
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(QStringLiteral("systemd-analyze"), {"verify", "--user", unit});
        if (!verify.waitForFinished(30000)) {
            return QStringLiteral("systemd-analyze did not finish");
        }
        const QString output = QString::fromUtf8(verify.readAll()).trimmed();
        return verify.exitCode() == 0 && output.isEmpty()
                   ? QString()
                   : QStringLiteral("%1: %2").arg(verify.exitCode()).arg(output);
    }

    // The record the detached load wrote: "pid start-time bus".
    qint64 recordedPid() const {
        return readFile(pidFile()).split(' ').value(0).trimmed().toLongLong();
    }
    bool makeRuntimeSubfolder() const {
        return QDir().mkdir(path(QStringLiteral("run/ondara"))) &&
               QFile::setPermissions(path(QStringLiteral("run/ondara")),
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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
        // systemd expands no variable in the program's own path.
        const QString quotedProgram =
            QString(program).replace(QStringLiteral("%"), QStringLiteral("%%"));
        QCOMPARE(
            QString::fromUtf8(readFile(path(QStringLiteral("config/systemd/user/")) + service)),
            QStringLiteral("# Written by ondara-launchctl from the agent's property list.\n"
                           "[Unit]\n"
                           "Description=com.quillbank.OndaraHelper\n"
                           "StartLimitIntervalSec=60\n"
                           "StartLimitBurst=5\n"
                           "\n"
                           "[Service]\n"
                           "Type=dbus\n"
                           "BusName=com.quillbank.OndaraHelper\n"
                           "ExecStart=\"%1\" \"say \\\"hi\\\"\\\\\"\n"
                           "Environment=\"ONDARA_SMC=profile:/a b%%\"\n"
                           "Restart=on-failure\n"
                           "RestartSec=2\n"
                           "RestartPreventExitStatus=3 4 5\n"
                           "UMask=0077\n"
                           "NoNewPrivileges=yes\n"
                           "ProtectSystem=strict\n"
                           "ReadWritePaths=\"%2\" \"%3\" -%t/ondara\n"
                           "PrivateNetwork=yes\n"
                           "ProtectKernelTunables=yes\n"
                           "ProtectKernelModules=yes\n"
                           "ProtectControlGroups=yes\n"
                           "RestrictAddressFamilies=AF_UNIX\n"
                           "RestrictNamespaces=yes\n"
                           "RestrictRealtime=yes\n"
                           "RestrictSUIDSGID=yes\n"
                           "LockPersonality=yes\n"
                           "SystemCallArchitectures=native\n"
                           "\n"
                           "[Install]\n"
                           "WantedBy=default.target\n")
                .arg(quotedProgram, path(QStringLiteral("config")),
                     path(QStringLiteral("state/ondara"))));
        // systemd starts no unit whose writable folder is missing.
        const QFileInfo history(path(QStringLiteral("state/ondara")));
        QVERIFY(history.isDir());
        QCOMPARE(history.permissions().toInt() & 0x0077, 0); // no group, no others
        QCOMPARE(systemdVerdict(path(QStringLiteral("config/systemd/user/")) + service), QString());
        // The folder the unit lets the agent write its word of a stop to is there.
        QVERIFY(QFileInfo(path(QStringLiteral("run/ondara"))).isDir());

        QFile::remove(path(QStringLiteral("calls")));
        QCOMPARE(launchctl({QStringLiteral("unload"), list}, fakeSystemctl(0)).exitCode, 0);
        QCOMPARE(systemctlCalls(), QStringList({QStringLiteral("--user show-environment"),
                                                QStringLiteral("--user stop ") + service,
                                                QStringLiteral("--user disable ") + service}));
    }

    // What reaches a unit file either is refused with one line (and nothing
    // is written) or reads back as itself: no value can add a line to the unit.
    void unitTextIsSafe_data() {
        QTest::addColumn<QByteArray>("list"); // empty: the agent's list with `argument`
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("refusal"); // empty: written, and systemd reads it cleanly
        const QByteArray program = "PROGRAM";
        QTest::newRow("carriage returns in a variable")
            << QByteArray() << "x" << QStringList{"ONDARA_SMC=demo\rExecStartPre=/x\rX-Pad="}
            << "ONDARA_SMC holds control characters";
        QTest::newRow("line break in a variable")
            << QByteArray() << "x" << QStringList{"ONDARA_SMART=a\nExecStartPre=/x"}
            << "ONDARA_SMART holds control characters";
        QTest::newRow("line break in an argument")
            << QByteArray() << "a\nExecStartPre=/x" << QStringList()
            << "ProgramArguments holds control characters";
        QTest::newRow("bus name with a line break")
            << PropertyList::toXml(
                   QVariantMap{{"Label", label},
                               {"ProgramArguments", QVariantList{QString(program)}},
                               {"MachServices", QVariantMap{{"com.x\nExecStartPre=/x", true}}}})
            << "" << QStringList() << "MachServices names no bus name";
        QTest::newRow("label with a specifier")
            << PropertyList::toXml(QVariantMap{
                   {"Label", "Agent%i"}, {"ProgramArguments", QVariantList{QString(program)}}})
            << "" << QStringList() << "cannot name a systemd unit";
        QTest::newRow("quotes, specifiers, variables and escapes")
            << QByteArray() << "%h $HOME \\x41 \"q\" ;"
            << QStringList{"ONDARA_SMC=profile:/a b%i\"$HOME\\n", "ONDARA_MEMORY=é €"} << QString();
    }

    void unitTextIsSafe() {
        QFETCH(QByteArray, list);
        QFETCH(QString, argument);
        QFETCH(QStringList, environment);
        QFETCH(QString, refusal);
        const QString program = path(QStringLiteral("agent"));
        QVERIFY(writeFile(program, "#!/bin/sh\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString listPath = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(listPath, list.isEmpty() ? agentList({program, argument})
                                                   : list.replace("PROGRAM", program.toUtf8())));
        const Run run =
            launchctl({QStringLiteral("load"), listPath}, fakeSystemctl(0), environment);
        const QString unit =
            path(QStringLiteral("config/systemd/user/")) + label + QStringLiteral(".service");
        if (!refusal.isEmpty()) {
            QCOMPARE(run.exitCode, 1);
            QCOMPARE(run.errorLines.size(), 1);
            QVERIFY2(run.errorLines.first().contains(refusal), qPrintable(run.errorLines.first()));
            QVERIFY(!QFile::exists(unit));
            return;
        }
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(systemdVerdict(unit), QString());
        const QStringList lines = QString::fromUtf8(readFile(unit)).split('\n');
        QCOMPARE(lines.filter(QRegularExpression("^Exec")).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression("^Environment=")).size(), environment.size());
    }

    // Confinement would take file capabilities away (no_new_privs, a user
    // namespace): an agent that needs them, or whose SMART reader does, runs
    // unconfined.
    void capabilitiesLeaveTheUnitUnconfined_data() {
        QTest::addColumn<QString>("holder"); // the file given CAP_SYS_RAWIO
        QTest::newRow("the agent") << "bin/agent";
        QTest::newRow("its SMART reader")
            << "bin/" ONDARA_SMART_READER_FROM_BINDIR "/ondara-smart-reader";
    }

    void capabilitiesLeaveTheUnitUnconfined() {
        QFETCH(QString, holder);
        const QString program = path(QStringLiteral("bin/agent"));
        const QString capable = QDir::cleanPath(path(holder));
        QVERIFY(QDir().mkpath(QFileInfo(capable).absolutePath()) && QDir().mkpath(path("bin")));
        for (const QString& file : {program, capable}) {
            QVERIFY(writeFile(file, "#!/bin/sh\n",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        // VFS_CAP_REVISION_2 with the effective flag; permitted: CAP_SYS_RAWIO.
        const quint32 capability[5] = {0x02000001u, 1u << 17, 0, 0, 0};
        if (::setxattr(QFile::encodeName(capable).constData(), "security.capability", capability,
                       sizeof capability, 0) != 0) {
            QSKIP("cannot give a file capabilities here (needs CAP_SETFCAP)");
        }
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({program})));
        QCOMPARE(launchctl({QStringLiteral("load"), list}, fakeSystemctl(0)).exitCode, 0);
        const QString unit = QString::fromUtf8(
            readFile(path(QStringLiteral("config/systemd/user/")) + label + ".service"));
        QVERIFY2(unit.contains("# No confinement") && !unit.contains("NoNewPrivileges"),
                 qPrintable(unit));
        QVERIFY(unit.contains("Restart=on-failure"));
    }

    // The runtime folder is used only when it is this user's own, mode 0700,
    // and nothing in it is written through a link.
    void runtimeFolderMustBeTheUsers_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("not set") << "unset"
                                 << "XDG_RUNTIME_DIR is not set";
        QTest::newRow("open to others") << "0755"
                                        << "not 0700";
        QTest::newRow("another user's") << "chown"
                                        << "belongs to another user";
        QTest::newRow("log is a link") << "link"
                                       << "is a symbolic link";
    }

    void runtimeFolderMustBeTheUsers() {
        QFETCH(QString, what);
        QFETCH(QString, refusal);
        if (what == QLatin1String("chown") && ::geteuid() != 0) {
            QSKIP("needs root to give a folder to another user");
        }
        const QString run = path(QStringLiteral("run"));
        const QString victim = path(QStringLiteral("bashrc"));
        QVERIFY(writeFile(victim, "export SAFE=1\n"));
        QStringList environment;
        if (what == QLatin1String("unset")) {
            environment.append(QStringLiteral("XDG_RUNTIME_DIR"));
        } else if (what == QLatin1String("0755")) {
            QVERIFY(QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
        } else if (what == QLatin1String("chown")) {
            QCOMPARE(::chown(QFile::encodeName(run).constData(), 65534, 65534), 0);
        } else {
            QVERIFY(makeRuntimeSubfolder());
            QVERIFY(QFile::link(victim, run + QStringLiteral("/ondara/") + label + ".log"));
        }
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)})));
        const Run result =
            launchctl({QStringLiteral("load"), list}, path(QStringLiteral("none")), environment);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.errorLines.value(0).contains(refusal),
                 qPrintable(result.errorLines.value(0)));
        QCOMPARE(readFile(victim), QByteArray("export SAFE=1\n"));
        QVERIFY(!busNameOwned());
    }

    // Another local user made the folder this user's runtime folder would
    // fall back to, with a link where the agent's log goes; the victim's
    // files stay as they are.
    void anotherUsersFolderIsNeverUsed() {
        if (::geteuid() != 0) {
            QSKIP("needs root to act as two users (root prepares, nobody is the victim)");
        }
        QVERIFY(QFile::setPermissions(temp->path(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ReadOther |
                                                        QFile::ExeOther));
        const QString home = path(QStringLiteral("victim"));
        const QString tmp = path(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(home) && QDir().mkpath(tmp + "/runtime-65534/ondara"));
        const QString bashrc = home + QStringLiteral("/.bashrc");
        const QString list = home + QStringLiteral("/agent.plist");
        QVERIFY(writeFile(bashrc, "export SAFE=1\n", QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)}),
                          QFile::ReadOwner | QFile::WriteOwner));
        for (const QString& owned : {home, bashrc, list}) {
            QCOMPARE(::chown(QFile::encodeName(owned).constData(), 65534, 65534), 0);
        }
        QCOMPARE(::chmod(QFile::encodeName(tmp).constData(), 01777), 0);
        QVERIFY(QFile::link(bashrc, tmp + "/runtime-65534/ondara/" + label + ".log"));

        const Run run =
            launchctl({QStringLiteral("load"), list}, path(QStringLiteral("none")),
                      {QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("XDG_CONFIG_HOME"),
                       QStringLiteral("TMPDIR=") + tmp, QStringLiteral("HOME=") + home},
                      {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                       QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                       QStringLiteral("--")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errorLines.value(0).contains("XDG_RUNTIME_DIR"),
                 qPrintable(run.errorLines.join('\n')));
        QCOMPARE(readFile(bashrc), QByteArray("export SAFE=1\n"));
    }

    // Loads started together leave one agent, the one recorded, which unload
    // then stops: nothing of the agent is left running.
    void loadsRacingLeaveOneAgent() {
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)})));
        const QString noManager = path(QStringLiteral("no-systemctl"));
        const QStringList demo = {QStringLiteral("ONDARA_SMC=demo"),
                                  QStringLiteral("ONDARA_SMART=none")};
        for (int round = 0; round < 20; ++round) {
            auto first = startLaunchctl({QStringLiteral("load"), list}, noManager, demo);
            auto second = startLaunchctl({QStringLiteral("load"), list}, noManager, demo);
            QCOMPARE(finished(*first).exitCode, 0);
            QCOMPARE(finished(*second).exitCode, 0);
            const uint owner = QDBusConnection::sessionBus().interface()->servicePid(
                OndaraNames::helperServiceName);
            QCOMPARE(recordedPid(), qint64(owner));
            const Run unload = launchctl({QStringLiteral("unload"), list}, noManager);
            QVERIFY2(unload.exitCode == 0, qPrintable(QString("round %1").arg(round)));
            QVERIFY(!busNameOwned());
        }
    }

    // Loading succeeds only once the agent serves its name; unloading stops
    // only this session's agent, never one of another bus.
    void loadAndUnloadAnswerForThisSession() {
        const QString list = path(QStringLiteral("agent.plist"));
        QVERIFY(writeFile(list, agentList({QStringLiteral(ONDARA_AGENT_PATH)})));
        const QString noManager = path(QStringLiteral("no-systemctl"));
        const Run failing = launchctl({QStringLiteral("load"), list}, noManager,
                                      {QStringLiteral("ONDARA_SMC=profile:/nonexistent")});
        QCOMPARE(failing.exitCode, 1);
        QVERIFY2(failing.errorLines.value(0).contains("ended at once"),
                 qPrintable(failing.errorLines.value(0)));

        QProcess otherBus;
        otherBus.start("dbus-daemon",
                       {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QTRY_VERIFY(otherBus.canReadLine());
        const QString otherAddress = QString::fromUtf8(otherBus.readLine()).trimmed();
        auto stopBus = qScopeGuard([&] {
            otherBus.terminate();
            otherBus.waitForFinished();
        });
        const QStringList onOtherBus = {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + otherAddress,
                                        QStringLiteral("ONDARA_SMC=demo")};
        QCOMPARE(launchctl({QStringLiteral("load"), list}, noManager, onOtherBus).exitCode, 0);
        const qint64 other = recordedPid();
        auto killOther = qScopeGuard([other] { ::kill(pid_t(other), SIGKILL); });
        const Run here = launchctl({QStringLiteral("unload"), list}, noManager);
        QCOMPARE(here.exitCode, 1);
        QVERIFY(here.errorLines.value(0).contains(QStringLiteral("not loaded")));
        QVERIFY(!QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(other)).isEmpty());
        QCOMPARE(launchctl({QStringLiteral("unload"), list}, noManager, onOtherBus).exitCode, 0);
        QVERIFY(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(other)).isEmpty());
        killOther.dismiss();
    }

    // The unit's confinement, as far as it can be had without a service
    // manager: every file system read-only but the settings and history
    // folders, a network namespace of its own, no new privileges. The agent
    // still maps a hwmon tree, answers on the bus (a socket in the file
    // system), saves and keeps its history.
    void confinedAgentStillServes() {
        if (::geteuid() != 0) {
            QSKIP("needs root for mount and network namespaces");
        }
        const QString config = path(QStringLiteral("config"));
        const QString state = path(QStringLiteral("state"));
        QVERIFY(QDir().mkpath(config));
        QVERIFY(QDir().mkpath(state + QStringLiteral("/ondara")));
        const QString confine = path(QStringLiteral("confine"));
        QVERIFY(writeFile(confine,
                          "#!/bin/sh\nset -e\nsettings=$1\nhistory=$2\nshift 2\n"
                          "mount --make-rprivate /\nmount --bind \"$settings\" \"$settings\"\n"
                          "mount --bind \"$history\" \"$history\"\n"
                          "for m in $(awk '{print $5}' /proc/self/mountinfo | sort -u); do\n"
                          "  [ \"$m\" = \"$settings\" ] || [ \"$m\" = \"$history\" ] ||\n"
                          "    mount -o remount,bind,ro \"$m\" || true\n"
                          "done\nexec setpriv --no-new-privs \"$@\"\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess agent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state);
        environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
        agent.setProcessEnvironment(environment);
        agent.start(QStringLiteral("unshare"),
                    {"--mount", "--net", "--", confine, config, state + QStringLiteral("/ondara"),
                     ONDARA_AGENT_PATH, "--smc",
                     "hwmon:" ONDARA_FIXTURE_DIR "/hwmon-intel-desktop/class/hwmon", "--smart",
                     "none"});
        auto stop = qScopeGuard([&] {
            agent.kill();
            agent.waitForFinished();
        });
        QByteArray log;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         log += agent.readAllStandardError();
                         return log.contains("serving com.quillbank");
                     },
                     20000),
                 log.constData());
        QDBusMessage call = QDBusMessage::createMethodCall(
            OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
            OndaraNames::helperInterface, QStringLiteral("temperatureForSensors"));
        call.setArguments({QVariant::fromValue(QList<uint>{0x54433043u})}); // TC0C
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 20000);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVERIFY(qdbus_cast<QList<int>>(reply.arguments().value(0)).value(0) > 0);
        QVERIFY(QFile::exists(config + QLatin1Char('/') + OndaraNames::suiteName + ".plist"));
        QVERIFY(QFile::exists(state + QStringLiteral("/ondara/history.sqlite3")));
        QVERIFY(log.contains("SMC: hwmon"));
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
        QVERIFY(busNameOwned());
        const qint64 pid = recordedPid();
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
        QCOMPARE(recordedPid(), pid);

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
        QVERIFY(makeRuntimeSubfolder());
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
