#include "AgentResources.h"
#include "FakeAppleSmcTree.h"
#include "SMCKit.h"
#include "TemperatureSensorCatalogue.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(FakeAppleSmcTree::Layout)
Q_DECLARE_METATYPE(FakeAppleSmcTree::IndexRegister)

namespace {

using Layout = FakeAppleSmcTree::Layout;
using IndexRegister = FakeAppleSmcTree::IndexRegister;
using Kind = SMCKit::Error1::Kind;

uint32_t code(const char* text) {
    return *SMCKit::fourCharCode(QString::fromLatin1(text));
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::keyNotFound:
        return QStringLiteral("key not found");
    case Kind::unknown:
        return QStringLiteral("unknown");
    case Kind::driverNotFound:
        return QStringLiteral("driver not found");
    case Kind::failedToOpen:
        return QStringLiteral("failed to open");
    case Kind::notPrivileged:
        return QStringLiteral("not privileged");
    }
    return {};
}

// The demo machine as a test needs it: exact values, no drift.
MachineProfile demoMachineWithoutDrift() {
    initAgentResources();
    const auto demo = MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist"));
    if (!demo) {
        qFatal("the demo machine is not compiled in");
    }
    QVariantMap smc = demo->smc();
    QVariantMap keys = smc.value(QStringLiteral("keys")).toMap();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        QVariantMap entry = it.value().toMap();
        entry.remove(QStringLiteral("drift"));
        it.value() = entry;
    }
    smc.insert(QStringLiteral("keys"), keys);
    return MachineProfile::fromMap({{QStringLiteral("smc"), smc}});
}

void useDriver(std::shared_ptr<SmcDriver> driver) {
    SMCKit::setDriver(std::move(driver));
    QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
    SMCKit::openConnection();
}

template <typename Operation> QString outcome(Operation operation) {
    try {
        return operation();
    } catch (const SMCKit::Error1& error) {
        return QStringLiteral("failed: ") + kindName(error.kind);
    }
}

// Every reading the agent takes of a machine, one line each, through the
// process's current driver.
QStringList everyReading(const QStringList& extraTemperatureKeys = {}) {
    QStringList lines;
    QList<uint32_t> temperatureKeys;
    for (const TemperatureSensor& sensor : temperatureSensorCatalogueInDeclarationOrder()) {
        temperatureKeys.append(sensor.code);
    }
    for (const QString& key : extraTemperatureKeys) {
        temperatureKeys.append(*SMCKit::fourCharCode(key));
    }
    for (const uint32_t key : temperatureKeys) {
        lines.append(SMCKit::fourCharString(key) + QStringLiteral(" = ") +
                     outcome([key] { return QString::number(SMCKit::readTemperature(key)); }));
    }
    lines.append(QStringLiteral("fans = ") + outcome([] {
                     QStringList fans;
                     for (const Fan& fan : SMCKit::readFans()) {
                         fans.append(QStringLiteral("%1 \"%2\" %3-%4")
                                         .arg(fan.id)
                                         .arg(fan.name)
                                         .arg(fan.minSpeed)
                                         .arg(fan.maxSpeed));
                     }
                     return fans.join(QStringLiteral(", "));
                 }));
    for (int fan = 0; fan < 4; ++fan) {
        lines.append(QStringLiteral("fan %1 speed = ").arg(fan) +
                     outcome([fan] { return QString::number(SMCKit::readFanCurrentSpeed(fan)); }));
    }
    lines.append(QStringLiteral("present = ") + outcome([] {
                     QStringList names;
                     for (const TemperatureSensor& sensor : SMCKit::presentTemperatureSensors()) {
                         names.append(sensor.name);
                     }
                     names.sort();
                     return names.join(QLatin1Char(' '));
                 }));
    return lines;
}

