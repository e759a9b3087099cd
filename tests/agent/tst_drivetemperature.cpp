#include "DriveTemperature.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "profile/MachineProfile.h"

#include <QTest>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {
// Collects what the unit writes to one of its streams.
class StreamCapture {
public:
    StreamCapture()
        : stream(open_memstream(&buffer, &size)) {}
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    ~StreamCapture() {
        std::fclose(stream);
        std::free(buffer);
    }

    FILE* file() const { return stream; }
    // Everything written since the last call.
    QByteArray take() {
        std::fflush(stream);
        const QByteArray text(buffer + taken, qsizetype(size - taken));
        taken = size;
        return text;
    }

private:
    char* buffer = nullptr;
    size_t size = 0;
    size_t taken = 0;
    FILE* stream;
};

QVariantList triple(qlonglong slot, qlonglong attribute, qlonglong value) {
    return {slot, attribute, value};
}

// A list of attribute triples (braces alone would copy a single triple).
QVariantList table(std::initializer_list<QVariantList> triples) {
    QVariantList list;
    for (const QVariantList& entry : triples) {
        list.append(QVariant(entry));
    }
    return list;
}

QVariantMap drive(qlonglong handle, const QVariantList& attributes = {},
                  const QVariantMap& switches = {}) {
    QVariantMap map = switches;
    map.insert(QStringLiteral("handle"), handle);
    map.insert(QStringLiteral("attributes"), attributes);
    return map;
}

QVariantMap refusing(const char* key) {
    return {{QString::fromLatin1(key), false}};
}

const QVariantList temperature38 = table({triple(13, 194, 38)});

const QByteArray opening = "Opening SMART Connection.\n";
const QByteArray established = "SMART Connection successfully established.\n";
const QByteArray collecting = "Collecting SMART Data...\n";
const QByteArray noDevices = "No ATA devices were found.\n";
const QByteArray unreadable = "Error retrieving SMART Data structure.\n";

QByteArray noPlugIn(int handle) {
    return QByteArray("Couldn't create PlugInInterface for drive ") + QByteArray::number(handle) +
           ". Trying with next one. Error: e00002c7\n";
}

QByteArray noInterface(int handle) {
    return QByteArray("Couldn't obtain Interface for drive ") + QByteArray::number(handle) +
           ". Trying with next one.\n";
}

QByteArray initError(int status) {
    return QByteArray("Error in initSMART(): ") + QByteArray::number(status) + " \n";
}
} // namespace

class TestDriveTemperature : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StreamCapture> out;
    std::unique_ptr<StreamCapture> err;

    std::shared_ptr<ProfileAtaSmartPlatform> useDrives(const QVariantList& drives) {
        auto platform = std::make_shared<ProfileAtaSmartPlatform>(drives);
        setAtaSmartPlatform(platform);
        return platform;
    }

    // A drive's SMART interface taken straight from a platform, for readings
    // without the set-up; the plug-in must outlive it.
    static std::unique_ptr<AtaSmartPlugIn> plugInFor(const QVariantList& attributes) {
        ProfileAtaSmartPlatform platform({drive(1, attributes)});
        auto devices = platform.blockStorageDevices(nullptr);
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        platform.createPlugIn(*devices->next(), &plugIn);
        return plugIn;
    }

