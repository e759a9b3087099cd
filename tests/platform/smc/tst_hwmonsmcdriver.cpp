// The hwmon backend through the access layer, as the agent uses it: which
// input stands behind which key on the fixture machines, the SMC encodings,
// and reads that fail or whose chip goes away.

#include "SMCKit.h"
#include "smc/HwmonSmcDriver.h"
#include "smc/SysfsAttributeFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Kind = SMCKit::Error1::Kind;

uint32_t code(const char* text) {
    return *SMCKit::fourCharCode(QString::fromLatin1(text));
}

QString fixture(const char* machine) {
    return QStringLiteral(ONDARA_TEST_DATA_DIR "/%1/class/hwmon").arg(QLatin1String(machine));
}

// A hwmon tree made by a test: chips as the kernel shows them, a class link
// to each chip's directory under its device.
class Tree {
public:
    // "name=coretemp temp1_input=45750 temp1_label=Core~0": attributes
    // separated by blanks, "~" standing for a blank inside a value.
    void chip(const QString& entry, const QString& device, const QString& attributes) {
        const QString directory =
            dir.filePath(QStringLiteral("devices/%1/hwmon/%2").arg(device, entry));
        QVERIFY(QDir().mkpath(directory));
        for (const QString& item : attributes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            write(directory + QLatin1Char('/') + item.section(QLatin1Char('='), 0, 0),
                  item.section(QLatin1Char('='), 1).replace(QLatin1Char('~'), QLatin1Char(' ')));
        }
        QVERIFY(QDir().mkpath(classDirectory()));
        QVERIFY(QFile::link(directory, classDirectory() + QLatin1Char('/') + entry));
    }
    void write(const QString& path, const QString& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8() + '\n');
    }
    QString classDirectory() const { return dir.filePath(QStringLiteral("class/hwmon")); }
    QTemporaryDir dir;
};

template <typename Operation> QString outcome(Operation operation) {
    try {
        return operation();
    } catch (const SMCKit::Error1& error) {
        return error.kind == Kind::keyNotFound ? QStringLiteral("not found")
               : error.kind == Kind::unknown   ? QStringLiteral("failure %1").arg(error.SMCResult)
                                               : QStringLiteral("error %1").arg(int(error.kind));
    }
}

// "TC0D" its temperature, "F0" the fan's name, minimum, maximum and speed,
// "FNum" the number of fans.
QString reading(const QString& what) {
    if (what == QLatin1String("FNum")) {
        return outcome([] { return QString::number(SMCKit::readFans().size()); });
    }
    if (what.size() == 2 && what[0] == QLatin1Char('F')) {
        const int fan = what[1].digitValue();
        return outcome([fan] {
            return QStringLiteral("%1 %2-%3 %4")
                .arg(SMCKit::readFanName(fan))
                .arg(SMCKit::readFanMinimumSpeed(fan))
                .arg(SMCKit::readFanMaximumSpeed(fan))
                .arg(SMCKit::readFanCurrentSpeed(fan));
        });
    }
    const uint32_t key = code(qPrintable(what));
    return outcome([key] { return QString::number(SMCKit::readTemperature(key)); });
}

void use(const QString& classDirectory) {
    SMCKit::setDriver(std::make_shared<HwmonSmcDriver>(classDirectory));
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();
}

} // namespace

