#include "DetachedJob.h"

#include "LaunchAgentPlist.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Reads exactly `size` bytes unless the other end closes first.
ssize_t readFully(int fd, void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += size_t(n);
    }
    return ssize_t(done);
}

void writeFully(int fd, const void* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += size_t(n);
    }
}

} // namespace

DetachedJob::DetachedJob(const LaunchAgentPlist& plist, const QString& runtimeFolder)
    : m_label(plist.label())
    , m_arguments(plist.programArguments())
    , m_program(plist.program())
    , m_folder(runtimeFolder) {}

QString DetachedJob::pidFilePath() const {
    return m_folder + QLatin1Char('/') + m_label + QStringLiteral(".pid");
}

QString DetachedJob::logFilePath() const {
    return m_folder + QLatin1Char('/') + m_label + QStringLiteral(".log");
}

bool DetachedJob::isRunning(pid_t pid, const QString& program) {
    if (pid <= 0) {
        return false;
    }
    // A process that has ended but not been reaped has no exe link either.
    QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (exe.isEmpty()) {
        return false;
    }
    const QLatin1StringView deleted(" (deleted)");
    if (exe.endsWith(deleted)) {
        exe.chop(deleted.size());
    }
    const QString wanted = QFileInfo(program).canonicalFilePath();
    return exe == (wanted.isEmpty() ? QFileInfo(program).absoluteFilePath() : wanted);
}

pid_t DetachedJob::runningPid() const {
    QFile file(pidFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    bool ok = false;
    const qlonglong pid = file.read(32).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) {
        return 0;
    }
    return isRunning(pid_t(pid), m_program) ? pid_t(pid) : 0;
}

bool DetachedJob::start(QString* error) {
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create %1").arg(m_folder);
        return false;
    }
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Everything the children need is made before forking: after fork only
    // async-signal-safe calls are allowed.
    std::vector<QByteArray> encoded;
    for (const QString& argument : m_arguments) {
        encoded.push_back(QFile::encodeName(argument));
    }
    std::vector<char*> argv;
    for (QByteArray& argument : encoded) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const QByteArray logPath = QFile::encodeName(logFilePath());

    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(channel[0]);
        ::close(channel[1]);
        return false;
    }
    if (child == 0) {
        // The first child starts a session and leaves at once, so the agent
        // belongs to no terminal and no process of ours waits for it.
        ::close(channel[0]);
        ::setsid();
        const pid_t agent = ::fork();
        if (agent != 0) {
            writeFully(channel[1], &agent, sizeof agent);
            ::_exit(agent < 0 ? 1 : 0);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out >= 0 ? out : in, STDOUT_FILENO);
        ::dup2(out >= 0 ? out : in, STDERR_FILENO);
        if (::chdir("/") == 0) {
            ::execv(argv[0], argv.data());
        }
        const int failure = errno;
        writeFully(channel[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(channel[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t agent = -1;
    int failure = 0;
    const bool gotPid = readFully(channel[0], &agent, sizeof agent) == sizeof agent && agent > 0;
    // The pipe closes without a word when the program was executed.
    const bool execFailed = readFully(channel[0], &failure, sizeof failure) == sizeof failure;
    ::close(channel[0]);
    if (!gotPid) {
        *error = QStringLiteral("cannot start %1").arg(m_program);
        return false;
    }
    if (execFailed) {
        *error = QStringLiteral("cannot run %1: %2")
                     .arg(m_program, QString::fromLocal8Bit(std::strerror(failure)));
        return false;
    }

    QSaveFile pidFile(pidFilePath());
    if (!pidFile.open(QIODevice::WriteOnly) ||
        pidFile.write(QByteArray::number(qlonglong(agent)) + '\n') < 0 || !pidFile.commit()) {
        *error = QStringLiteral("started %1 (pid %2) but cannot write %3")
                     .arg(m_program)
                     .arg(agent)
                     .arg(pidFilePath());
        return false;
    }
    return true;
}

bool DetachedJob::stop(int waitMs) {
    const pid_t pid = runningPid();
    // Whatever the file says, it is stale once we are done.
    QFile::remove(pidFilePath());
    if (pid == 0) {
        return false;
    }
    ::kill(pid, SIGTERM);
    QDeadlineTimer deadline(waitMs);
    bool killed = false;
    while (isRunning(pid, m_program)) {
        if (deadline.hasExpired()) {
            if (killed) {
                break;
            }
            ::kill(pid, SIGKILL);
            killed = true;
            deadline.setRemainingTime(1000);
        }
        // The agent is not our child: nothing to wait on but its /proc entry.
        QThread::msleep(10);
    }
    return true;
}
