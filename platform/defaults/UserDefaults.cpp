#include "defaults/UserDefaults.h"

#include "PropertyList.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcDefaults, "ondara.platform.defaults")

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A suite name becomes a file name inside the settings folder; anything that
// could reach outside it is refused.
bool isSafeSuiteName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString defaultDirectory() {
    // XDG base-directory rules: a relative value is to be ignored.
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured)) {
        return configured;
    }
    return QDir::homePath() + QStringLiteral("/.config");
}

// Like mkdir -p, but every folder it makes is private to the user.
bool makePrivateDirectory(const QString& path, QString* error) {
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(current);
        if (::mkdir(native.constData(), 0700) == 0) {
            continue;
        }
        const int mkdirError = errno;
        struct stat info {};
        if (mkdirError == EEXIST && ::stat(native.constData(), &info) == 0 &&
            S_ISDIR(info.st_mode)) {
            continue;
        }
        *error = mkdirError == EEXIST
                     ? QStringLiteral("%1 exists and is not a folder").arg(current)
                     : QStringLiteral("%1: %2").arg(current, errnoText(mkdirError));
        return false;
    }
    return true;
}

bool holdsOnlyPropertyListValues(const QVariant& value) {
    if (!value.isValid()) {
        return false;
    }
    if (PropertyList::isArray(value)) {
        const QVariantList list = value.toList();
        return std::all_of(list.cbegin(), list.cend(), holdsOnlyPropertyListValues);
    }
    if (PropertyList::isDictionary(value)) {
        const QVariantMap map = value.toMap();
        return std::all_of(map.cbegin(), map.cend(), holdsOnlyPropertyListValues);
    }
    return true;
}

// Holds the suite's advisory lock while it lives. flock belongs to the open
// file description, so two objects of one process exclude each other as two
// processes do, and a process that dies releases its lock with its files.
class SuiteLock {
public:
    SuiteLock() = default;
    SuiteLock(const SuiteLock&) = delete;
    SuiteLock& operator=(const SuiteLock&) = delete;
    ~SuiteLock() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    bool acquire(const QString& path, QString* error) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            *error = QStringLiteral("cannot open lock file %1: %2").arg(path, errnoText(errno));
            return false;
        }
        // A process that holds the lock and hangs (stopped in a debugger, stuck
        // on a dead network home) must not hang us with it: give up after a
        // while; the caller keeps its changes for the next attempt.
        QDeadlineTimer deadline(UserDefaults::lockWait);
        qint64 pauseMs = 1;
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                return true;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                *error = QStringLiteral("cannot lock %1: %2").arg(path, errnoText(errno));
                return false;
            }
            if (deadline.hasExpired()) {
                *error = QStringLiteral("%1 stayed locked by another process for %2 ms")
                             .arg(path)
                             .arg(UserDefaults::lockWait.count());
                return false;
            }
            QThread::msleep(ulong(std::clamp<qint64>(deadline.remainingTime(), 0, pauseMs)));
            pauseMs = std::min<qint64>(pauseMs * 2, 50);
        }
    }

private:
    int fd = -1;
};

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Moves `from` to `to` only when nothing is at `to` yet.
bool renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // Filesystems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP) {
        return false;
    }
    // No hard links either. The caller holds the suite's lock, so no other
    // writer of this suite can create the name between the test and the rename.
    struct stat info {};
    if (::lstat(to.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

qlonglong clampedInteger(double value) {
    constexpr double upper = 9223372036854775808.0; // 2^63, one past the largest qlonglong
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= upper) {
        return std::numeric_limits<qlonglong>::max();
    }
    if (value <= -upper) {
        return std::numeric_limits<qlonglong>::min();
    }
    return qlonglong(value);
}

} // namespace

struct UserDefaults::Private {
    QString directory;
    QString file;
    QString lockFile;
    QString temporaryPrefix;

    mutable QMutex mutex;
    QVariantMap values;
    // Keys set or removed since the last successful synchronize; an invalid
    // value marks a removal.
    QMap<QString, QVariant> pending;
    // A corrupt file was moved aside: the next synchronize puts a good one in
    // its place even when nothing changed.
    bool rewrite = false;