class TestHwmonSmcDriver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    // Chips in device-path order, whatever their hwmonN numbers.
    void mapsTheFixtureMachines_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("Intel desktop")
            << "hwmon-intel-desktop"
            << QStringList{
                   "TH0P <- nvme (nvme0) temp1 \"Composite\"",
                   "TH0O <- nvme (nvme1) temp1 \"Composite\"",
                   "TM0S <- jc42 (0-0050) temp1",
                   "TM0P <- jc42 (0-0051) temp1",
                   "TC0D <- coretemp (coretemp.0) temp1 \"Package id 0\"",
                   "TC0C <- hottest of coretemp (coretemp.0) temp2 \"Core 0\", temp3 \"Core 4\", "
                   "temp4 \"Core 8\", temp5 \"Core 12\"",
                   "Tm0P <- nct6798 (nct6775.656) temp1 \"SYSTIN\"",
                   "fan 0 \"Fan 1\" <- nct6798 (nct6775.656) fan1",
                   "fan 1 \"Fan 2\" <- nct6798 (nct6775.656) fan2",
                   "fan 2 \"Fan 3\" <- nct6798 (nct6775.656) fan3",
                   "fan 3 \"Fan 4\" <- nct6798 (nct6775.656) fan4",
                   "fan 4 \"Fan 5\" <- nct6798 (nct6775.656) fan5"};
        // The ThinkPad chip keeps its attributes on the device, as old
        // kernels did.
        QTest::newRow("AMD laptop")
            << "hwmon-amd-laptop"
            << QStringList{"TB0T <- BAT0 (BAT0) temp1",
                           "TW0P <- iwlwifi_1 (0000:03:00.0) temp1",
                           "TH0P <- nvme (nvme0) temp1 \"Composite\"",
                           "TG0D <- amdgpu (0000:05:00.0) temp1 \"edge\"",
                           "TC0D <- k10temp (0000:00:18.3) temp1 \"Tctl\"",
                           "fan 0 \"Fan 1\" <- thinkpad (thinkpad_hwmon) fan1"};
        // The fifth disk finds no drive key left.
        QTest::newRow("server") << "hwmon-server"
                                << QStringList{
                                       "TH0P <- drivetemp (0:0:0:0) temp1",
                                       "TH0O <- drivetemp (1:0:0:0) temp1",
                                       "TH0o <- drivetemp (2:0:0:0) temp1",
                                       "TH1O <- drivetemp (3:0:0:0) temp1",
                                       "TC0D <- coretemp (coretemp.0) temp1 \"Package id 0\"",
                                       "TC0C <- hottest of coretemp (coretemp.0) temp2 "
                                       "\"Core 0\", temp3 \"Core 1\"; coretemp "
                                       "(coretemp.1) temp2 \"Core 0\", temp3 \"Core 1\""};
    }
    void mapsTheFixtureMachines() {
        QFETCH(QString, machine);
        HwmonSmcDriver driver(fixture(qPrintable(machine)));
        QTEST(driver.map().lines(), "lines");
    }

    // What the access layer reads from chips a test describes.
    void readsAsTheSmcWould_data() {
        QTest::addColumn<QStringList>("chips"); // entry, device, attributes
        QTest::addColumn<QStringList>("readings");
        QTest::newRow("sp78 keeps whole degrees and the sign")
            << QStringList{"hwmon0", "pci/0000:00:18.3",
                           "name=k10temp temp1_label=Tctl "
                           "temp1_input=45750 temp3_label=Tccd1 temp3_input=-5500 "
                           "temp4_label=Tccd2 temp4_input=200000"}
            << QStringList{"TC0D=45", "TC0F=-5", "TC1C=127", "TC0P=not found"};
        QTest::newRow("Tdie before Tctl, whatever their order")
            << QStringList{"hwmon0", "pci/0000:00:18.3",
                           "name=zenpower temp1_label=Tctl temp1_input=70000 "
                           "temp2_label=Tdie temp2_input=50000"}
            << QStringList{"TC0D=50"};
        QTest::newRow("a failing read is a failure, not 0 °C")
            << QStringList{"hwmon0", "platform/coretemp.0",
                           "name=coretemp temp1_label=Package~id~0 temp1_input=oops "
                           "temp2_label=Core~0 temp2_input=40000 temp3_label=Core~1 "
                           "temp3_input=bad"}
            << QStringList{"TC0D=failure 1", "TC0C=40"};
        QTest::newRow("fans: labels, stated and missing limits")
            << QStringList{"hwmon0",
                           "platform/dell_smm_hwmon",
                           "name=dell_smm fan1_label=Processor~Fan fan1_input=2400 fan1_min=800 "
                           "fan1_max=4900 fan2_input=1800 fan3_input=0",
                           "hwmon1",
                           "platform/thinkpad_hwmon",
                           "name=thinkpad fan1_input=6000"}
            << QStringList{"FNum=4", "F0=Processor Fa 800-4900 2400", "F1=Fan 2 0-1800 1800",
                           "F2=Fan 3 0-0 0", "F3=Fan 4 0-6000 6000"};
        QTest::newRow("a fan that can't be read fails the list")
            << QStringList{"hwmon0", "platform/it87.2608", "name=it8728 fan1_input=EIO"}
            << QStringList{"FNum=failure 1"};
        QTest::newRow("board sensor by label; acpitz left out")
            << QStringList{"hwmon0",
                           "platform/nct6775.2592",
                           "name=nct6779 temp1_label=CPUTIN temp1_input=41000 "
                           "temp2_label=SYSTIN temp2_input=30000",
                           "hwmon1",
                           "virtual/thermal_zone0",
                           "name=acpitz temp1_input=27800",
                           "hwmon2",
                           "pci/0000:00:14.2",
                           "name=pch_cannonlake temp1_input=52000"}
            << QStringList{"Tm0P=30", "TN0D=52", "TA0P=not found", "TPCD=not found"};
        QTest::newRow("no chips") << QStringList{} << QStringList{"FNum=0", "TC0D=not found"};
    }
    void readsAsTheSmcWould() {
        QFETCH(QStringList, chips);
        QFETCH(QStringList, readings);
        Tree tree;
        QVERIFY(QDir().mkpath(tree.classDirectory()));
        for (qsizetype i = 0; i + 2 < chips.size(); i += 3) {
            tree.chip(chips[i], chips[i + 1], chips[i + 2]);
        }
        use(tree.classDirectory());
        for (const QString& expected : readings) {
            const QString what = expected.section(QLatin1Char('='), 0, 0);
            QCOMPARE(what + QLatin1Char('=') + reading(what), expected);
        }
    }

    void fanMaximumIsTheFastestSeen() {
        Tree tree;
        tree.chip(QStringLiteral("hwmon0"), QStringLiteral("platform/thinkpad_hwmon"),
                  QStringLiteral("name=thinkpad fan1_input=3000"));
        use(tree.classDirectory());
        const QString speed = tree.classDirectory() + QStringLiteral("/hwmon0/fan1_input");
        QCOMPARE(SMCKit::readFanMaximumSpeed(0), 3000);
        tree.write(speed, QStringLiteral("4500"));
        QCOMPARE(SMCKit::readFanCurrentSpeed(0), 4500);
        tree.write(speed, QStringLiteral("2000"));
        QCOMPARE(SMCKit::readFanMaximumSpeed(0), 4500);
    }

    // A hot-plugged drive: gone, its key fails; back under another number, it
    // reads again; nothing new joins the mapping meanwhile.
    void chipsComeAndGo() {
        Tree tree;
        tree.chip(QStringLiteral("hwmon0"), QStringLiteral("pci/0000:02:00.0/nvme/nvme0"),
                  QStringLiteral("name=nvme temp1_label=Composite temp1_input=38850"));
        use(tree.classDirectory());
        QCOMPARE(reading(QStringLiteral("TH0P")), QStringLiteral("38"));

        QDir device(tree.dir.filePath(QStringLiteral("devices/pci/0000:02:00.0/nvme/nvme0")));
        QVERIFY(device.removeRecursively());
        QVERIFY(QFile::remove(tree.classDirectory() + QStringLiteral("/hwmon0")));
        QCOMPARE(reading(QStringLiteral("TH0P")), QStringLiteral("failure 1"));

        tree.chip(QStringLiteral("hwmon7"), QStringLiteral("pci/0000:02:00.0/nvme/nvme0"),
                  QStringLiteral("name=nvme temp1_label=Composite temp1_input=41850"));
        tree.chip(QStringLiteral("hwmon8"), QStringLiteral("pci/0000:01:00.0/nvme/nvme1"),
                  QStringLiteral("name=nvme temp1_label=Composite temp1_input=30000"));
        QCOMPARE(reading(QStringLiteral("TH0P")), QStringLiteral("41"));
        QCOMPARE(reading(QStringLiteral("TH0O")), QStringLiteral("not found"));
    }

    // Inputs stay open between reads (KeptOpenFile); what is read must still
    // be the chip now at the place.
    void keptInputsFollowTheirFile_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chip rebound at the same place") << "rebind"
                                                        << "43";
        QTest::newRow("chip gone") << "remove"
                                   << "failure 1";
    }
    void keptInputsFollowTheirFile() {
        QFETCH(QString, change);
        QFETCH(QString, expected);
        Tree tree;
        const QString device = QStringLiteral("platform/coretemp.0");
        tree.chip(QStringLiteral("hwmon2"), device,
                  QStringLiteral("name=coretemp temp1_label=Package~id~0 temp1_input=38000"));
        use(tree.classDirectory());
        QCOMPARE(reading(QStringLiteral("TC0D")), QStringLiteral("38"));
        QCOMPARE(reading(QStringLiteral("TC0D")), QStringLiteral("38"));

        const QString chip =
            tree.dir.filePath(QStringLiteral("devices/%1/hwmon/hwmon2").arg(device));
        if (change == QLatin1String("rebind")) {
            QVERIFY(QDir(chip).removeRecursively());
            QVERIFY(QFile::remove(tree.classDirectory() + QStringLiteral("/hwmon2")));
            tree.chip(QStringLiteral("hwmon2"), device,
                      QStringLiteral("name=coretemp temp1_label=Package~id~0 temp1_input=43000"));
        } else {
            QVERIFY(QDir(chip).removeRecursively());
        }
        QCOMPARE(reading(QStringLiteral("TC0D")), expected);
    }

    // Beyond its limit files are opened for each read, and still read right.
    void keptFilesAreBounded() {
        QTemporaryDir dir;
        SysfsAttributeFiles files;
        const int count = SysfsAttributeFiles::keptLimit + 3;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < count; ++i) {
                const QString path = dir.filePath(QString::number(i));
                if (round == 0) {
                    QFile file(path);
                    QVERIFY(file.open(QIODevice::WriteOnly));
                    file.write(QByteArray::number(i) + '\n');
                }
                QCOMPARE(files.readNumber(path), std::optional<long long>(i));
            }
        }
        QCOMPARE(files.keptCount(), SysfsAttributeFiles::keptLimit);
        int error = 0;
        QCOMPARE(files.readNumber(dir.filePath(QStringLiteral("absent")), &error), std::nullopt);
        QCOMPARE(error, ENOENT);
    }

    void autoNeedsAMappedTemperature_data() {
        QTest::addColumn<QStringList>("chips");
        QTest::addColumn<bool>("maps");
        QTest::newRow("a CPU") << QStringList{"hwmon0", "platform/coretemp.0",
                                              "name=coretemp temp1_label=Core~0 temp1_input=1"}
                               << true;
        QTest::newRow("fans and a thermal zone only")
            << QStringList{"hwmon0", "platform/thinkpad_hwmon", "name=thinkpad fan1_input=2000",
                           "hwmon1", "virtual/thermal_zone0",   "name=acpitz temp1_input=27800"}
            << false;
    }
    void autoNeedsAMappedTemperature() {
        QFETCH(QStringList, chips);
        Tree tree;
        QVERIFY(!HwmonSmcDriver::mapsTemperature(tree.classDirectory()));
        for (qsizetype i = 0; i + 2 < chips.size(); i += 3) {
            tree.chip(chips[i], chips[i + 1], chips[i + 2]);
        }
        QTEST(HwmonSmcDriver::mapsTemperature(tree.classDirectory()), "maps");
    }

    void devicePathsCompareNaturally_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("numbers by value") << "nvme9"
                                          << "nvme10";
        QTest::newRow("leading zeros") << "ata01/x"
                                       << "ata2/x";
        QTest::newRow("text after equal numbers") << "0000:00:1b.0"
                                                  << "0000:00:1d.0";
        QTest::newRow("shorter first") << "hwmon"
                                       << "hwmon0";
    }
    void devicePathsCompareNaturally() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(HwmonTree::naturalLess(first, second));
        QVERIFY(!HwmonTree::naturalLess(second, first));
    }
};

QTEST_GUILESS_MAIN(TestHwmonSmcDriver)
#include "tst_hwmonsmcdriver.moc"
