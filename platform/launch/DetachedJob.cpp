#include "DetachedJob.h"

#include "LaunchAgentPlist.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
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

// When the process started, in clock ticks since boot (field 22 of
// /proc/<pid>/stat); together with the pid it names one process for good.
quint64 startTimeOf(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.read(4096);
    // The command name in parentheses may hold anything, blanks included.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

// Polling pace while waiting for another process: the agent is not our child.
constexpr ulong pollMs = 10;

} // namespace

DetachedJob::DetachedJob(const LaunchAgentPlist& plist, PrivateFolder runtimeFolder,
                         QDBusConnection bus)
    : m_label(plist.label())
    , m_arguments(plist.programArguments())
    , m_program(plist.program())
    , m_busName(plist.busName())
    , m_folder(std::move(runtimeFolder))
    , m_bus(std::move(bus)) {}

QString DetachedJob::pidFilePath() const {
    return m_folder.filePath(m_label + QStringLiteral(".pid"));
}

QString DetachedJob::logFilePath() const {
    return m_folder.filePath(m_label + QStringLiteral(".log"));
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

QString DetachedJob::busKey() const {
    if (m_busName.isEmpty()) {
        return QStringLiteral("-");
    }
    const QDBusReply<QString> id = m_bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    return id.isValid() ? id.value() : QString();
}

pid_t DetachedJob::busOwner() const {
    const QDBusReply<uint> pid = m_bus.interface()->servicePid(m_busName);
    return pid.isValid() ? pid_t(pid.value()) : 0;
}

bool DetachedJob::isOurs(const Record& record) const {
    return isRunning(record.pid, m_program) && startTimeOf(record.pid) == record.startTime &&
           (m_busName.isEmpty() || busOwner() == record.pid);
}

QList<DetachedJob::Record> DetachedJob::liveRecords() const {
    QString error;
    const auto bytes = m_folder.read(m_label + QStringLiteral(".pid"), 65536, &error);
    QList<Record> records;
    for (const QByteArray& line : bytes.value_or(QByteArray()).split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        bool pidOk = false;
        bool startOk = false;
        const qlonglong pid = fields.value(0).toLongLong(&pidOk);
        const quint64 start = fields.value(1).toULongLong(&startOk);
        if (fields.size() != 3 || !pidOk || !startOk || pid <= 0 ||
            pid > std::numeric_limits<pid_t>::max()) {
            continue;
        }
        const Record record{pid_t(pid), start, QString::fromLatin1(fields.at(2))};
        // Another session's agent stays recorded while it runs.
        if (isRunning(record.pid, m_program) && startTimeOf(record.pid) == record.startTime) {
            records.append(record);
        }
    }
    return records;
}

bool DetachedJob::writeRecords(const QList<Record>& records, QString* error) const {
    const QString name = m_label + QStringLiteral(".pid");
    if (records.isEmpty()) {
        return m_folder.remove(name);
    }
    QByteArray text;
    for (const Record& record : records) {
        text += QByteArray::number(qlonglong(record.pid)) + ' ' +
                QByteArray::number(record.startTime) + ' ' + record.bus.toLatin1() + '\n';
    }
    return m_folder.replace(name, text, name + QStringLiteral(".tmp-"), error);
}

FileDescriptor DetachedJob::lock(QString* error) const {
    FileDescriptor fd =
        m_folder.openFile(m_label + QStringLiteral(".lock"), O_RDWR | O_CREAT, error);
    if (!fd.isOpen()) {
        return fd;
    }
    const QDeadlineTimer deadline(lockWaitMs);
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
            *error = QStringLiteral("another ondara-launchctl holds %1")
                         .arg(m_folder.filePath(m_label + QStringLiteral(".lock")));
            return FileDescriptor();
        }
        QThread::msleep(pollMs);
    }
    return fd;
}

