#include "defaults/UserDefaults.h"

#include "PrivateFolder.h"
#include "PropertyList.h"
#include "PropertyListBounds.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
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
#include <utility>

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
    bool acquire(const PrivateFolder& folder, const QString& name, QString* error) {
        const QString path = folder.filePath(name);
        fd = folder.openFile(name, O_RDWR | O_CREAT, error);
        if (!fd.isOpen()) {
            *error = QStringLiteral("cannot open lock file: %1").arg(*error);
            return false;
        }
        // A process that holds the lock and hangs (stopped in a debugger, stuck
        // on a dead network home) must not hang us with it: give up after a
        // while; the caller keeps its changes for the next attempt.
        QDeadlineTimer deadline(UserDefaults::lockWait);
        qint64 pauseMs = 1;
        for (;;) {
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
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
            // A short ceiling on the pause: a writer that saves again and again
            // takes the lock back within milliseconds of releasing it, and a
            // waiter that looks only every 50 ms can miss every gap for the
            // whole wait.
            QThread::msleep(ulong(std::clamp<qint64>(deadline.remainingTime(), 0, pauseMs)));
            pauseMs = std::min<qint64>(pauseMs * 2, 5);
        }
    }

private:
    FileDescriptor fd;
};

// Moves `from` to `to` inside one folder only when nothing is at `to` yet.
bool renameWithoutReplacing(int folder, const QByteArray& from, const QByteArray& to) {
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // Filesystems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) == 0) {
        ::unlinkat(folder, from.constData(), 0);
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP) {
        return false;
    }
    // No hard links either. The caller holds the suite's lock, so no other
    // writer of this suite can create the name between the test and the rename.
    struct stat info {};
    if (::fstatat(folder, to.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(folder, from.constData(), folder, to.constData()) == 0;
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
    // Names inside the folder, and the settings file's full path for messages.
    QString fileName;
    QString lockName;
    QString temporaryPrefix;
    QString file;

    mutable QMutex mutex;
    QVariantMap values;
    // Keys set or removed since the last successful synchronize; an invalid
    // value marks a removal.
    QMap<QString, QVariant> pending;
    // Array elements set since then, with the array they go into when the
    // file holds none of the right length.
    QMap<QString, QMap<qsizetype, QVariant>> pendingElements;
    QMap<QString, QVariantList> elementFallbacks;
    // A corrupt file was moved aside: the next synchronize puts a good one in
    // its place even when nothing changed.
    bool rewrite = false;

    enum class ReadResult { ok, failed, refused };
    ReadResult readFile(const PrivateFolder& folder, bool holdingLock, QVariantMap* into,
                        bool* movedAside);
    bool moveAside(const PrivateFolder& folder, QString* newPath, QString* error);
    void removeStaleTemporaries(const PrivateFolder& folder);
    void applyPending(QVariantMap* merged) const;
    bool synchronizeLocked();
};

UserDefaults::Private::ReadResult UserDefaults::Private::readFile(const PrivateFolder& folder,
                                                                  bool holdingLock,
                                                                  QVariantMap* into,
                                                                  bool* movedAside) {
    *movedAside = false;
    into->clear();
    QString error;
    // One byte more than a property list may have tells a file that is too
    // large without reading all of it.
    const auto bytes = folder.read(fileName, PropertyListBounds::maximumSize, &error);
    if (!bytes) {
        if (error.isEmpty()) {
            return ReadResult::ok; // no file yet
        }
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Refusing settings file %1: %2").arg(file, error);
        return ReadResult::refused;
    }

    QString reason;
    const auto parsed = PropertyList::parse(*bytes, &reason);
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
    if (!moveAside(folder, &newPath, &error)) {
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

bool UserDefaults::Private::moveAside(const PrivateFolder& folder, QString* newPath,
                                      QString* error) {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = fileName + QStringLiteral(".corrupt-") + stamp;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString candidate =
            attempt == 0 ? base : base + QLatin1Char('-') + QString::number(attempt);
        if (renameWithoutReplacing(folder.fd(), QFile::encodeName(fileName),
                                   QFile::encodeName(candidate))) {
            *newPath = folder.filePath(candidate);
            return true;
        }
        if (errno != EEXIST) {
            *error = errnoText(errno);
            return false;
        }
    }
    *error = QStringLiteral("too many earlier copies named %1*").arg(folder.filePath(base));
    return false;
}

void UserDefaults::Private::removeStaleTemporaries(const PrivateFolder& folder) {
    // Writers hold the lock while their temporary file exists, so under the
    // lock any such file was left by a writer that died.
    const QStringList entries =
        QDir(directory).entryList({temporaryPrefix + QLatin1Char('*')},
                                  QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        folder.remove(entry);
    }
}

void UserDefaults::Private::applyPending(QVariantMap* merged) const {
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value().isValid()) {
            merged->insert(it.key(), it.value());
        } else {
            merged->remove(it.key());
        }
    }
    for (auto it = pendingElements.cbegin(); it != pendingElements.cend(); ++it) {
        const QVariantList fallback = elementFallbacks.value(it.key());
        QVariantList array = PropertyList::arrayOf(merged->value(it.key())).value_or(fallback);
        if (array.size() != fallback.size()) {
            array = fallback;
        }
        for (auto element = it.value().cbegin(); element != it.value().cend(); ++element) {
            array[element.key()] = element.value();
        }
        merged->insert(it.key(), array);
    }
}

