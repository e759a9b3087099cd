#pragma once

#include "smc/AppleSmcSysfsDriver.h"

#include <QByteArray>
#include <QList>
#include <QString>

class MachineProfile;

// The applesmc driver's sysfs files for a given set of keys, written under a
// test's root directory the way the kernel shows them: the index register and
// its attribute files, and the world-readable temperature and fan files.
class FakeAppleSmcTree {
public:
    struct Key {
        QByteArray name, type, data; // four characters, four characters, value bytes
    };
    enum class Layout { platformDevice, hwmonClass };
    // How the index register looks to the caller: usable, or refused the way
    // an unprivileged caller (or an old kernel) meets it.
    enum class IndexRegister { writable, missing, directory };

    FakeAppleSmcTree(const QString& root, QList<Key> keys, Layout layout = Layout::platformDevice,
                     IndexRegister indexRegister = IndexRegister::writable);

    // The keys of a machine profile's SMC, with their value bytes at time 0.
    static QList<Key> keysOf(const MachineProfile& profile);

    QString deviceDirectory() const { return directory; }
    // What the kernel does when an index is written to key_at_index.
    void showIndexWrittenToRegister();

    int selections = 0;
    // The next this many selections show the key of the following index, as
    // when another process moves the shared index in between.
    int interferences = 0;

private:
    void write(const QString& name, const QByteArray& content) const;
    void show(int index);
    const Key* find(const QByteArray& name) const;

    QString directory;
    QList<Key> keys; // sorted byte-wise, as the SMC lists them
};

// The applesmc backend over a fake tree, with the tree playing the kernel's
// part when an index is selected.
class KernelLikeSysfsDriver : public AppleSmcSysfsDriver {
public:
    KernelLikeSysfsDriver(const QString& root, FakeAppleSmcTree& tree)
        : AppleSmcSysfsDriver(root)
        , tree(tree) {}

protected:
    void indexSelected(const QString&, int) override { tree.showIndexWrittenToRegister(); }

private:
    FakeAppleSmcTree& tree;
};