DetachedJob::Outcome DetachedJob::load(QString* message) {
    const FileDescriptor held = lock(message);
    if (!held.isOpen()) {
        return Outcome::failed;
    }
    const QString key = busKey();
    if (key.isEmpty()) {
        *message = QStringLiteral("cannot reach the session bus");
        return Outcome::failed;
    }
    QList<Record> records = liveRecords();
    for (const Record& record : std::as_const(records)) {
        if (record.bus == key && isOurs(record)) {
            *message = QStringLiteral("already loaded (pid %1)").arg(record.pid);
            return Outcome::alreadyRunning;
        }
    }
    if (!m_busName.isEmpty()) {
        if (const pid_t owner = busOwner()) {
            *message = QStringLiteral("%1 is already served on this bus (pid %2)")
                           .arg(m_busName)
                           .arg(owner);
            return Outcome::alreadyRunning;
        }
    }
    const pid_t pid = spawn(message);
    if (pid <= 0) {
        return Outcome::failed;
    }
    if (!awaitBusName(pid, message)) {
        return Outcome::failed;
    }
    records.removeIf([&](const Record& record) { return record.bus == key; });
    records.append({pid, startTimeOf(pid), key});
    QString error;
    if (!writeRecords(records, &error)) {
        *message = QStringLiteral("started (pid %1) but cannot record it: %2").arg(pid).arg(error);
        return Outcome::failed;
    }
    return Outcome::started;
}

bool DetachedJob::unload(QString* message, int waitMs) {
    const FileDescriptor held = lock(message);
    if (!held.isOpen()) {
        return false;
    }
    const QString key = busKey();
    if (key.isEmpty()) {
        *message = QStringLiteral("cannot reach the session bus");
        return false;
    }
    QList<Record> records = liveRecords();
    pid_t pid = 0;
    for (const Record& record : std::as_const(records)) {
        if (record.bus == key && isOurs(record)) {
            pid = record.pid;
        }
    }
    records.removeIf([&](const Record& record) { return record.bus == key; });
    QString error;
    writeRecords(records, &error);
    if (pid == 0) {
        *message = QStringLiteral("not loaded");
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
        QThread::msleep(pollMs);
    }
    // The bus daemon frees the name only once it has seen the socket close; a
    // load right after this one must find the name free, not fail on it.
    const QDeadlineTimer released(1000);
    while (!m_busName.isEmpty() && busOwner() == pid && !released.hasExpired()) {
        QThread::msleep(pollMs);
    }
    return true;
}

bool DetachedJob::awaitBusName(pid_t pid, QString* error) const {
    if (m_busName.isEmpty()) {
        return true;
    }
    const QDeadlineTimer deadline(startWaitMs);
    for (;;) {
        if (!isRunning(pid, m_program)) {
            *error = QStringLiteral("%1 ended at once; its output is in %2")
                         .arg(m_program, logFilePath());
            return false;
        }
        if (busOwner() == pid) {
            return true;
        }
        if (deadline.hasExpired()) {
            ::kill(pid, SIGTERM);
            *error = QStringLiteral("%1 did not take %2 within %3 s; stopped it")
                         .arg(m_program, m_busName)
                         .arg(startWaitMs / 1000);
            return false;
        }
        QThread::msleep(pollMs);
    }
}

pid_t DetachedJob::spawn(QString* error) const {
    // The agent's output goes to its log, which is opened here, inside the
    // checked folder: never through a link, never another user's file.
    const FileDescriptor log =
        m_folder.openFile(m_label + QStringLiteral(".log"), O_WRONLY | O_CREAT, error);
    if (!log.isOpen() || ::ftruncate(log.get(), 0) != 0) {
        if (error->isEmpty()) {
            *error = QStringLiteral("cannot empty %1").arg(logFilePath());
        }
        return -1;
    }
    const int flags = ::fcntl(log.get(), F_GETFL);
    ::fcntl(log.get(), F_SETFL, flags & ~O_NONBLOCK);

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

    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(channel[0]);
        ::close(channel[1]);
        return -1;
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
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::dup2(in, STDIN_FILENO);
        ::dup2(log.get(), STDOUT_FILENO);
        ::dup2(log.get(), STDERR_FILENO);
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
        return -1;
    }
    if (execFailed) {
        *error = QStringLiteral("cannot run %1: %2")
                     .arg(m_program, QString::fromLocal8Bit(std::strerror(failure)));
        return -1;
    }
    return agent;
}