QStringList everyReadingOverProfile(const MachineProfile& profile,
                                    const QStringList& extraTemperatureKeys = {}) {
    useDriver(std::make_shared<ProfileSmcDriver>(profile));
    return everyReading(extraTemperatureKeys);
}

template <typename Operation> std::optional<SMCKit::Error1> errorOf(Operation operation) {
    try {
        operation();
    } catch (const SMCKit::Error1& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

class TestAppleSmcSysfsDriver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void readsTheDemoMachineAsItsProfileDoes_data();
    void readsTheDemoMachineAsItsProfileDoes();
    void negativeTemperaturesSurviveEitherPath_data();
    void negativeTemperaturesSurviveEitherPath();
    void unknownKeysAreNotFound();
    void otherKeysNeedTheIndexRegister();
    void keyLookupIsRememberedAndVerified();
    void concurrentReadersEachGetTheirKey();
    void missingDirectory();
    void callsBeforeOpeningFail();
};

void TestAppleSmcSysfsDriver::readsTheDemoMachineAsItsProfileDoes_data() {
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<IndexRegister>("indexRegister");
    QTest::addColumn<bool>("raw");
    QTest::newRow("platform device, root")
        << Layout::platformDevice << IndexRegister::writable << true;
    QTest::newRow("hwmon class, root") << Layout::hwmonClass << IndexRegister::writable << true;
    QTest::newRow("no index register") << Layout::platformDevice << IndexRegister::missing << false;
    QTest::newRow("index register refused")
        << Layout::platformDevice << IndexRegister::directory << false;
    QTest::newRow("hwmon class, refused")
        << Layout::hwmonClass << IndexRegister::directory << false;
}

void TestAppleSmcSysfsDriver::readsTheDemoMachineAsItsProfileDoes() {
    QFETCH(Layout, layout);
    QFETCH(IndexRegister, indexRegister);
    QFETCH(bool, raw);
    const MachineProfile demo = demoMachineWithoutDrift();
    const QStringList expected = everyReadingOverProfile(demo);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demo), layout, indexRegister);
    QVERIFY(AppleSmcSysfsDriver::isPresent(root.path()));
    QCOMPARE(QDir(AppleSmcSysfsDriver::deviceDirectory(root.path())).canonicalPath(),
             QDir(tree.deviceDirectory()).canonicalPath());
    auto driver = std::make_shared<KernelLikeSysfsDriver>(root.path(), tree);
    useDriver(driver);
    QCOMPARE(everyReading(), expected);
    QCOMPARE(driver->hasRawAccess(), raw);

    // The demo machine has sensors and fans, so the comparison compared something.
    QVERIFY(expected.contains(QStringLiteral("TC0P = 52")));
    QVERIFY(expected.contains(QStringLiteral("fan 1 speed = 2310")));
}

void TestAppleSmcSysfsDriver::negativeTemperaturesSurviveEitherPath_data() {
    QTest::addColumn<IndexRegister>("indexRegister");
    QTest::newRow("index register") << IndexRegister::writable;
    QTest::newRow("temperature files") << IndexRegister::missing;
}

void TestAppleSmcSysfsDriver::negativeTemperaturesSurviveEitherPath() {
    QFETCH(IndexRegister, indexRegister);
    QTemporaryDir root;
    FakeAppleSmcTree tree(root.path(),
                          {{"TA0P", "sp78", QByteArray("\x85\x40", 2)},
                           {"TA1P", "sp78", QByteArray("\xFF\x00", 2)},
                           {"TB0T", "sp78", QByteArray("\x80\xC0", 2)},
                           {"TC0P", "sp78", QByteArray("\x2D\xC0", 2)},
                           {"TC0H", "sp78", QByteArray("\x7F\xFF", 2)}},
                          Layout::platformDevice, indexRegister);
    useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
    QCOMPARE(SMCKit::readTemperature(code("TA0P")), -5.0);
    QCOMPARE(SMCKit::readTemperature(code("TA1P")), -127.0);
    QCOMPARE(SMCKit::readTemperature(code("TB0T")), 0.0);
    QCOMPARE(SMCKit::readTemperature(code("TC0P")), 45.0);
    QCOMPARE(SMCKit::readTemperature(code("TC0H")), 127.0);
}

