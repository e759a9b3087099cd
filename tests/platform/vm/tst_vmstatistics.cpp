#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QTest>

namespace {
// "free active inactive wired compressed / installed" in pages and bytes;
// "none" for what a source could not tell.
QString figures(VmStatisticsSource& source) {
    const auto statistics = source.statistics();
    const auto installed = source.installedMemoryBytes();
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

    void parseMeminfoKeepsUnitsApart() {
        const auto fields = ProcMeminfoSource::parseMeminfo("MemFree:   12 kB\n"
                                                            "HugePages_Total:     3\n"
                                                            "Garbage line\n"
                                                            "Weird:  x kB\n"
                                                            "Odd:  5 MB\n");
        QCOMPARE(fields,
                 (QHash<QByteArray, uint64_t>{{"MemFree", 12u * 1024}, {"HugePages_Total", 3u}}));
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