private Q_SLOTS:
    void init() {
        out = std::make_unique<StreamCapture>();
        err = std::make_unique<StreamCapture>();
        setDriveTemperatureStreams(out->file(), err->file());
        setAtaSmartPlatform(nullptr);
    }

    void cleanup() {
        setAtaSmartPlatform(nullptr);
        setDriveTemperatureStreams(nullptr, nullptr);
        out.reset();
        err.reset();
    }

    void initialState() {
        QCOMPARE(smartConnectionOpen, false);
        QCOMPARE(smartDataCollected, false);
        QCOMPARE(currentSMARTInterface, nullptr);
        QCOMPARE(temperatureRegIndex, 13);
    }

    void temperatureSlot_data() {
        QTest::addColumn<QVariantList>("attributes");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<int>("slotAfter");

        QTest::newRow("slot 13, read without scanning") << temperature38 << 38 << 13;
        QTest::newRow("slot 4, found by the scan")
            << table({triple(0, 1, 100), triple(4, 194, 41)}) << 41 << 4;
        QTest::newRow("two slots: first in table order wins")
            << table({triple(9, 194, 50), triple(4, 194, 41)}) << 41 << 4;
        QTest::newRow("cached slot wins over an earlier one")
            << table({triple(4, 194, 41), triple(13, 194, 45)}) << 45 << 13;
        QTest::newRow("first slot") << table({triple(0, 194, 30)}) << 30 << 0;
        QTest::newRow("last slot") << table({triple(29, 194, 33)}) << 33 << 29;
        QTest::newRow("current value is unsigned") << table({triple(13, 194, 255)}) << 255 << 13;
        QTest::newRow("raw temperature attribute number elsewhere is not it")
            << table({triple(13, 190, 62), triple(2, 195, 40)}) << -1 << 13;
        QTest::newRow("no attribute 194: -1, cache unchanged")
            << table({triple(4, 9, 100), triple(5, 12, 200)}) << -1 << 13;
        QTest::newRow("empty table") << QVariantList{} << -1 << 13;
    }

    void temperatureSlot() {
        QFETCH(QVariantList, attributes);
        useDrives({drive(100, attributes)});
        QTEST(hddTemp(), "temperature");
        QTEST(temperatureRegIndex, "slotAfter");
    }

    void laterReadingsGoStraightToTheCachedSlot() {
        const auto slot4 = plugInFor(table({triple(4, 194, 41)}));
        QCOMPARE(getHDDTemp(slot4->queryInterface()), 41);
        QCOMPARE(temperatureRegIndex, 4);

        // A scan would find slot 2 first; the cached slot 4 is read instead.
        const auto slots2And4 = plugInFor(table({triple(2, 194, 50), triple(4, 194, 43)}));
        QCOMPARE(getHDDTemp(slots2And4->queryInterface()), 43);
        QCOMPARE(temperatureRegIndex, 4);

        // The attribute moved: the scan finds it and the cache follows.
        const auto slot2 = plugInFor(table({triple(2, 194, 50)}));
        QCOMPARE(getHDDTemp(slot2->queryInterface()), 50);
        QCOMPARE(temperatureRegIndex, 2);
    }

    void missingTemperatureKeepsTheCachedSlot() {
        const auto slot4 = plugInFor(table({triple(4, 194, 41)}));
        QCOMPARE(getHDDTemp(slot4->queryInterface()), 41);
        const auto none = plugInFor(table({triple(4, 9, 41)}));
        QCOMPARE(getHDDTemp(none->queryInterface()), -1);
        QCOMPARE(temperatureRegIndex, 4);
        QCOMPARE(err->take(), QByteArray());
        QCOMPARE(out->take(), QByteArray());
    }

    void cachedSlotOutsideTheTable_data() {
        QTest::addColumn<int>("cachedSlot");
        QTest::newRow("-1") << -1;
        QTest::newRow("30") << 30;
        QTest::newRow("1000") << 1000;
        QTest::newRow("INT_MIN") << INT_MIN;
        QTest::newRow("INT_MAX") << INT_MAX;
    }

    void cachedSlotOutsideTheTable() {
        QFETCH(int, cachedSlot);
        temperatureRegIndex = cachedSlot;
        const auto slot4 = plugInFor(table({triple(4, 194, 41)}));
        QCOMPARE(getHDDTemp(slot4->queryInterface()), 41);
        QCOMPARE(temperatureRegIndex, 4);
    }

    void recordedDrives_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<int>("slotAfter");

        // Both machines have a card reader without SMART first.
        QTest::newRow("laptop drive") << QStringLiteral("laptop-drive.plist") << 36 << 16;
        QTest::newRow("drive without attribute 194")
            << QStringLiteral("drive-without-194.plist") << -1 << 13;
    }

    void recordedDrives() {
        QFETCH(QString, file);
        const auto profile =
            MachineProfile::fromFile(QStringLiteral(ONDARA_TEST_DATA_DIR "/") + file);
        QVERIFY(profile);
        useDrives(profile->drives());
        QTEST(hddTemp(), "temperature");
        QTEST(temperatureRegIndex, "slotAfter");
        QCOMPARE(out->take(), opening + established + noPlugIn(4097) + collecting);
        QCOMPARE(err->take(), QByteArray());
    }

    void setUp_data() {
        QTest::addColumn<QVariantList>("drives");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<bool>("interfaceKept");
        QTest::addColumn<bool>("collected");

        QTest::newRow("every plug-in refused")
            << QVariantList{drive(6659, {}, refusing("plugin")),
                            drive(6915, temperature38, refusing("plugin"))}
            << 0 << opening + established + noPlugIn(6659) + noPlugIn(6915) + initError(4)
            << noDevices
            << QStringList{QStringLiteral("search"), QStringLiteral("plug-in 6659"),
                           QStringLiteral("plug-in 6915")}
            << false << false;
        QTest::newRow("no drives at all")
            << QVariantList{} << 0 << opening + established + initError(4) << noDevices
            << QStringList{QStringLiteral("search")} << false << false;
        QTest::newRow("plug-in without interface, then a drive")
            << QVariantList{drive(6659, temperature38, refusing("interface")),
                            drive(6915, table({triple(13, 194, 40)}))}
            << 40 << opening + established + noInterface(6659) + collecting << QByteArray()
            << QStringList{QStringLiteral("search"),         QStringLiteral("plug-in 6659"),
                           QStringLiteral("interface 6659"), QStringLiteral("release 6659"),
                           QStringLiteral("plug-in 6915"),   QStringLiteral("interface 6915"),
                           QStringLiteral("off-line 6915"),  QStringLiteral("read 6915")}
            << true << true;
        QTest::newRow("the first drive that answers is the drive")
            << QVariantList{drive(6659, temperature38), drive(6915, table({triple(13, 194, 50)}))}
            << 38 << opening + established + collecting << QByteArray()
            << QStringList{QStringLiteral("search"), QStringLiteral("plug-in 6659"),
                           QStringLiteral("interface 6659"), QStringLiteral("off-line 6659"),
                           QStringLiteral("read 6659")}
            << true << true;
        QTest::newRow("off-line collection refused")
            << QVariantList{drive(6659, temperature38, refusing("offline"))} << 0
            << opening + established + collecting + initError(-2)
            << QByteArray("Error collecting SMART data.\n")
            << QStringList{QStringLiteral("search"), QStringLiteral("plug-in 6659"),
                           QStringLiteral("interface 6659"), QStringLiteral("off-line 6659")}
            << true << false;
        QTest::newRow("data block unreadable")
            << QVariantList{drive(6659, temperature38, refusing("read"))} << -3
            << opening + established + collecting << unreadable
            << QStringList{QStringLiteral("search"), QStringLiteral("plug-in 6659"),
                           QStringLiteral("interface 6659"), QStringLiteral("off-line 6659"),
                           QStringLiteral("read 6659")}
            << true << true;
    }

    void setUp() {
        QFETCH(QVariantList, drives);
        QFETCH(bool, interfaceKept);
        const auto platform = useDrives(drives);

        QTEST(hddTemp(), "result");
        QTEST(out->take(), "output");
        QTEST(err->take(), "errors");
        QTEST(platform->requests(), "requests");
        QCOMPARE(smartConnectionOpen, true);
        QCOMPARE(currentSMARTInterface != nullptr, interfaceKept);
        QTEST(smartDataCollected, "collected");
    }

    void setUpMessagesInOrder() {
        // Both streams into one, to see the order of the lines.
        setDriveTemperatureStreams(out->file(), out->file());
        useDrives({drive(6659, {}, refusing("plugin")), drive(6915, {}, refusing("plugin"))});
        QCOMPARE(hddTemp(), 0);
        QCOMPARE(out->take(), opening + established + noPlugIn(6659) + noPlugIn(6915) + noDevices +
                                  initError(4));
    }

    void noAtaDevicesLaterCallsAreQuiet() {
        const auto platform = useDrives({drive(6659, {}, refusing("plugin"))});
        QCOMPARE(hddTemp(), 0);
        out->take();
        err->take();
        const QStringList requests = platform->requests();

        for (int call = 0; call < 3; ++call) {
            QCOMPARE(hddTemp(), 0);
        }
        QCOMPARE(out->take(), QByteArray());
        QCOMPARE(err->take(), QByteArray());
        QCOMPARE(platform->requests(), requests);
        QCOMPARE(currentSMARTInterface, nullptr);
    }

    void refusedCollectionIsNotRetried() {
        const auto platform = useDrives({drive(6659, temperature38, refusing("offline"))});
        QCOMPARE(hddTemp(), 0);
        out->take();
        err->take();

        QCOMPARE(hddTemp(), 38);
        QCOMPARE(hddTemp(), 38);
        QCOMPARE(out->take(), QByteArray());
        QCOMPARE(err->take(), QByteArray());
        QCOMPARE(platform->requests().count(QStringLiteral("off-line 6659")), 1);
        QCOMPARE(platform->requests().count(QStringLiteral("read 6659")), 2);
        QCOMPARE(smartDataCollected, false);
    }

    void collectionRequestedOncePerProcess() {
        const auto platform = useDrives({drive(6659, temperature38)});
        for (int call = 0; call < 4; ++call) {
            QCOMPARE(hddTemp(), 38);
        }
        // Even a set-up run again leaves the started collection alone.
        QCOMPARE(initSMART(), 0);
        QCOMPARE(platform->requests().count(QStringLiteral("off-line 6659")), 1);
        QCOMPARE(platform->requests().count(QStringLiteral("extended 6659")), 0);
        QCOMPARE(out->take().count(collecting), 1);
    }

    void unreadableBlockEveryTime() {
        useDrives({drive(6659, temperature38, refusing("read"))});
        QCOMPARE(hddTemp(), -3);
        out->take();
        QCOMPARE(err->take(), unreadable);

        QCOMPARE(hddTemp(), -3);
        QCOMPARE(out->take(), QByteArray());
        QCOMPARE(err->take(), unreadable);
    }

    void searchFailure_data() {
        QTest::addColumn<AtaSmartPlatform::SearchFailure>("failure");
        QTest::addColumn<QByteArray>("message");

        QTest::newRow("master port")
            << AtaSmartPlatform::SearchFailure::masterPort << QByteArray("IOMasterPort failed.\n");
        QTest::newRow("matching") << AtaSmartPlatform::SearchFailure::matching
                                  << QByteArray("IOServiceMatching failed.\n");
        QTest::newRow("matching services") << AtaSmartPlatform::SearchFailure::matchingServices
                                           << QByteArray("IOServiceGetMatchingServices failed.\n");
    }

    // A failed device search no longer ends the process: it is no usable
    // drive, and the next reading searches again.
    void searchFailure() {
        QFETCH(AtaSmartPlatform::SearchFailure, failure);
        QFETCH(QByteArray, message);
        const auto platform = useDrives({drive(6659, temperature38)});
        platform->setSearchFailure(failure);

        QCOMPARE(initSMART(), 4);
        QCOMPARE(out->take(), opening);
        QCOMPARE(err->take(), message);
        QCOMPARE(smartConnectionOpen, false);

        QCOMPARE(hddTemp(), 0);
        QCOMPARE(out->take(), opening + initError(4));
        QCOMPARE(err->take(), message);

        platform->setSearchFailure(std::nullopt);
        QCOMPARE(hddTemp(), 38);
        QCOMPARE(out->take(), opening + established + collecting);
        QCOMPARE(smartConnectionOpen, true);
    }

    void withoutPlatformNoDrives() {
        QCOMPARE(hddTemp(), 0);
        QCOMPARE(out->take(), opening + established + initError(4));
        QCOMPARE(err->take(), noDevices);
        QCOMPARE(hddTemp(), 0);
        QCOMPARE(out->take(), QByteArray());
    }

    void replacingThePlatformStartsOver() {
        const auto first = useDrives({drive(6659, table({triple(4, 194, 41)}))});
        QCOMPARE(hddTemp(), 41);
        QVERIFY(!first->requests().contains(QStringLiteral("release 6659")));

        const auto second = useDrives({drive(7171, temperature38)});
        // The old drive's plug-in is released with its interface.
        QVERIFY(first->requests().contains(QStringLiteral("release 6659")));
        QCOMPARE(smartConnectionOpen, false);
        QCOMPARE(smartDataCollected, false);
        QCOMPARE(currentSMARTInterface, nullptr);
        QCOMPARE(temperatureRegIndex, 13);

        out->take();
        QCOMPARE(hddTemp(), 38);
        QCOMPARE(out->take(), opening + established + collecting);
        QCOMPARE(second->requests().count(QStringLiteral("off-line 7171")), 1);
    }

    void resetKeepsThePlatform() {
        const auto platform = useDrives({drive(6659, temperature38)});
        QCOMPARE(hddTemp(), 38);
        resetDriveTemperatureState();
        QCOMPARE(smartConnectionOpen, false);
        QCOMPARE(currentSMARTInterface, nullptr);
        QCOMPARE(hddTemp(), 38);
        QCOMPARE(platform->requests().count(QStringLiteral("search")), 2);
    }
};

QTEST_GUILESS_MAIN(TestDriveTemperature)
#include "tst_drivetemperature.moc"
