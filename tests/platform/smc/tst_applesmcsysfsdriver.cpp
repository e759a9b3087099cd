#include "AgentResources.h"
#include "FakeAppleSmcTree.h"
#include "SMCKit.h"
#include "TemperatureSensorCatalogue.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <bit>
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

// Temperatures at the edges of sp78, which the kernel's temperature files
// show in a lossy form of their own.
const QVariantMap edgeTemperatures = {
    {"TN0A", QVariantMap{{"type", "sp78"}, {"bytes", QByteArray("\x85\x40", 2)}}},
    {"TN0B", QVariantMap{{"type", "sp78"}, {"bytes", QByteArray("\xFF\x00", 2)}}},
    {"TN0C", QVariantMap{{"type", "sp78"}, {"bytes", QByteArray("\x80\xC0", 2)}}},
    {"TN0D", QVariantMap{{"type", "sp78"}, {"bytes", QByteArray("\x7F\xFF", 2)}}}};

// The demo machine as a test needs it: exact values, no drift.
MachineProfile demoMachine(const QVariantMap& extraKeys = {}) {
    initAgentResources();
    QVariantMap smc = MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist"))->smc();
    QVariantMap keys = smc.value(QStringLiteral("keys")).toMap();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        QVariantMap entry = it.value().toMap();
        entry.remove(QStringLiteral("drift"));
        it.value() = entry;
    }
    keys.insert(extraKeys);
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
        return QStringLiteral("failed, kind %1").arg(int(error.kind));
    }
}

// Every reading the agent takes of a machine, one line each, through the
// process's current driver.
QStringList everyReading() {
    QList<uint32_t> temperatureKeys;
    for (const TemperatureSensor& sensor : temperatureSensorCatalogueInDeclarationOrder()) {
        temperatureKeys.append(sensor.code);
    }
    for (const QString& key : edgeTemperatures.keys()) {
        temperatureKeys.append(*SMCKit::fourCharCode(key));
    }
    QStringList lines;
    for (const uint32_t key : temperatureKeys) {
        lines.append(SMCKit::fourCharString(key) + QStringLiteral(" = ") +
                     outcome([key] { return QString::number(SMCKit::readTemperature(key)); }));
    }
    lines.append(outcome([] {
        QString fans;
        for (const Fan& fan : SMCKit::readFans()) {
            fans += QStringLiteral("%1 %2 %3-%4, ")
                        .arg(fan.id)
                        .arg(fan.name)
                        .arg(fan.minSpeed)
                        .arg(fan.maxSpeed);
        }
        return fans;
    }));
    for (int fan = 0; fan < 4; ++fan) {
        lines.append(QStringLiteral("fan %1 speed = ").arg(fan) +
                     outcome([fan] { return QString::number(SMCKit::readFanCurrentSpeed(fan)); }));
    }
    lines.append(outcome([] {
        QStringList names;
        for (const TemperatureSensor& sensor : SMCKit::presentTemperatureSensors()) {
            names.append(sensor.name);
        }
        return names.join(QLatin1Char(' '));
    }));
    return lines;
}

} // namespace

