#include "ata/AtaSmartInterface.h"
#include "ata/SgIoAtaDrive.h"
#include "ata/SgIoAtaSmartPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <unistd.h>

namespace {
// A sysfs tree laid out as the kernel does: /block holds one link per whole
// disk into /devices, each disk folder has its "major:minor" dev file.
class FakeSysfs {
public:
    bool isValid() const { return directory.isValid(); }
    QString root() const { return directory.path(); }

    // A disk at devices/<devicePath>, linked from block/<name>.
    void addDisk(const QString& name, const QString& devicePath, const QString& dev) {
        const QString folder = root() + QStringLiteral("/devices/") + devicePath;
        QVERIFY(QDir().mkpath(folder));
        if (!dev.isNull()) {
            writeFile(folder + QStringLiteral("/dev"), dev);
        }
        QVERIFY(QDir().mkpath(root() + QStringLiteral("/block")));
        const QString target = QStringLiteral("../devices/") + devicePath;
        QVERIFY(QFile::link(target, root() + QStringLiteral("/block/") + name));
    }

    static void writeFile(const QString& path, const QString& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toLatin1());
    }

private:
    QTemporaryDir directory;
};

QStringList names(BlockStorageDeviceIterator devices) {
    QStringList found;
    while (const auto device = devices.next()) {
        found << device->name;
    }
    return found;
}
} // namespace

class TestSgIoAtaSmartPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeDisksAreTheNonVirtualEntries() {
        FakeSysfs sysfs;
        QVERIFY(sysfs.isValid());
        const QString ahci = QStringLiteral("pci0000:00/0000:00:1f.2/ata%1/host%1/target%1:0:0/"
                                            "%1:0:0:0/block/%2");
        sysfs.addDisk(QStringLiteral("sdb"), ahci.arg(2).arg(QStringLiteral("sdb")),
                      QStringLiteral("8:16\n"));
        sysfs.addDisk(QStringLiteral("sda"), ahci.arg(1).arg(QStringLiteral("sda")),
                      QStringLiteral("8:0\n"));
        sysfs.addDisk(QStringLiteral("loop0"), QStringLiteral("virtual/block/loop0"),
                      QStringLiteral("7:0\n"));
        sysfs.addDisk(QStringLiteral("dm-0"), QStringLiteral("virtual/block/dm-0"),
                      QStringLiteral("253:0\n"));
        sysfs.addDisk(QStringLiteral("zram0"), QStringLiteral("virtual/block/zram0"),
                      QStringLiteral("252:0\n"));
        sysfs.addDisk(QStringLiteral("nvme0n1"),
                      QStringLiteral("pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1"),
                      QStringLiteral("259:0\n"));
        // Linked by an absolute path into the virtual devices.
        QVERIFY(QDir().mkpath(sysfs.root() + QStringLiteral("/devices/virtual/block/ram0")));
        QVERIFY(QFile::link(sysfs.root() + QStringLiteral("/devices/virtual/block/ram0"),
                            sysfs.root() + QStringLiteral("/block/ram0")));
        // Old kernels kept the disks themselves in /block.
        QVERIFY(QDir().mkpath(sysfs.root() + QStringLiteral("/block/hda")));
        FakeSysfs::writeFile(sysfs.root() + QStringLiteral("/block/hda/dev"),
                             QStringLiteral("3:0\n"));

        SgIoAtaSmartPlatform platform(sysfs.root(), QStringLiteral("/nonexistent-dev"));
        AtaSmartPlatform::SearchFailure failure = AtaSmartPlatform::SearchFailure::masterPort;
        std::optional<BlockStorageDeviceIterator> devices = platform.blockStorageDevices(&failure);
        QVERIFY(devices);