void TestAppleSmcSysfsDriver::unknownKeysAreNotFound() {
    QTemporaryDir root;
    FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachineWithoutDrift()));
    useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
    // Before the first key, between two keys, after the last one.
    for (const char* key : {"#KEY", "TC0E", "zzzz", "F2Ac"}) {
        const auto error = errorOf([key] { SMCKit::readKeyInformation(code(key)); });
        QVERIFY2(error, key);
        QCOMPARE(error->kind, Kind::keyNotFound);
        QCOMPARE(error->code, QString::fromLatin1(key));
    }
}

void TestAppleSmcSysfsDriver::otherKeysNeedTheIndexRegister() {
    // A key that is neither a temperature nor a fan key can only be read
    // through the index register.
    QList<FakeAppleSmcTree::Key> keys = FakeAppleSmcTree::keysOf(demoMachineWithoutDrift());
    keys.append({"BNum", "ui8 ", QByteArray("\x01", 1)});
    keys.append({"TC0E", "fpe2", QByteArray("\x0C\x80", 2)});

    QTemporaryDir rootWithRegister;
    FakeAppleSmcTree privileged(rootWithRegister.path(), keys);
    useDriver(std::make_shared<KernelLikeSysfsDriver>(rootWithRegister.path(), privileged));
    QCOMPARE(SMCKit::readKey(code("BNum"), SMCDataType::ui8())[0], uint8_t(1));
    SMCKit::readKeyInformation(code("TC0E"));

    QTemporaryDir rootWithout;
    FakeAppleSmcTree unprivileged(rootWithout.path(), keys, Layout::platformDevice,
                                  IndexRegister::directory);
    useDriver(std::make_shared<KernelLikeSysfsDriver>(rootWithout.path(), unprivileged));
    const auto refused = errorOf([] { SMCKit::readKey(code("BNum"), SMCDataType::ui8()); });
    QVERIFY(refused);
    QCOMPARE(refused->kind, Kind::notPrivileged);
    // The kernel lists only temperature keys of type sp78.
    QCOMPARE(errorOf([] { SMCKit::readKeyInformation(code("TC0E")); })->kind, Kind::keyNotFound);
    // What the readable files tell still works.
    QCOMPARE(SMCKit::readTemperature(code("TC0P")), 52.0);
    QCOMPARE(SMCKit::readFanName(1), QStringLiteral("Right Fan"));
    QCOMPARE(SMCKit::readKey(code("FNum"), SMCDataType::ui8())[0], uint8_t(2));
    QCOMPARE(unprivileged.selections, 0);
}

void TestAppleSmcSysfsDriver::keyLookupIsRememberedAndVerified() {
    QTemporaryDir root;
    const QList<FakeAppleSmcTree::Key> keys = FakeAppleSmcTree::keysOf(demoMachineWithoutDrift());
    FakeAppleSmcTree tree(root.path(), keys);
    useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));

    tree.selections = 0;
    QCOMPARE(SMCKit::readTemperature(code("TM0S")), 43.0);
    // A binary search, then one selection to read the value.
    const int firstRead = tree.selections;
    int searchSteps = 0;
    for (qsizetype span = keys.size(); span > 0; span /= 2) {
        ++searchSteps;
    }
    QVERIFY2(firstRead <= searchSteps + 2, qPrintable(QString::number(firstRead)));

    tree.selections = 0;
    QCOMPARE(SMCKit::readTemperature(code("TM0S")), 43.0);
    QCOMPARE(tree.selections, 1);

    // Another process moves the shared index once: the value is read again.
    tree.selections = 0;
    tree.interferences = 1;
    QCOMPARE(SMCKit::readTemperature(code("TM0S")), 43.0);
    QCOMPARE(tree.selections, 2);

    // It keeps moving it: the read fails rather than answer another key's value.
    tree.interferences = 100;
    const auto error = errorOf([] { SMCKit::readTemperature(code("TM0S")); });
    QVERIFY(error);
    QCOMPARE(error->kind, Kind::unknown);
}

