#include "ata/AtaSmartInterface.h"
#include "ata/SgIoAtaDrive.h"
#include "ata/SgIoAtaSmartPlatform.h"

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
        QTest::newRow("sda") << QStringLiteral("8:0\n") << 0x800LL;
        QTest::newRow("nvme") << QStringLiteral("259:0") << 0x10300LL;
        QTest::newRow("large minor") << QStringLiteral("8:256") << 0x100800LL;
        QTest::newRow("largest") << QStringLiteral("4095:1048575") << 0xFFFFFFFFLL;
        QTest::newRow("major too large") << QStringLiteral("4096:0") << -1LL;
        QTest::newRow("minor too large") << QStringLiteral("8:1048576") << -1LL;
        QTest::newRow("negative") << QStringLiteral("-1:0") << -1LL;
        QTest::newRow("no colon") << QStringLiteral("8") << -1LL;
    }

    void deviceNumber() {
        QFETCH(QString, text);
        const std::optional<uint32_t> parsed = SgIoAtaSmartPlatform::deviceNumber(text);
        QTEST(parsed ? qlonglong(*parsed) : -1LL, "number");
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
    }

    void plugInRefused() {
        QFETCH(QString, name);
        QTemporaryDir dev;
        writeFile(dev.filePath(QStringLiteral("file")), "not a disk");
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dev.filePath(QStringLiteral("null"))));
        SgIoAtaSmartPlatform platform(QStringLiteral("/sys"), dev.path());
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QTEST(platform.createPlugIn(BlockStorageDevice{2048, name}, &plugIn), "result");
        QVERIFY(!plugIn);
        QCOMPARE(platform.deviceNode(QStringLiteral("cciss!c0d0")), dev.filePath("cciss/c0d0"));
    }

    void notPrivilegedWithoutRawAccess() {
        // Without CAP_SYS_RAWIO the kernel refuses the pass-through with EPERM.
        QCOMPARE(SgIoAtaDrive::returnForErrno(EPERM), AtaSmartReturnCode::notPrivileged);
        QCOMPARE(SgIoAtaDrive::returnForErrno(EACCES), AtaSmartReturnCode::notPrivileged);
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