    enum class ReadResult { ok, failed };
    ReadResult readFile(bool holdingLock, QVariantMap* into, bool* movedAside);
    bool moveAside(QString* newPath, QString* error);
    bool writeFile(const QVariantMap& content, QString* error);
    void removeStaleTemporaries();
    bool synchronizeLocked();
};

UserDefaults::Private::ReadResult
UserDefaults::Private::readFile(bool holdingLock, QVariantMap* into, bool* movedAside) {
    *movedAside = false;
    into->clear();
    QFile source(file);
    if (!source.exists()) {
        return ReadResult::ok;
    }
    if (!source.open(QIODevice::ReadOnly)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot read settings file %1: %2").arg(file, source.errorString());
        return ReadResult::failed;
    }
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot read settings file %1: %2").arg(file, source.errorString());
        return ReadResult::failed;
    }
    source.close();

    QString reason;
    const auto parsed = PropertyList::parse(bytes, &reason);
    if (parsed && PropertyList::isDictionary(*parsed)) {
        *into = parsed->toMap();
        return ReadResult::ok;
    }
    if (parsed) {
        reason = QStringLiteral("the top level is not a dictionary");
    }
    if (!holdingLock) {
        // Only a lock holder may move the file: another process could be
        // replacing it with a good one at this very moment.
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Settings file %1 cannot be parsed (%2); reading it as empty")
                   .arg(file, reason);
        return ReadResult::ok;
    }
    QString newPath;
    QString error;
    if (!moveAside(&newPath, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral(
                   "Settings file %1 cannot be parsed (%2) and cannot be moved aside: %3")
                   .arg(file, reason, error);
        return ReadResult::failed;
    }
    qCWarning(lcDefaults).noquote()
        << QStringLiteral("Settings file %1 cannot be parsed (%2); kept it as %3 and started "
                          "with empty settings")
               .arg(file, reason, newPath);
    *movedAside = true;
    return ReadResult::ok;
}

bool UserDefaults::Private::moveAside(QString* newPath, QString* error) {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = file + QStringLiteral(".corrupt-") + stamp;
    const QByteArray from = QFile::encodeName(file);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString candidate =
            attempt == 0 ? base : base + QLatin1Char('-') + QString::number(attempt);
        if (renameWithoutReplacing(from, QFile::encodeName(candidate))) {
            *newPath = candidate;
            return true;
        }
        if (errno != EEXIST) {
            *error = errnoText(errno);
            return false;
        }
    }
    *error = QStringLiteral("too many earlier copies named %1*").arg(base);
    return false;
}

bool UserDefaults::Private::writeFile(const QVariantMap& content, QString* error) {
    const QByteArray bytes = PropertyList::toXml(content);
    if (bytes.isEmpty()) {
        *error = QStringLiteral("the settings could not be encoded");
        return false;
    }
    QByteArray temporary = QFile::encodeName(temporaryPrefix) + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot create a temporary file in %1: %2")
                     .arg(directory, errnoText(errno));
        return false;
    }
    QString failedStep;
    if (::fchmod(fd, 0600) != 0) {
        failedStep = QStringLiteral("cannot set the mode of");
    } else if (!writeAll(fd, bytes)) {
        failedStep = QStringLiteral("cannot write");
    } else if (::fsync(fd) != 0) {
        failedStep = QStringLiteral("cannot flush");
    }
    int failedErrno = errno;
    if (::close(fd) != 0 && failedStep.isEmpty()) {
        failedStep = QStringLiteral("cannot close");
        failedErrno = errno;
    }
    if (failedStep.isEmpty() &&
        ::rename(temporary.constData(), QFile::encodeName(file).constData()) != 0) {
        failedStep = QStringLiteral("cannot rename");
        failedErrno = errno;
    }
    if (!failedStep.isEmpty()) {
        ::unlink(temporary.constData());
        *error = QStringLiteral("%1 %2: %3")
                     .arg(failedStep, QFile::decodeName(temporary), errnoText(failedErrno));
        return false;
    }
    // Makes the rename itself durable. Some filesystems cannot sync a folder;
    // the new file is in place either way, so that is not a failure.
    const int dirFd =
        ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void UserDefaults::Private::removeStaleTemporaries() {
    // Writers hold the lock while their temporary file exists, so under the
    // lock any such file was left by a writer that died.
    const QString prefix = QFileInfo(temporaryPrefix).fileName();
    const QDir folder(directory);
    const QStringList entries =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.startsWith(prefix)) {
            QFile::remove(folder.filePath(entry));
        }
    }
}