void TestAppleSmcSysfsDriver::concurrentReadersEachGetTheirKey() {
    // Clients are served on several threads; the one index register must not
    // let one reader see another's key.
    QTemporaryDir root;
    FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachineWithoutDrift()));
    useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
    std::atomic<int> wrong{0};
    const auto reader = [&wrong](int offset) {
        for (int i = 0; i < 30; ++i) {
            try {
                switch ((i + offset) % 3) {
                case 0:
                    wrong += SMCKit::readTemperature(code("TC0P")) == 52.0 ? 0 : 1;
                    break;
                case 1:
                    wrong += SMCKit::readTemperature(code("TM0S")) == 43.0 ? 0 : 1;
                    break;
                default:
                    wrong += SMCKit::readFanCurrentSpeed(1) == 2310 ? 0 : 1;
                    break;
                }
            } catch (const SMCKit::Error1&) {
                ++wrong;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int offset = 0; offset < 4; ++offset) {
        threads.emplace_back(reader, offset);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    QCOMPARE(wrong.load(), 0);
}

void TestAppleSmcSysfsDriver::missingDirectory() {
    QTemporaryDir root;
    QVERIFY(!AppleSmcSysfsDriver::isPresent(root.path()));
    QVERIFY(!AppleSmcSysfsDriver::isPresent(root.path() + QStringLiteral("/nothing")));
    SMCKit::setDriver(std::make_shared<AppleSmcSysfsDriver>(root.path()));
    const auto error = errorOf([] { SMCKit::openConnection(); });
    QVERIFY(error);
    QCOMPARE(error->kind, Kind::driverNotFound);

    // A device that disappears after opening fails reads instead of crashing.
    FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachineWithoutDrift()));
    useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
    QVERIFY(QDir(tree.deviceDirectory()).removeRecursively());
    const auto gone = errorOf([] { SMCKit::readTemperature(code("TC0P")); });
    QVERIFY(gone);
    QCOMPARE(gone->kind, Kind::unknown);
}

void TestAppleSmcSysfsDriver::callsBeforeOpeningFail() {
    QTemporaryDir root;
    FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachineWithoutDrift()));
    KernelLikeSysfsDriver driver(root.path(), tree);
    SMCParamStruct input{};
    input.key = code("TC0P");
    input.data8 = SMCParamStruct::readKeyInfo;
    SMCParamStruct output{};
    size_t size = sizeof(output);
    QCOMPARE(driver.callStructMethod(0, 2, input, &output, &size), AppleSmcSysfsDriver::notOpen);
    const uint32_t service = driver.serviceMatching("AppleSMC");
    QVERIFY(service != 0);
    QCOMPARE(driver.serviceMatching("IOSomethingElse"), 0u);
    uint32_t connection = 0;
    QCOMPARE(driver.serviceOpen(service, 0, &connection), SmcDriver::success);
    QCOMPARE(driver.callStructMethod(connection, 3, input, &output, &size),
             AppleSmcSysfsDriver::badArgument);
    QCOMPARE(driver.callStructMethod(connection, 2, input, &output, &size), SmcDriver::success);
    QCOMPARE(output.result, SMCParamStruct::resultSuccess);
    QCOMPARE(output.keyInfo.dataSize, 2u);
    QCOMPARE(output.keyInfo.dataType, code("sp78"));
}

QTEST_GUILESS_MAIN(TestAppleSmcSysfsDriver)
#include "tst_applesmcsysfsdriver.moc"
