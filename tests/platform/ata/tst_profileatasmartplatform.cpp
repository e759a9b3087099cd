#include "ata/AtaSmartInterface.h"
#include "ata/ProfileAtaSmartPlatform.h"

#include <QTest>

namespace {
// A list of [slot, attribute, value] triples.
QVariantList attributes(std::initializer_list<std::array<qlonglong, 3>> triples) {
    QVariantList list;
    for (const auto& [slot, attribute, value] : triples) {
        list.append(QVariant(QVariantList{slot, attribute, value}));
    }
    return list;
}

// The plug-in of the drive the search gives at the given position.
AtaSmartReturn createPlugIn(ProfileAtaSmartPlatform& platform, int position,
                            std::unique_ptr<AtaSmartPlugIn>* plugIn) {
    auto devices = platform.blockStorageDevices(nullptr);
    for (int index = 0; index < position; ++index) {
        devices->next();
    }
    return platform.createPlugIn(devices->next().value(), plugIn);
}

// Offset of a slot's current value in the block (the attribute number is 3 before).
constexpr size_t valueAt(size_t slot) {
    return 5 + 12 * slot;
}
} // namespace

class TestProfileAtaSmartPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void attributesFillAZeroBlock() {
        const QVariantList malformed{QVariantList{3LL, 194LL},
                                     QVariantList{QStringLiteral("3"), 194LL, 40LL}, 7LL};
        const AtaSmartInterface::DataBlock block = ProfileAtaSmartPlatform::dataBlock(
            {{QStringLiteral("attributes"), attributes({{13, 194, 38},
                                                        {0, 1, 100},
                                                        {29, 9, 255},
                                                        // out of range or malformed: ignored
                                                        {30, 194, 40},
                                                        {-1, 194, 40},
                                                        {3, 256, 40},
                                                        {3, 194, -1}}) +
                                                malformed}});
        AtaSmartInterface::DataBlock expected{};
        for (const auto& [slot, attribute, value] :
             {std::array{13, 194, 38}, {0, 1, 100}, {29, 9, 255}}) {
            expected[valueAt(size_t(slot)) - 3] = uint8_t(attribute);
            expected[valueAt(size_t(slot))] = uint8_t(value);
        }
        QCOMPARE(block, expected);
    }

    void blockDataTakenAsItIs() {
        // Zero-padded or cut to 512 bytes; "block" wins over "attributes".
        const QByteArray head("\x10\x00\xC2", 3);
        const QByteArray data = head + QByteArray(510, 'x');
        const auto block = [](const QByteArray& bytes) {
            const AtaSmartInterface::DataBlock block = ProfileAtaSmartPlatform::dataBlock(
                {{QStringLiteral("block"), bytes},
                 {QStringLiteral("attributes"), attributes({{0, 194, 40}})}});
            return QByteArray(reinterpret_cast<const char*>(block.data()), 512);
        };
        QCOMPARE(block(data), data.left(512));
        QCOMPARE(block(head), head + QByteArray(509, '\0'));
    }

    void devicesInProfileOrderWithHandles() {
        ProfileAtaSmartPlatform platform({QVariantMap(),
                                          QVariantMap{{QStringLiteral("handle"), 0x2a03LL}},
                                          QStringLiteral("junk")});
        auto devices = platform.blockStorageDevices(nullptr);
        QList<uint32_t> handles;
        while (const auto device = devices->next()) {
            handles << device->handle;
        }
        QCOMPARE(handles, (QList<uint32_t>{4097, 0x2a03, 4099}));
        // An entry that is no dictionary is a device without a plug-in, and so
        // is a device the search did not give.
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        QCOMPARE(createPlugIn(platform, 2, &plugIn), AtaSmartReturnCode::unsupported);
        QCOMPARE(platform.createPlugIn(BlockStorageDevice{4098, QStringLiteral("x")}, &plugIn),
                 AtaSmartReturnCode::noDevice);
        QVERIFY(!ProfileAtaSmartPlatform({}).blockStorageDevices(nullptr)->next());
    }

    void plugInOutlivesItsPlatform() {
        std::unique_ptr<AtaSmartPlugIn> plugIn;
        {
            ProfileAtaSmartPlatform platform(
                {QVariantMap{{QStringLiteral("attributes"), attributes({{4, 194, 41}})}}});
            QCOMPARE(createPlugIn(platform, 0, &plugIn), AtaSmartReturnCode::success);
        }
        AtaSmartInterface::DataBlock block{};
        QCOMPARE(plugIn->queryInterface()->readData(&block), AtaSmartReturnCode::success);
        QCOMPARE(block[valueAt(4)], 41);
    }
};

QTEST_GUILESS_MAIN(TestProfileAtaSmartPlatform)
#include "tst_profileatasmartplatform.moc"
