#include "ata/AtaSmartInterface.h"
#include "ata/SgIoAtaDrive.h"
#include "ata/SgIoAtaSmartPlatform.h"
#include "ata/WholeDisks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

namespace {
void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}
} // namespace

class TestSgIoAtaSmartPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeDisksAreTheNonVirtualEntries() {
        // As the kernel lays it out: /block holds one link per whole disk
        // into /devices, each disk folder has its "major:minor" dev file.
        QTemporaryDir sysfs;
        QVERIFY(QDir(sysfs.path()).mkdir(QStringLiteral("block")));
        const QStringList disks = {"sdb 8:16 pci0000:00/0000:00:1f.2/ata2/host2/block/sdb",
                                   "sda 8:0 pci0000:00/0000:00:1f.2/ata1/host1/block/sda",
                                   "loop0 7:0 virtual/block/loop0",
                                   "dm-0 253:0 virtual/block/dm-0",
                                   "nvme0n1 259:0 pci0000:00/0000:3d:00.0/nvme/nvme0/nvme0n1",
                                   "nodev - pci0000:00/ata3/block/nodev"};
        for (const QString& disk : disks) {
            const QStringList fields = disk.split(QLatin1Char(' '));
            const QString folder = sysfs.filePath(QStringLiteral("devices/") + fields[2]);
            QVERIFY(QDir().mkpath(folder));
            if (fields[1] != QLatin1String("-")) {
                writeFile(folder + QStringLiteral("/dev"), fields[1].toLatin1() + '\n');
            }
            QVERIFY(QFile::link(QStringLiteral("../devices/") + fields[2],
                                sysfs.filePath(QStringLiteral("block/") + fields[0])));
        }
        // Linked by an absolute path into the virtual devices.
        QVERIFY(QDir().mkpath(sysfs.filePath(QStringLiteral("devices/virtual/block/ram0"))));
        QVERIFY(QFile::link(sysfs.filePath(QStringLiteral("devices/virtual/block/ram0")),
                            sysfs.filePath(QStringLiteral("block/ram0"))));
        // Old kernels kept the disks themselves in /block.
        QVERIFY(QDir().mkpath(sysfs.filePath(QStringLiteral("block/hda"))));
        writeFile(sysfs.filePath(QStringLiteral("block/hda/dev")), "3:0\n");

