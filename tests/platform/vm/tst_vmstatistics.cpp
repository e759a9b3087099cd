#include "vm/ProcMeminfoSource.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QTest>

using OptionalStatistics = std::optional<VmStatistics>;
using OptionalBytes = std::optional<uint64_t>;
Q_DECLARE_METATYPE(OptionalStatistics)
Q_DECLARE_METATYPE(OptionalBytes)

namespace {
QString machine(const QString& name) {
    return QStringLiteral(ONDARA_TEST_DATA_DIR "/") + name;
}
} // namespace

namespace QTest {
template <> char* toString(const OptionalStatistics& value) {
    if (!value) {
        return qstrdup("none");
    }
    return qstrdup(QStringLiteral("{free %1 active %2 inactive %3 wired %4 compressed %5}")
                       .arg(value->freeCount)
                       .arg(value->activeCount)
                       .arg(value->inactiveCount)
                       .arg(value->wireCount)
                       .arg(value->compressorPageCount)
                       .toUtf8()
                       .constData());
}
template <> char* toString(const OptionalBytes& value) {
    return qstrdup(value ? QByteArray::number(qulonglong(*value)).constData() : "none");
}
} // namespace QTest

class VmStatisticsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void procMeminfo_data() {
        QTest::addColumn<QString>("machineName");
        QTest::addColumn<OptionalStatistics>("statistics");
        QTest::addColumn<OptionalBytes>("installed");

        // Counts are in 4096-byte pages: kB / 4.
        QTest::newRow("desktop: online blocks only, zswap counted")
            << "desktop" << OptionalStatistics(VmStatistics{524288, 1048576, 786432, 82944, 10240})
            << OptionalBytes(3ull * 0x8000000);
        QTest::newRow("virtual machine: no block folder, MemTotal instead")
            << "vm" << OptionalStatistics(VmStatistics{262144, 102400, 51200, 13312, 0})
            << OptionalBytes(4028416ull * 1024);
        QTest::newRow("old kernel: state files, missing wired parts count 0")
            << "oldkernel" << OptionalStatistics(VmStatistics{100000, 50000, 25000, 1792, 0})
            << OptionalBytes(2ull * 0x10000000);
        QTest::newRow("meminfo without Active: no statistics")
            << "broken" << OptionalStatistics() << OptionalBytes(1000000ull * 1024);
        QTest::newRow("unreadable block size: MemTotal instead")
            << "badblocks" << OptionalStatistics(VmStatistics{100000, 50000, 25000, 0, 0})
            << OptionalBytes(2000000ull * 1024);
        QTest::newRow("nothing readable") << "missing" << OptionalStatistics() << OptionalBytes();
    }
    void procMeminfo() {
        QFETCH(QString, machineName);
        QFETCH(OptionalStatistics, statistics);
        QFETCH(OptionalBytes, installed);

        ProcMeminfoSource source(machine(machineName) + QStringLiteral("/proc"),
                                 machine(machineName) + QStringLiteral("/sys"));
        QCOMPARE(source.statistics(), statistics);
        QCOMPARE(source.installedMemoryBytes(), installed);
    }

    void parseMeminfoKeepsUnitsApart() {
        const auto fields = ProcMeminfoSource::parseMeminfo("MemFree:   12 kB\n"
                                                            "HugePages_Total:     3\n"
                                                            "Garbage line\n"
                                                            "Weird:  x kB\n"
                                                            "Odd:  5 MB\n");
        QCOMPARE(fields.value("MemFree"), 12u * 1024);
        QCOMPARE(fields.value("HugePages_Total"), 3u);
        QVERIFY(!fields.contains("Weird"));
        QVERIFY(!fields.contains("Odd"));
        QCOMPARE(fields.size(), 2);
    }

    void thisMachineAnswers() {
        // The real kernel must be readable by the default roots.
        ProcMeminfoSource source;
        const auto statistics = source.statistics();
        QVERIFY(statistics);
        const auto installed = source.installedMemoryBytes();
        QVERIFY(installed);
        QVERIFY(statistics->freeCount * VmStatistics::pageSize <= *installed);
    }

    void profile_data() {
        QTest::addColumn<QVariantMap>("memory");
        QTest::addColumn<OptionalStatistics>("statistics");
        QTest::addColumn<OptionalBytes>("installed");

        QTest::newRow("complete")
            << QVariantMap{{"installed", 17179869184ll}, {"free", 524288ll}, {"active", 1000ll},
                           {"inactive", 2000ll},         {"wired", 3000ll},  {"compressed", 4000ll}}
            << OptionalStatistics(VmStatistics{524288, 1000, 2000, 3000, 4000})
            << OptionalBytes(17179869184ull);
        QTest::newRow("counts absent are 0, installed absent fails")
            << QVariantMap{{"free", 7}} << OptionalStatistics(VmStatistics{7, 0, 0, 0, 0})
            << OptionalBytes();
        QTest::newRow("statistics query fails")
            << QVariantMap{{"installed", 1024ll}, {"free", 7ll}, {"fails", true}}
            << OptionalStatistics() << OptionalBytes(1024);
        QTest::newRow("negative and non-integer values are not counts")
            << QVariantMap{{"installed", -5ll}, {"free", QStringLiteral("12")}, {"active", -1ll}}
            << OptionalStatistics(VmStatistics{}) << OptionalBytes();
    }
    void profile() {
        QFETCH(QVariantMap, memory);
        QFETCH(OptionalStatistics, statistics);
        QFETCH(OptionalBytes, installed);

        ProfileVmStatisticsSource source(memory);
        QCOMPARE(source.statistics(), statistics);
        QCOMPARE(source.installedMemoryBytes(), installed);
    }
};

QTEST_GUILESS_MAIN(VmStatisticsTest)
#include "tst_vmstatistics.moc"