        QList<BlockStorageDevice> found;
        while (const auto device = devices->next()) {
            found << *device;
        }
        QStringList foundNames;
        QList<uint32_t> handles;
        for (const BlockStorageDevice& device : found) {
            foundNames << device.name;
            handles << device.handle;
        }
        QCOMPARE(foundNames, (QStringList{QStringLiteral("hda"), QStringLiteral("nvme0n1"),
                                          QStringLiteral("sda"), QStringLiteral("sdb")}));
        QCOMPARE(handles, (QList<uint32_t>{0x0300, 0x10300, 0x0800, 0x0810}));
    }

    void diskWithoutDevFileHasHandleZero() {
        FakeSysfs sysfs;
        sysfs.addDisk(QStringLiteral("sda"), QStringLiteral("pci0000:00/ata1/block/sda"),
                      QString());
        SgIoAtaSmartPlatform platform(sysfs.root());
        auto devices = platform.blockStorageDevices(nullptr);
        QVERIFY(devices);
        const auto device = devices->next();
        QVERIFY(device);
        QCOMPARE(device->handle, 0u);
        QVERIFY(!devices->next());
    }

    void searchFailsWithoutBlockFolder() {
        QTemporaryDir empty;
        SgIoAtaSmartPlatform platform(empty.path());
        AtaSmartPlatform::SearchFailure failure = AtaSmartPlatform::SearchFailure::masterPort;
        QVERIFY(!platform.blockStorageDevices(&failure));
        QCOMPARE(failure, AtaSmartPlatform::SearchFailure::matchingServices);
    }

    void emptyBlockFolderHasNoDisks() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("block")));
        SgIoAtaSmartPlatform platform(root.path());
        auto devices = platform.blockStorageDevices(nullptr);
        QVERIFY(devices);
        QVERIFY(names(*devices).isEmpty());
    }

    void deviceNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("number"); // -1: not a device number

        QTest::newRow("sda") << QStringLiteral("8:0\n") << 0x800LL;
        QTest::newRow("sdb") << QStringLiteral("8:16") << 0x810LL;
        QTest::newRow("nvme") << QStringLiteral("259:0") << 0x10300LL;
        QTest::newRow("large minor") << QStringLiteral("8:256") << 0x100800LL;
        QTest::newRow("largest") << QStringLiteral("4095:1048575") << 0xFFFFFFFFLL;
        QTest::newRow("major too large") << QStringLiteral("4096:0") << -1LL;
        QTest::newRow("minor too large") << QStringLiteral("8:1048576") << -1LL;
        QTest::newRow("negative") << QStringLiteral("-1:0") << -1LL;
        QTest::newRow("no colon") << QStringLiteral("8") << -1LL;
        QTest::newRow("text") << QStringLiteral("sda") << -1LL;
        QTest::newRow("empty") << QString() << -1LL;
    }

    void deviceNumber() {
        QFETCH(QString, text);
        QFETCH(qlonglong, number);
        const std::optional<uint32_t> parsed = SgIoAtaSmartPlatform::deviceNumber(text);
        QCOMPARE(parsed ? qlonglong(*parsed) : -1LL, number);
    }

    void deviceNode() {
        SgIoAtaSmartPlatform platform(QStringLiteral("/sys"), QStringLiteral("/tmp/dev"));
        QCOMPARE(platform.deviceNode(QStringLiteral("sda")), QStringLiteral("/tmp/dev/sda"));
        QCOMPARE(platform.deviceNode(QStringLiteral("cciss!c0d0")),
                 QStringLiteral("/tmp/dev/cciss/c0d0"));
    }

    // A node that is not a disk taking ATA commands refuses its plug-in with
    // a code, so the caller can say so and try the next disk.
    void plugInRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<AtaSmartReturn>("result");

        QTest::newRow("no such node") << QStringLiteral("sdz") << AtaSmartReturnCode::noDevice;
        QTest::newRow("regular file") << QStringLiteral("file") << AtaSmartReturnCode::unsupported;
        QTest::newRow("character device without SG_IO")
            << QStringLiteral("null") << AtaSmartReturnCode::unsupported;
        QTest::newRow("path outside the device folder")
            << QStringLiteral("../etc") << AtaSmartReturnCode::noDevice;
        QTest::newRow("empty name") << QString() << AtaSmartReturnCode::noDevice;
    }

    void plugInRefused() {
        QFETCH(QString, name);
        QFETCH(AtaSmartReturn, result);

        QTemporaryDir dev;
        FakeSysfs::writeFile(dev.filePath(QStringLiteral("file")), QStringLiteral("not a disk"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dev.filePath(QStringLiteral("null"))));

        SgIoAtaSmartPlatform platform(QStringLiteral("/sys"), dev.path());
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{2048, name}, &plugIn), result);
        QVERIFY(!plugIn);
    }

    void unreadableNodeIsNotPrivileged() {
        if (::geteuid() == 0) {
            QSKIP("root opens any file");
        }
        QTemporaryDir dev;
        const QString node = dev.filePath(QStringLiteral("sda"));
        FakeSysfs::writeFile(node, QString());
        QVERIFY(QFile::setPermissions(node, QFile::Permissions()));
        SgIoAtaSmartPlatform platform(QStringLiteral("/sys"), dev.path());
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{2048, QStringLiteral("sda")}, &plugIn),
                 AtaSmartReturnCode::notPrivileged);
    }

    void errnoCodes_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<AtaSmartReturn>("result");

        // Without CAP_SYS_RAWIO the kernel refuses the pass-through with EPERM.
        QTest::newRow("EPERM") << EPERM << AtaSmartReturnCode::notPrivileged;
        QTest::newRow("EACCES") << EACCES << AtaSmartReturnCode::notPrivileged;
        QTest::newRow("ENOENT") << ENOENT << AtaSmartReturnCode::noDevice;
        QTest::newRow("ENXIO") << ENXIO << AtaSmartReturnCode::noDevice;
        QTest::newRow("ENOMEDIUM") << ENOMEDIUM << AtaSmartReturnCode::noDevice;
        QTest::newRow("ENOTTY") << ENOTTY << AtaSmartReturnCode::unsupported;
        QTest::newRow("EINVAL") << EINVAL << AtaSmartReturnCode::unsupported;
        QTest::newRow("EIO") << EIO << AtaSmartReturnCode::ioError;
        QTest::newRow("ENOMEM") << ENOMEM << AtaSmartReturnCode::error;
    }

    void errnoCodes() {
        QFETCH(int, error);
        QFETCH(AtaSmartReturn, result);
        QCOMPARE(SgIoAtaDrive::returnForErrno(error), result);
    }

    void smartSupport_data() {
        QTest::addColumn<int>("word82");
        QTest::addColumn<bool>("supported");

        QTest::newRow("SMART and more") << 0x746B << true;
        QTest::newRow("SMART only") << 0x0001 << true;
        QTest::newRow("no SMART") << 0x746A << false;
        QTest::newRow("word not filled in (0)") << 0x0000 << false;
        QTest::newRow("word not filled in (FFFF)") << 0xFFFF << false;
    }

    void smartSupport() {
        QFETCH(int, word82);
        QFETCH(bool, supported);
        AtaSmartInterface::DataBlock identify{};
        // Words are little-endian.
        identify[164] = uint8_t(word82 & 0xFF);
        identify[165] = uint8_t(word82 >> 8);
        QCOMPARE(SgIoAtaDrive::supportsSmart(identify), supported);
    }
};

QTEST_GUILESS_MAIN(TestSgIoAtaSmartPlatform)
#include "tst_sgioatasmartplatform.moc"
