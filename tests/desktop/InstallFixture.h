#pragma once

// A user account in a temporary folder: Ondara installed under its own prefix,
// a home and a runtime folder of its own, the test's private session bus, the
// demo machine, and a stub in place of systemctl, so the agent is started and
// stopped the detached way on every machine unless the stub is told to answer
// as a systemd user manager.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

struct ProcessOutcome {
    int exitCode = -1;
    QString out;
    QString err;
    bool ok() const { return exitCode == 0; }
    QByteArray describe() const { return (out + err).toLocal8Bit(); }
};

class InstallFixture {
public:
    QTemporaryDir root;

    QString prefix() const { return root.filePath(QStringLiteral("prefix")); }
    QString bin(const QString& program) const {
        return prefix() + QStringLiteral("/bin/") + program;
    }
    QString home() const { return root.filePath(QStringLiteral("home")); }
    QString config() const { return home() + QStringLiteral("/.config"); }
    QString runtime() const { return root.filePath(QStringLiteral("run")); }

    // Makes the folders; false when the temporary folder could not be made.
    bool prepare() {
        const QString stubs = root.filePath(QStringLiteral("stubs"));
        if (!root.isValid() || !QDir().mkpath(stubs) || !QDir().mkpath(config()) ||
            !QDir().mkpath(runtime())) {
            return false;
        }
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        // Records its calls; answers as a user manager only while told to.
        QFile systemctl(stubs + QStringLiteral("/systemctl"));
        return systemctl.open(QIODevice::WriteOnly) &&
               systemctl.write("#!/bin/sh\n"
                               "echo \"$*\" >>\"$(dirname \"$0\")/systemctl.calls\"\n"
                               "[ -e \"$(dirname \"$0\")/manager-answers\" ]\n") > 0 &&
               systemctl.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    void setUserManagerAnswers(bool answers) const {
        const QString flag = root.filePath(QStringLiteral("stubs/manager-answers"));
        QFile::remove(root.filePath(QStringLiteral("stubs/systemctl.calls")));
        answers ? void(QFile(flag).open(QIODevice::WriteOnly)) : void(QFile::remove(flag));
    }
    QString userManagerCalls() const {
        QFile calls(root.filePath(QStringLiteral("stubs/systemctl.calls")));
        return calls.open(QIODevice::ReadOnly) ? QString::fromUtf8(calls.readAll()) : QString();
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home() + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home() + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        // The demo machine, so that every machine shows the same.
        env.insert(QStringLiteral("ONDARA_SMC"), QStringLiteral("demo"));
        env.insert(QStringLiteral("ONDARA_SMART"), QStringLiteral("demo"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("PATH"), root.filePath(QStringLiteral("stubs")) +
                                               QLatin1Char(':') +
                                               env.value(QStringLiteral("PATH")));
        return env;
    }

    ProcessOutcome run(const QString& program, const QStringList& arguments,
                       int timeoutMs = 60000) const {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        ProcessOutcome outcome;
        if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            outcome.err =
                QStringLiteral("%1 did not finish: %2").arg(program, process.errorString());
        } else {
            outcome.exitCode = process.exitCode();
        }
        outcome.out += QString::fromUtf8(process.readAllStandardOutput());
        outcome.err += QString::fromUtf8(process.readAllStandardError());
        return outcome;
    }

    ProcessOutcome install() const {
        return run(QStringLiteral(ONDARA_CMAKE),
                   {QStringLiteral("--install"), QStringLiteral(ONDARA_BUILD_DIR),
                    QStringLiteral("--prefix"), prefix()},
                   240000);
    }

    // Every file below a folder, relative to it, hidden ones included.
    static QStringList filesBelow(const QString& folder) {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << QDir(folder).relativeFilePath(it.next());
        }
        files.sort();
        return files;
    }
};