        SgIoAtaSmartPlatform platform(sysfs.path());
        std::optional<BlockStorageDeviceIterator> devices = platform.blockStorageDevices(nullptr);
        QVERIFY(devices);
        QStringList found;
        while (const auto device = devices->next()) {
            found << QStringLiteral("%1 %2").arg(device->name).arg(device->handle, 0, 16);
        }
        QCOMPARE(found, (QStringList{"hda 300", "nodev 0", "nvme0n1 10300", "sda 800", "sdb 810"}));
    }

    void searchFailsWithoutBlockFolder() {
        QTemporaryDir empty;
        SgIoAtaSmartPlatform platform(empty.path());
        AtaSmartPlatform::SearchFailure failure = AtaSmartPlatform::SearchFailure::masterPort;
        QVERIFY(!platform.blockStorageDevices(&failure));
        QCOMPARE(failure, AtaSmartPlatform::SearchFailure::matchingServices);
        // An empty one is a machine without disks.
        QVERIFY(QDir(empty.path()).mkdir(QStringLiteral("block")));
        QVERIFY(!platform.blockStorageDevices(nullptr)->next());
    }

    void deviceNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("number"); // -1: not a device number
        QTest::newRow("sda") << QStringLiteral("8:0") << 0x800LL;
        QTest::newRow("nvme") << QStringLiteral("259:0") << 0x10300LL;
        QTest::newRow("large minor") << QStringLiteral("8:256") << 0x100800LL;
        QTest::newRow("largest") << QStringLiteral("4095:1048575") << 0xFFFFFFFFLL;
        QTest::newRow("major too large") << QStringLiteral("4096:0") << -1LL;
        QTest::newRow("minor too large") << QStringLiteral("8:1048576") << -1LL;
        QTest::newRow("negative") << QStringLiteral("-1:0") << -1LL;
        QTest::newRow("no colon") << QStringLiteral("8") << -1LL;
        QTest::newRow("leading zero") << QStringLiteral("08:0") << -1LL;
        QTest::newRow("blank") << QStringLiteral("8: 0") << -1LL;
        QTest::newRow("newline") << QStringLiteral("8:0\n") << -1LL;
    }

    void deviceNumber() {
        QFETCH(QString, text);
        const auto parsed = DeviceNumber::parse(text.toStdString());
        QTEST(parsed ? qlonglong(parsed->encoded()) : -1LL, "number");
        if (parsed) {
            QCOMPARE(QString::fromStdString(parsed->text()), text);
        }
    }

    void deviceNode_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("node"); // empty: refused
        QTest::newRow("disk") << "sda"
                              << "/dev/sda";
        QTest::newRow("in a folder") << "cciss!c0d0"
                                     << "/dev/cciss/c0d0";
        QTest::newRow("slash") << "../etc"
                               << "";
        QTest::newRow("parent through !") << "a!..!etc"
                                          << "";
        QTest::newRow("hidden") << ".sda"
                                << "";
        QTest::newRow("empty part") << "a!!b"
                                    << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void deviceNode() {
        QFETCH(QString, name);
        QTEST(QString::fromStdString(WholeDisks::deviceNode("/dev", name.toStdString())), "node");
    }

    // Only the block device sysfs names is ever opened: whatever else its
    // node turns out to be refuses the plug-in, so the caller says so and
    // tries the next disk.
    void plugInRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such node") << QStringLiteral("sdz");
        QTest::newRow("regular file") << QStringLiteral("file");
        QTest::newRow("link to a device") << QStringLiteral("null");
        QTest::newRow("another device") << QStringLiteral("zero");
        QTest::newRow("number unknown") << QStringLiteral("nodev");
        QTest::newRow("not found by the search") << QStringLiteral("sdq");
    }

    void plugInRefused() {
        QFETCH(QString, name);
        QTemporaryDir sysfs;
        for (const char* disk : {"sdz 8:0", "file 8:16", "null 1:3", "zero 1:3", "nodev -"}) {
            const QStringList fields = QString::fromLatin1(disk).split(QLatin1Char(' '));
            QVERIFY(QDir().mkpath(sysfs.filePath(QStringLiteral("block/") + fields[0])));
            if (fields[1] != QLatin1String("-")) {
                writeFile(sysfs.filePath(QStringLiteral("block/%1/dev").arg(fields[0])),
                          fields[1].toLatin1() + '\n');
            }
        }
        QTemporaryDir dev;
        writeFile(dev.filePath(QStringLiteral("file")), "not a disk");
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dev.filePath(QStringLiteral("null"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dev.filePath(QStringLiteral("nodev"))));
        // /dev/zero is a character device 1:5, not the block device 1:3.
        SgIoAtaSmartPlatform platform(
            sysfs.path(), name == QLatin1String("zero") ? QStringLiteral("/dev") : dev.path());
        QVERIFY(platform.blockStorageDevices(nullptr));
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{2048, name}, &plugIn),
                 AtaSmartReturnCode::noDevice);
        QVERIFY(!plugIn);
    }

    void notPrivilegedWithoutRawAccess() {
        // Without CAP_SYS_RAWIO the kernel refuses the pass-through with EPERM.
        QCOMPARE(SgIoDisk::returnForErrno(EPERM), AtaSmartReturnCode::notPrivileged);
        QCOMPARE(SgIoDisk::returnForErrno(EACCES), AtaSmartReturnCode::notPrivileged);
    }

    void smartSupport_data() {
        QTest::addColumn<int>("word82");
        QTest::addColumn<bool>("supported");
        QTest::newRow("SMART and more") << 0x746B << true;
        QTest::newRow("no SMART") << 0x746A << false;
        QTest::newRow("word not filled in (0)") << 0x0000 << false;
        QTest::newRow("word not filled in (FFFF)") << 0xFFFF << false;
    }

    void smartSupport() {
        QFETCH(int, word82);
        AtaSmartInterface::DataBlock identify{};
        // Words are little-endian.
        identify[164] = uint8_t(word82 & 0xFF);
        identify[165] = uint8_t(word82 >> 8);
        QTEST(SgIoAtaDrive::supportsSmart(identify), "supported");
    }
};

QTEST_GUILESS_MAIN(TestSgIoAtaSmartPlatform)
#include "tst_sgioatasmartplatform.moc"
