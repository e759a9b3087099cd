#include "ata/AtaSmartInterface.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "profile/MachineProfile.h"

#include <QTest>

namespace {
QVariantMap drive(std::initializer_list<std::pair<QString, QVariant>> entries) {
    QVariantMap map;
    for (const auto& [key, value] : entries) {
        map.insert(key, value);
    }
    return map;
}

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

// The device the search gives at the given position.
BlockStorageDevice deviceAt(ProfileAtaSmartPlatform& platform, int position) {
    auto devices = platform.blockStorageDevices(nullptr);
    std::optional<BlockStorageDevice> device;
    for (int index = 0; index <= position; ++index) {
        device = devices->next();
    }
    return device.value_or(BlockStorageDevice{});
}

// Offset of a slot's attribute number and current value in the block.
constexpr size_t attributeAt(size_t slot) {
    return 2 + 12 * slot;
}
constexpr size_t valueAt(size_t slot) {
    return 5 + 12 * slot;
}
} // namespace

class TestProfileAtaSmartPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void attributesFillAZeroBlock() {
        const QVariantMap entry =
            drive({{QStringLiteral("attributes"),
                    QVariantList{triple(13, 194, 38), triple(0, 1, 100), triple(29, 9, 255),
                                 // out of range or malformed: ignored
                                 triple(30, 194, 40), triple(-1, 194, 40), triple(3, 256, 40),
                                 triple(3, 194, -1), QVariantList{3LL, 194LL},
                                 QVariantList{QStringLiteral("3"), 194LL, 40LL}, 7LL}}});
        const AtaSmartInterface::DataBlock block = ProfileAtaSmartPlatform::dataBlock(entry);