bool UserDefaults::Private::synchronizeLocked() {
    QString error;
    if (!makePrivateDirectory(directory, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(file, error);
        return false;
    }
    SuiteLock lock;
    if (!lock.acquire(lockFile, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(file, error);
        return false;
    }
    QVariantMap merged;
    bool movedAside = false;
    if (readFile(true, &merged, &movedAside) != ReadResult::ok) {
        return false;
    }
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value().isValid()) {
            merged.insert(it.key(), it.value());
        } else {
            merged.remove(it.key());
        }
    }
    // Whatever happens next, this process sees the others' latest state with
    // its own changes on top.
    values = merged;
    if (pending.isEmpty() && !movedAside && !rewrite) {
        return true;
    }
    removeStaleTemporaries();
    if (!writeFile(merged, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(file, error);
        return false;
    }
    pending.clear();
    rewrite = false;
    return true;
}

UserDefaults::UserDefaults(std::unique_ptr<Private> d)
    : d(std::move(d)) {}

UserDefaults::~UserDefaults() {
    // Changes nobody synchronized would otherwise be lost with the object.
    QMutexLocker locker(&d->mutex);
    if (!d->pending.isEmpty()) {
        d->synchronizeLocked();
    }
}

std::unique_ptr<UserDefaults> UserDefaults::openSuite(const QString& suiteName,
                                                      const QString& directory) {
    if (!isSafeSuiteName(suiteName)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Refusing settings suite name \"%1\"").arg(suiteName);
        return nullptr;
    }
    const QString folder =
        QDir::cleanPath(QDir(directory.isEmpty() ? defaultDirectory() : directory).absolutePath());
    QString error;
    if (!makePrivateDirectory(folder, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot open settings suite %1: %2").arg(suiteName, error);
        return nullptr;
    }

    auto d = std::make_unique<Private>();
    d->directory = folder;
    d->file = folder + QLatin1Char('/') + suiteName + QStringLiteral(".plist");
    d->lockFile = d->file + QStringLiteral(".lock");
    d->temporaryPrefix = d->file + QStringLiteral(".tmp-");

    // A folder we may not write to still gives a readable suite; its
    // synchronize then reports the failure.
    SuiteLock lock;
    const bool locked = lock.acquire(d->lockFile, &error);
    d->readFile(locked, &d->values, &d->rewrite);
    return std::unique_ptr<UserDefaults>(new UserDefaults(std::move(d)));
}

QString UserDefaults::filePath() const {
    return d->file;
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    QMutexLocker locker(&d->mutex);
    return d->values.value(key);
}

void UserDefaults::setObject(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    const QVariant canonical = PropertyList::normalized(value);
    if (!holdsOnlyPropertyListValues(canonical)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Not storing key \"%1\": %2 is not a property-list value")
                   .arg(key, QString::fromLatin1(value.typeName()));
        return;
    }
    QMutexLocker locker(&d->mutex);
    d->values.insert(key, canonical);
    d->pending.insert(key, canonical);
}

void UserDefaults::removeObjectForKey(const QString& key) {
    QMutexLocker locker(&d->mutex);
    d->values.remove(key);
    d->pending.insert(key, QVariant());
}

double UserDefaults::doubleForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::LongLong:
        return value.toDouble();
    case QMetaType::Bool:
        return value.toBool() ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

bool UserDefaults::boolForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::LongLong:
        return value.toLongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    default:
        return false;
    }
}

qlonglong UserDefaults::integerForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::Double:
        return clampedInteger(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    default:
        return 0;
    }
}

QString UserDefaults::stringForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QVariantList UserDefaults::arrayForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    return PropertyList::isArray(value) ? value.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    return PropertyList::isDictionary(value) ? value.toMap() : QVariantMap();
}

bool UserDefaults::synchronize() {
    QMutexLocker locker(&d->mutex);
    return d->synchronizeLocked();
}
