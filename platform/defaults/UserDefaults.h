#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <chrono>
#include <memory>

// A settings suite shared by several processes: the XML property list
// <directory>/<suite>.plist (directory defaults to $XDG_CONFIG_HOME, else
// ~/.config), mode 0600. Values are property-list values (PropertyList.h).
//
// Reads come from this object's in-memory copy. setObject changes only that
// copy and remembers the key; synchronize takes the cross-process lock,
// re-reads the file, applies just the keys (or array elements) this object
// changed and atomically replaces the file, so processes writing disjoint
// keys lose nothing.
//
// Other users must not be able to choose what is read or where it is
// written: the folder must belong to this user and not be writable by
// others, and the file, its lock and its temporary copies are opened inside
// that folder without following links. A file that is a link, not a plain
// file, another user's or writable by others is refused, never used.
class UserDefaults {
public:
    // The longest synchronize (and opening the suite) waits for another
    // process to release the suite's lock.
    static constexpr std::chrono::milliseconds lockWait{2000};

    // Nothing when the suite cannot be opened: its folder cannot be made or
    // is refused, or the file is refused (the reason is logged).
    static std::unique_ptr<UserDefaults> openSuite(const QString& suiteName,
                                                   const QString& directory = {});
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    QString filePath() const;

    // An invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    void setObject(const QString& key, const QVariant& value);
    void removeObjectForKey(const QString& key);
    // Changes one element of an array of independent settings, so another
    // process's change of another element survives. The array the file holds
    // is used as the base when it has as many elements as `fallback`, else
    // `fallback`.
    void setArrayElement(const QString& key, qsizetype index, const QVariant& value,
                         const QVariantList& fallback);
    // Whether changes are waiting for a successful synchronize.
    bool hasPendingChanges() const;

    // Typed reads: the default (0.0, false, null string, empty container) when
    // the key is absent or holds another type. Numbers read as doubles and
    // booleans read from numbers as the platform does.
    double doubleForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qlonglong integerForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;

    // Writes pending changes and picks up other processes' changes. False when
    // the file could not be written or the lock stayed taken longer than
    // lockWait (the reason is logged); pending changes are then kept for the
    // next attempt.
    bool synchronize();

private:
    struct Private;
    explicit UserDefaults(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