        AtaSmartInterface::DataBlock expected{};
        expected[attributeAt(13)] = 194;
        expected[valueAt(13)] = 38;
        expected[attributeAt(0)] = 1;
        expected[valueAt(0)] = 100;
        expected[attributeAt(29)] = 9;
        expected[valueAt(29)] = 255;
        QCOMPARE(block, expected);
    }

    void blockDataTakenAsItIs_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");

        QByteArray full(512, '\0');
        for (int index = 0; index < full.size(); ++index) {
            full[index] = char(index * 7);
        }
        QTest::newRow("512 bytes") << full << full;
        QTest::newRow("short: zero-padded")
            << QByteArray("\x10\x00\xC2", 3) << QByteArray("\x10\x00\xC2", 3) + QByteArray(509, 0);
        QTest::newRow("long: cut") << full + QByteArray(10, 'x') << full;
    }

    void blockDataTakenAsItIs() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        // "block" wins over "attributes".
        const AtaSmartInterface::DataBlock block = ProfileAtaSmartPlatform::dataBlock(
            drive({{QStringLiteral("block"), data},
                   {QStringLiteral("attributes"), table({triple(0, 194, 40)})}}));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(block.data()), 512), expected);
    }

    void devicesInProfileOrderWithHandles() {
        ProfileAtaSmartPlatform platform(
            {drive({}), drive({{QStringLiteral("handle"), 0x2a03LL}}), QStringLiteral("junk")});
        auto devices = platform.blockStorageDevices(nullptr);
        QVERIFY(devices);
        QList<uint32_t> handles;
        while (const auto device = devices->next()) {
            handles << device->handle;
        }
        QCOMPARE(handles, (QList<uint32_t>{4097, 0x2a03, 4099}));

        // An entry that is no dictionary is a device without a plug-in.
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(deviceAt(platform, 2), &plugIn),
                 AtaSmartReturnCode::unsupported);
        QVERIFY(!plugIn);
    }

    void emptyListIsAMachineWithoutDrives() {
        ProfileAtaSmartPlatform platform({});
        auto devices = platform.blockStorageDevices(nullptr);
        QVERIFY(devices);
        QVERIFY(!devices->next());
    }

    void switches_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<AtaSmartReturn>("plugInResult");
        QTest::addColumn<bool>("interface");
        QTest::addColumn<AtaSmartReturn>("offLineResult");
        QTest::addColumn<AtaSmartReturn>("readResult");

        const AtaSmartReturn success = AtaSmartReturnCode::success;
        const AtaSmartReturn ioError = AtaSmartReturnCode::ioError;
        QTest::newRow("none off") << QString() << success << true << success << success;
        QTest::newRow("plugin") << QStringLiteral("plugin") << AtaSmartReturnCode::unsupported
                                << false << success << success;
        QTest::newRow("interface")
            << QStringLiteral("interface") << success << false << success << success;
        QTest::newRow("offline") << QStringLiteral("offline") << success << true << ioError
                                 << success;
        QTest::newRow("read") << QStringLiteral("read") << success << true << success << ioError;
    }

    void switches() {
        QFETCH(QString, key);
        QFETCH(AtaSmartReturn, plugInResult);
        QFETCH(bool, interface);
        QFETCH(AtaSmartReturn, offLineResult);
        QFETCH(AtaSmartReturn, readResult);

        QVariantMap entry = drive({{QStringLiteral("attributes"), table({triple(13, 194, 38)})}});
        if (!key.isEmpty()) {
            entry.insert(key, false);
        }
        ProfileAtaSmartPlatform platform({entry});
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(deviceAt(platform, 0), &plugIn), plugInResult);
        if (!plugIn) {
            return;
        }
        AtaSmartInterface* smart = plugIn->queryInterface();
        QCOMPARE(smart != nullptr, interface);
        if (!smart) {
            return;
        }
        QCOMPARE(smart->executeOffLineImmediate(false), offLineResult);
        AtaSmartInterface::DataBlock block{};
        block.fill(0xEE);
        QCOMPARE(smart->readData(&block), readResult);
        if (readResult == AtaSmartReturnCode::success) {
            QCOMPARE(block[valueAt(13)], 38);
        } else {
            QCOMPARE(block[valueAt(13)], 0xEE); // left alone
        }
    }

    void nonBooleanSwitchKeepsItsDefault() {
        ProfileAtaSmartPlatform platform({drive({{QStringLiteral("plugin"), 0LL}})});
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(deviceAt(platform, 0), &plugIn),
                 AtaSmartReturnCode::success);
    }

    void unknownDeviceHasNoPlugIn() {
        ProfileAtaSmartPlatform platform({drive({})});
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{4098, QStringLiteral("1")}, &plugIn),
                 AtaSmartReturnCode::noDevice);
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{4098, QStringLiteral("x")}, &plugIn),
                 AtaSmartReturnCode::noDevice);
        QVERIFY(!plugIn);
    }

    void searchFailureCanBeSwitched() {
        ProfileAtaSmartPlatform platform({drive({})});
        platform.setSearchFailure(AtaSmartPlatform::SearchFailure::matching);
        AtaSmartPlatform::SearchFailure failure = AtaSmartPlatform::SearchFailure::masterPort;
        QVERIFY(!platform.blockStorageDevices(&failure));
        QCOMPARE(failure, AtaSmartPlatform::SearchFailure::matching);
        platform.setSearchFailure(std::nullopt);
        QVERIFY(platform.blockStorageDevices(&failure));
    }

    void requestsAreNoted() {
        ProfileAtaSmartPlatform platform({drive({{QStringLiteral("handle"), 7LL}})});
        {
            std::unique_ptr<AtaSmartPlugIn> plugIn;
            platform.createPlugIn(deviceAt(platform, 0), &plugIn);
            AtaSmartInterface* smart = plugIn->queryInterface();
            smart->executeOffLineImmediate(false);
            smart->executeOffLineImmediate(true);
            AtaSmartInterface::DataBlock block{};
            smart->readData(&block);
        }
        QCOMPARE(platform.requests(),
                 (QStringList{QStringLiteral("search"), QStringLiteral("plug-in 7"),
                              QStringLiteral("interface 7"), QStringLiteral("off-line 7"),
                              QStringLiteral("extended 7"), QStringLiteral("read 7"),
                              QStringLiteral("release 7")}));
    }

    void plugInOutlivesItsPlatform() {
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        {
            ProfileAtaSmartPlatform platform(
                {drive({{QStringLiteral("attributes"), table({triple(4, 194, 41)})}})});
            QCOMPARE(platform.createPlugIn(deviceAt(platform, 0), &plugIn),
                     AtaSmartReturnCode::success);
        }
        AtaSmartInterface::DataBlock block{};
        QCOMPARE(plugIn->queryInterface()->readData(&block), AtaSmartReturnCode::success);
        QCOMPARE(block[valueAt(4)], 41);
    }

    void profileFileDrives() {
        const auto profile = MachineProfile::fromFile(QStringLiteral(ONDARA_TEST_DATA_DIR) +
                                                      QStringLiteral("/two-drives.plist"));
        QVERIFY(profile);
        ProfileAtaSmartPlatform platform(profile->drives());
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(platform.createPlugIn(deviceAt(platform, 0), &plugIn),
                 AtaSmartReturnCode::unsupported);
        QCOMPARE(platform.createPlugIn(deviceAt(platform, 1), &plugIn),
                 AtaSmartReturnCode::success);
        AtaSmartInterface::DataBlock block{};
        QCOMPARE(plugIn->queryInterface()->readData(&block), AtaSmartReturnCode::success);
        QCOMPARE(block[attributeAt(4)], 194);
        QCOMPARE(block[valueAt(4)], 41);
        QCOMPARE(deviceAt(platform, 1).handle, 0x1a03u);
    }
};

QTEST_GUILESS_MAIN(TestProfileAtaSmartPlatform)
#include "tst_profileatasmartplatform.moc"