bool UserDefaults::Private::synchronizeLocked() {
    QString error;
    const auto folder =
        PrivateFolder::make(directory, PrivateFolder::Access::othersMayRead, &error);
    SuiteLock lock;
    if (!folder || !lock.acquire(*folder, lockName, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(file, error);
        return false;
    }
    QVariantMap merged;
    bool movedAside = false;
    if (readFile(*folder, true, &merged, &movedAside) != ReadResult::ok) {
        return false;
    }
    applyPending(&merged);
    // Whatever happens next, this process sees the others' latest state with
    // its own changes on top.
    values = merged;
    if (pending.isEmpty() && pendingElements.isEmpty() && !movedAside && !rewrite) {
        return true;
    }
    removeStaleTemporaries(*folder);
    const QByteArray bytes = PropertyList::toXml(merged);
    if (bytes.isEmpty()) {
        error = QStringLiteral("the settings could not be encoded");
    }
    if (bytes.isEmpty() || !folder->replace(fileName, bytes, temporaryPrefix, &error)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot save settings to %1: %2").arg(file, error);
        return false;
    }
    pending.clear();
    pendingElements.clear();
    elementFallbacks.clear();
    rewrite = false;
    return true;
}

UserDefaults::UserDefaults(std::unique_ptr<Private> d)
    : d(std::move(d)) {}

UserDefaults::~UserDefaults() {
    // Changes nobody synchronized would otherwise be lost with the object.
    QMutexLocker locker(&d->mutex);
    if (!d->pending.isEmpty() || !d->pendingElements.isEmpty()) {
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
    const QString path =
        QDir::cleanPath(QDir(directory.isEmpty() ? defaultDirectory() : directory).absolutePath());
    QString error;
    const auto folder = PrivateFolder::make(path, PrivateFolder::Access::othersMayRead, &error);
    if (!folder) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot open settings suite %1: %2").arg(suiteName, error);
        return nullptr;
    }

    auto d = std::make_unique<Private>();
    d->directory = path;
    d->fileName = suiteName + QStringLiteral(".plist");
    d->lockName = d->fileName + QStringLiteral(".lock");
    d->temporaryPrefix = d->fileName + QStringLiteral(".tmp-");
    d->file = folder->filePath(d->fileName);

    // A folder we may not write to still gives a readable suite; its
    // synchronize then reports the failure.
    SuiteLock lock;
    const bool locked = lock.acquire(*folder, d->lockName, &error);
    if (d->readFile(*folder, locked, &d->values, &d->rewrite) == Private::ReadResult::refused) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Cannot open settings suite %1: its file is refused").arg(suiteName);
        return nullptr;
    }
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
    d->pendingElements.remove(key);
}

void UserDefaults::removeObjectForKey(const QString& key) {
    QMutexLocker locker(&d->mutex);
    d->values.remove(key);
    d->pending.insert(key, QVariant());
    d->pendingElements.remove(key);
}

void UserDefaults::setArrayElement(const QString& key, qsizetype index, const QVariant& value,
                                   const QVariantList& fallback) {
    const QVariant canonical = PropertyList::normalized(value);
    const QVariant canonicalFallback = PropertyList::normalized(fallback);
    if (index < 0 || index >= fallback.size() || !holdsOnlyPropertyListValues(canonical) ||
        !holdsOnlyPropertyListValues(canonicalFallback)) {
        qCWarning(lcDefaults).noquote()
            << QStringLiteral("Not storing element %1 of key \"%2\"").arg(index).arg(key);
        return;
    }
    QMutexLocker locker(&d->mutex);
    QVariantList array = PropertyList::arrayOf(d->values.value(key)).value_or(QVariantList());
    if (array.size() != fallback.size()) {
        array = canonicalFallback.toList();
    }
    array[index] = canonical;
    d->values.insert(key, array);
    if (d->pending.contains(key)) {
        // A whole value already waits: the element goes into it.
        d->pending.insert(key, array);
        return;
    }
    d->pendingElements[key].insert(index, canonical);
    d->elementFallbacks.insert(key, canonicalFallback.toList());
}

bool UserDefaults::hasPendingChanges() const {
    QMutexLocker locker(&d->mutex);
    return !d->pending.isEmpty() || !d->pendingElements.isEmpty() || d->rewrite;
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