class TestAppleSmcSysfsDriver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void readsTheDemoMachineAsItsProfileDoes_data() {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<IndexRegister>("indexRegister");
        QTest::newRow("platform device, root") << Layout::platformDevice << IndexRegister::writable;
        QTest::newRow("hwmon class, register refused")
            << Layout::hwmonClass << IndexRegister::directory;
        QTest::newRow("no index register") << Layout::platformDevice << IndexRegister::missing;
    }

    void readsTheDemoMachineAsItsProfileDoes() {
        QFETCH(Layout, layout);
        QFETCH(IndexRegister, indexRegister);
        const MachineProfile demo = demoMachine(edgeTemperatures);
        useDriver(std::make_shared<ProfileSmcDriver>(demo));
        const QStringList expected = everyReading();
        // The comparison below compares something.
        for (const char* line :
             {"TC0P = 52", "fan 1 speed = 2310", "TN0A = -5", "TN0B = -127", "TN0D = 127"}) {
            QVERIFY2(expected.contains(QLatin1String(line)), line);
        }

        QTemporaryDir root;
        FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demo), layout, indexRegister);
        QCOMPARE(QDir(AppleSmcSysfsDriver::deviceDirectory(root.path())).canonicalPath(),
                 QDir(tree.deviceDirectory()).canonicalPath());
        auto driver = std::make_shared<KernelLikeSysfsDriver>(root.path(), tree);
        useDriver(driver);
        QCOMPARE(everyReading(), expected);
        QCOMPARE(driver->hasRawAccess(), indexRegister == IndexRegister::writable);
    }

    void otherKeysNeedTheIndexRegister() {
        // A key that is neither a temperature nor a fan key can only be read
        // through the index register.
        QList<FakeAppleSmcTree::Key> keys = FakeAppleSmcTree::keysOf(demoMachine());
        keys.append({"BNum", "ui8 ", QByteArray("\x01", 1)});
        keys.append({"TC0E", "fpe2", QByteArray("\x0C\x80", 2)});
        QTemporaryDir rootWithRegister;
        FakeAppleSmcTree privileged(rootWithRegister.path(), keys);
        useDriver(std::make_shared<KernelLikeSysfsDriver>(rootWithRegister.path(), privileged));
        QCOMPARE(SMCKit::readKey(code("BNum"), SMCDataType::ui8())[0], uint8_t(1));
        SMCKit::readKeyInformation(code("TC0E"));
        // Before the first key, between two keys, after the last one.
        for (const char* key : {"#KEY", "TC0G", "zzzz", "F2Ac"}) {
            const auto error = SMCKit::errorOf([key] { SMCKit::readKeyInformation(code(key)); });
            QVERIFY2(error && error->kind == Kind::keyNotFound, key);
            QCOMPARE(error->code, QString::fromLatin1(key));
        }

        QTemporaryDir rootWithout;
        FakeAppleSmcTree unprivileged(rootWithout.path(), keys, Layout::platformDevice,
                                      IndexRegister::directory);
        useDriver(std::make_shared<KernelLikeSysfsDriver>(rootWithout.path(), unprivileged));
        QCOMPARE(SMCKit::errorOf([] { SMCKit::readKey(code("BNum"), SMCDataType::ui8()); })->kind,
                 Kind::notPrivileged);
        // The kernel lists only temperature keys of type sp78.
        QCOMPARE(SMCKit::errorOf([] { SMCKit::readKeyInformation(code("TC0E")); })->kind,
                 Kind::keyNotFound);
        QCOMPARE(SMCKit::readKey(code("FNum"), SMCDataType::ui8())[0], uint8_t(2));
        QCOMPARE(unprivileged.selections, 0);
    }

    void keyLookupIsRememberedAndVerified() {
        QTemporaryDir root;
        const QList<FakeAppleSmcTree::Key> keys = FakeAppleSmcTree::keysOf(demoMachine());
        FakeAppleSmcTree tree(root.path(), keys);
        useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
        tree.selections = 0;
        QCOMPARE(SMCKit::readTemperature(code("TM0S")), 43.0);
        // A binary search, then one selection to read the value.
        QVERIFY2(tree.selections <= int(std::bit_width(size_t(keys.size()))) + 2,
                 qPrintable(QString::number(tree.selections)));
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
        QCOMPARE(SMCKit::errorOf([] { SMCKit::readTemperature(code("TM0S")); })->kind,
                 Kind::unknown);
    }

    void concurrentReadersEachGetTheirKey() {
        // Clients are served on several threads; the one index register must
        // not let one reader see another's key.
        QTemporaryDir root;
        FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachine()));
        useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
        std::atomic<int> wrong{0};
        const auto reader = [&wrong](int offset) {
            for (int i = offset; i < offset + 30; ++i) {
                try {
                    const int reading =
                        i % 3 == 2
                            ? SMCKit::readFanCurrentSpeed(1)
                            : int(SMCKit::readTemperature(code(i % 3 == 0 ? "TC0P" : "TM0S")));
                    wrong += reading == QList<int>{52, 43, 2310}[i % 3] ? 0 : 1;
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

    void missingOrVanishedDevice() {
        QTemporaryDir root;
        QVERIFY(!AppleSmcSysfsDriver::isPresent(root.path()));
        SMCKit::setDriver(std::make_shared<AppleSmcSysfsDriver>(root.path()));
        QCOMPARE(SMCKit::errorOf([] { SMCKit::openConnection(); })->kind, Kind::driverNotFound);

        FakeAppleSmcTree tree(root.path(), FakeAppleSmcTree::keysOf(demoMachine()));
        QVERIFY(AppleSmcSysfsDriver::isPresent(root.path()));
        // A device that disappears after opening fails reads instead of crashing.
        useDriver(std::make_shared<KernelLikeSysfsDriver>(root.path(), tree));
        QVERIFY(QDir(tree.deviceDirectory()).removeRecursively());
        QCOMPARE(SMCKit::errorOf([] { SMCKit::readTemperature(code("TC0P")); })->kind,
                 Kind::unknown);
    }
};

QTEST_GUILESS_MAIN(TestAppleSmcSysfsDriver)
#include "tst_applesmcsysfsdriver.moc"
