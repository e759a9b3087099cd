#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {
// "free active inactive wired compressed / installed" in pages and bytes;
// "none" for what a source could not tell.
QString figuresText(const std::optional<VmStatistics>& statistics,
                    const std::optional<uint64_t>& installed) {
    return (statistics ? QStringLiteral("%1 %2 %3 %4 %5")
                             .arg(statistics->freeCount)
                             .arg(statistics->activeCount)
                             .arg(statistics->inactiveCount)
                             .arg(statistics->wireCount)
                             .arg(statistics->compressorPageCount)
                       : QStringLiteral("none")) +
           QStringLiteral(" / ") +
           (installed ? QString::number(*installed) : QStringLiteral("none"));
}

QString figures(VmStatisticsSource& source) {
    const auto statistics = source.statistics();
    return figuresText(statistics, source.installedMemoryBytes());
}

// Writes a fixture file, making its folders.
bool writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}
} // namespace

class VmStatisticsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void procMeminfo_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("figures");
        // Counts are in 4096-byte pages: kB / 4.
        QTest::newRow("desktop: online blocks only, zswap counted")
            << "desktop"
            << "524288 1048576 786432 82944 10240 / 402653184";
        QTest::newRow("virtual machine: no block folder, MemTotal instead")
            << "vm"
            << "262144 102400 51200 13312 0 / 4125097984";
        QTest::newRow("old kernel: state files, missing wired parts count 0")
            << "oldkernel"
            << "100000 50000 25000 1792 0 / 536870912";
        QTest::newRow("meminfo without Active: no statistics") << "broken"
                                                               << "none / 1024000000";
        QTest::newRow("unreadable block size: MemTotal instead")
            << "badblocks"
            << "100000 50000 25000 0 0 / 2048000000";
        QTest::newRow("nothing readable") << "missing"
                                          << "none / none";
    }

    void procMeminfo() {
        QFETCH(QString, machine);
        const QString root = QStringLiteral(ONDARA_TEST_DATA_DIR "/") + machine;
        ProcMeminfoSource source(root + QStringLiteral("/proc"), root + QStringLiteral("/sys"));
        QTEST(figures(source), "figures");
    }

    void parseMeminfo_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("figures");
        const QByteArray real = "MemTotal:       16145916 kB\n"
                                "MemFree:         2097152 kB\n"
                                "MemAvailable:    9000000 kB\n"
                                "Active:          4194304 kB\n"
                                "Inactive:        3145728 kB\n"
                                "Active(anon):    2000000 kB\n"
                                "Unevictable:       65536 kB\n"
                                "Mlocked:           32768 kB\n"
                                "Zswap:             40960 kB\n"
                                "SUnreclaim:       204800 kB\n"
                                "KernelStack:       20480 kB\n"
                                "PageTables:        40960 kB\n"
                                "HugePages_Total:       0\n";
        // "free active inactive wired compressed / MemTotal" in pages and bytes.
        QTest::newRow("a desktop kernel's lines, look-alike names left out")
            << real << "524288 1048576 786432 82944 10240 / 16533417984";
        QTest::newRow("cut before a value: no statistics")
            << real.left(real.indexOf("Inactive:") + 12) << "none / 16533417984";
        QTest::newRow("a plain count stays a count, the last line of a name counts")
            << QByteArray("MemFree: 12\nActive:\t 8 kB \r\nInactive: +4 kB\nActive: 16 kB\n")
            << "0 4 1 0 0 / none";
        QTest::newRow("other units, signs, words and 2^64 leave the line out")
            << QByteArray("MemFree: 5 MB\nMemFree: -4 kB\nMemFree: ++4 kB\nActive: x kB\n"
                          "Active: 4 kB extra\nInactive: 18446744073709551616\n"
                          "MemTotal: 18014398509481984 kB\nMemFree: 8 kB\nActive: 8 kB\n"
                          "Inactive: 8 kB\n")
            << "2 2 2 0 0 / none";
        QTest::newRow("wired parts missing count 0, spaces around names")
            << QByteArray("  MemFree  :   40 kB\nActive:4 kB\nInactive: 8 kB\n:5 kB\n\n")
            << "10 1 2 0 0 / none";
        QTest::newRow("binary garbage")
            << QByteArray("\0\xff:\n:::\nMemFree\0: 1 kB", 22) << "none / none";
        QTest::newRow("empty") << QByteArray() << "none / none";
    }

    void parseMeminfo() {
        QFETCH(QByteArray, text);
        const auto fields = ProcMeminfoSource::parseMeminfo(text);
        const auto statistics = ProcMeminfoSource::statisticsFromMeminfo(fields);
        QTEST(figuresText(statistics, fields.memTotal), "figures");
    }

    // The file stays open between reads (KeptOpenFile); what is read again
    // is whole lines of at most the limit, and only of a regular file.
    void meminfoReadAgain_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("figures");
        const QByteArray large = "MemFree: 8 kB\nActive: 8 kB\nInactive: 8 kB\n";
        QTest::newRow("huge: the start counts")
            << "rewrite" << large + QByteArray(ProcMeminfoSource::maximumMeminfoBytes, 'x')
            << "2 2 2 0 0 / none";
        // "MemFree: 8" would read as a count of 8 bytes.
        const QByteArray head = "Active: 8 kB\nInactive: 8 kB\n";
        QTest::newRow("huge: a line cut at the limit is not read")
            << "rewrite"
            << head + QByteArray(ProcMeminfoSource::maximumMeminfoBytes - head.size() - 10, '\n') +
                   "MemFree: 80 kB\n"
            << "none / none";
        QTest::newRow("a FIFO in its place: no figures, and no wait for a writer")
            << "fifo" << QByteArray() << "none / none";
        QTest::newRow("a folder in its place") << "folder" << QByteArray() << "none / none";
    }

    void meminfoReadAgain() {
        QFETCH(QString, change);
        QFETCH(QByteArray, second);
        QTemporaryDir root;
        const QString path = root.filePath(QStringLiteral("meminfo"));
        QVERIFY(writeFile(path, "MemFree: 4 kB\nActive: 4 kB\nInactive: 4 kB\n"));
        ProcMeminfoSource source(root.path(), root.filePath(QStringLiteral("nosys")));
        QCOMPARE(figures(source), QStringLiteral("1 1 1 0 0 / none"));
        if (change == QLatin1String("rewrite")) {
            QVERIFY(writeFile(path, second));
        } else {
            QVERIFY(QFile::remove(path));
            QVERIFY(change == QLatin1String("fifo")
                        ? ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0
                        : QDir().mkdir(path));
        }
        QTEST(figures(source), "figures");
    }

    void installedMemoryIsCountedAgainWhenMemTotalChanges() {
        QTemporaryDir root;
        const QString blocks = root.filePath(QStringLiteral("sys/devices/system/memory"));
        const auto write = [&root](const QString& name, const QByteArray& text) {
            return writeFile(root.filePath(name), text);
        };
        QVERIFY(write("sys/devices/system/memory/block_size_bytes", "8000000\n"));
        QVERIFY(write("sys/devices/system/memory/memory0/online", "1\n"));
        QVERIFY(write("sys/devices/system/memory/memory1/online", "1\n"));
        QVERIFY(write("proc/meminfo", "MemTotal: 262144 kB\n"));
        ProcMeminfoSource source(root.filePath("proc"), root.filePath("sys"));
        QCOMPARE(source.installedMemoryBytes(), 2 * 0x8000000ull);
        // Taken offline, the block leaves MemTotal smaller; until then the count stands.
        QVERIFY(write("sys/devices/system/memory/memory1/online", "0\n"));
        QCOMPARE(source.installedMemoryBytes(), 2 * 0x8000000ull);
        QVERIFY(write("proc/meminfo", "MemTotal: 131072 kB\n"));
        QCOMPARE(source.installedMemoryBytes(), 0x8000000ull);
        QVERIFY(QDir(blocks).removeRecursively());
        QVERIFY(write("proc/meminfo", "MemTotal: 131068 kB\n"));
        QCOMPARE(source.installedMemoryBytes(), 131068 * 1024ull);
    }

    void thisMachineAnswers() {
        // The real kernel must be readable by the default roots.
        ProcMeminfoSource source;
        const auto statistics = source.statistics();
        const auto installed = source.installedMemoryBytes();
        QVERIFY(statistics && installed);
        QVERIFY(statistics->freeCount * VmStatistics::pageSize <= *installed);
    }

    void profile_data() {
        QTest::addColumn<QVariantMap>("memory");
        QTest::addColumn<QString>("figures");
        QTest::newRow("complete")
            << QVariantMap{{"installed", 17179869184ll}, {"free", 524288ll}, {"active", 1000ll},
                           {"inactive", 2000ll},         {"wired", 3000ll},  {"compressed", 4000ll}}
            << "524288 1000 2000 3000 4000 / 17179869184";
        QTest::newRow("counts absent are 0, installed absent fails")
            << QVariantMap{{"free", 7}} << "7 0 0 0 0 / none";
        QTest::newRow("statistics query fails")
            << QVariantMap{{"installed", 1024ll}, {"free", 7ll}, {"fails", true}} << "none / 1024";
        QTest::newRow("negative and non-integer values are not counts")
            << QVariantMap{{"installed", -5ll}, {"free", QStringLiteral("12")}, {"active", -1ll}}
            << "0 0 0 0 0 / none";
    }

    void profile() {
        QFETCH(QVariantMap, memory);
        ProfileVmStatisticsSource source(memory);
        QTEST(figures(source), "figures");
    }
};

QTEST_GUILESS_MAIN(VmStatisticsTest)
#include "tst_vmstatistics.moc"
