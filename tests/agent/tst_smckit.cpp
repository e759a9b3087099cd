// SMC access (codes, decodings, the 80-byte exchange, fans, presence scan) and
// the sensor catalogue with its components.

#include "AgentTestSupport.h"
#include "SensorComponents.h"
#include "TemperatureSensorCatalogue.h"

#include <QSet>
#include <climits>
#include <cstring>

namespace {

using Kind = SMCKit::Error1::Kind;

uint32_t code(const char* text) {
    return *SMCKit::fourCharCode(QString::fromLatin1(text));
}

// A described machine's driver that records what the SMC layer asks of it;
// `answer`, when set, replaces the machine's replies (call number from 1).
class RecordingDriver : public ProfileSmcDriver {
public:
    explicit RecordingDriver(const QString& machine)
        : ProfileSmcDriver(describedMachine(machine)) {}
    uint32_t serviceMatching(const char* name) override {
        return matched = ProfileSmcDriver::serviceMatching(name);
    }
    KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) override {
        openTypes.append(type);
        return ProfileSmcDriver::serviceOpen(service, type, connection);
    }
    void objectRelease(uint32_t object) override {
        released.append(object);
        ProfileSmcDriver::objectRelease(object);
    }
    KernReturn callStructMethod(uint32_t connection, uint32_t selector, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t* size) override {
        calls.append({connection, selector, *size});
        requests.append(QByteArray(reinterpret_cast<const char*>(&input), sizeof input));
        keys.append(SMCKit::fourCharString(input.key));
        return answer
                   ? answer(int(calls.size()), output)
                   : ProfileSmcDriver::callStructMethod(connection, selector, input, output, size);
    }

    std::function<KernReturn(int, SMCParamStruct*)> answer;
    uint32_t matched = 0;
    QList<uint32_t> openTypes;
    QList<uint32_t> released;
    QList<QList<size_t>> calls; // connection, selector, reply size
    QByteArrayList requests;
    QStringList keys;
};

std::shared_ptr<RecordingDriver> useMachine(const QString& machine, bool open = true) {
    auto driver = std::make_shared<RecordingDriver>(machine);
    SMCKit::setDriver(driver);
    if (open) {
        QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
        SMCKit::openConnection();
    }
    return driver;
}

// The 80 bytes a request must be: zero except for the named fields.
QByteArray request(const char* key, uint32_t dataSize, uint8_t command) {
    QByteArray bytes(80, '\0');
    const uint32_t keyCode = code(key);
    std::memcpy(bytes.data(), &keyCode, 4);
    std::memcpy(bytes.data() + 28, &dataSize, 4);
    bytes[42] = char(command);
    return bytes;
}

// A fan descriptor: four bytes that are not the name, then 12 name bytes.
QByteArray fds(const char (&name)[13]) {
    return QByteArray("\x01\x02XY", 4) + QByteArray(name, 12);
}

// The error an operation raises, as "kind payload"; empty for none.
template <typename Operation> QString failureOf(Operation operation) {
    const auto error = SMCKit::errorOf(operation);
    if (!error) {
        return {};
    }
    static const char* const kinds[] = {"keyNotFound", "unknown", "driverNotFound", "failedToOpen",
                                        "notPrivileged"};
    QString text = kinds[int(error->kind)] + QString(" ") + error->code;
    if (error->kind == Kind::unknown) {
        text += QString("%1 %2").arg(uint(error->kIOReturn), 0, 16).arg(error->SMCResult);
    }
    return text.trimmed();
}

} // namespace

class TestSMCKit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SMCKit::setDriver(nullptr); }

    void fourCharCode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("expected"); // -1: refused
        QTest::newRow("TC0P") << "TC0P" << 0x54433050ll;
        QTest::newRow("Latin-1 byte") << "T\u00E90P" << 0x54E93050ll;
        QTest::newRow("beyond one byte") << "T\u03A90P" << -1ll;
        QTest::newRow("five, a fan number of 10") << "F10Ac" << -1ll;
    }
    void fourCharCode() {
        QFETCH(QString, text);
        QFETCH(qlonglong, expected);
        const auto result = SMCKit::fourCharCode(text);
        QCOMPARE(result ? qlonglong(*result) : -1, expected);
        if (result) {
            QCOMPARE(SMCKit::fourCharString(*result), text);
        }
    }

    // The reply's type follows from the expected value's: double sp78, int fpe2, text {fds.
    void decoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("sp78 45.75") << QByteArray("\x2D\xC0") << QVariant(45.0);
        QTest::newRow("sp78 -5") << QByteArray("\x85\x00", 2) << QVariant(-5.0);
        QTest::newRow("sp78 0xFF is -127") << QByteArray("\xFF\x00", 2) << QVariant(-127.0);
        QTest::newRow("sp78 0") << QByteArray(2, '\0') << QVariant(0.0);
        QTest::newRow("fpe2 6000") << QByteArray("\x5D\xC0") << QVariant(6000);
        QTest::newRow("fpe2 1") << QByteArray("\x00\x04", 2) << QVariant(1);
        QTest::newRow("fpe2 fraction") << QByteArray("\x00\x03", 2) << QVariant(0);
        QTest::newRow("fpe2 highest") << QByteArray("\xFF\xFF") << QVariant(16383);
        QTest::newRow("fds 9 + NULs") << fds("Exhaust01\0\0\0") << QVariant("Exhaust01");
        QTest::newRow("fds blanks") << fds("  Left    \0\0") << QVariant("Left");
        QTest::newRow("fds tabs, NBSP") << fds("\t\xA0Right\xA0\t\0\0\0") << QVariant("Right");
        QTest::newRow("fds NUL inside") << fds("Le\0ft\0\0\0\0\0\0\0") << QVariant("Left");
        QTest::newRow("fds line breaks") << fds("\nLeft\n\0\0\0\0\0\0") << QVariant("\nLeft\n");
        QTest::newRow("fds 12, Latin-1") << fds("ABCDEFGHIJK\xE9") << QVariant("ABCDEFGHIJK\u00E9");
    }
    void decoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QVariant, expected);
        std::array<uint8_t, 32> raw{};
        std::memcpy(raw.data(), bytes.constData(), size_t(bytes.size()));
        const int type = expected.typeId();
        QCOMPARE(type == QMetaType::Double ? QVariant(SMCKit::decodeSp78(raw))
                 : type == QMetaType::Int  ? QVariant(SMCKit::decodeFpe2(raw))
                                           : QVariant(SMCKit::decodeFds(raw)),
                 expected);
    }

    void requestsAreExactRecords() {
        auto driver = useMachine("");
        SMCKit::errorOf([] { SMCKit::readKeyInformation(code("TC0P")); });
        SMCKit::errorOf([] { SMCKit::readTemperature(code("TC0P")); });
        SMCKit::errorOf([] { SMCKit::readFanName(2); });
        SMCKit::errorOf([] { SMCKit::readFanMinimumSpeed(2); });
        SMCKit::errorOf([] { SMCKit::readFanMaximumSpeed(2); });
        SMCKit::errorOf([] { SMCKit::readFanCurrentSpeed(2); });
        SMCKit::errorOf([] { SMCKit::readKey(code("FNum"), SMCDataType::ui8()); });
        SMCKit::readTemperatureIfAnswered(code("TC0P"));
        SMCKit::readFanCurrentSpeedIfAnswered(2);
        QCOMPARE(SMCKit::readFanCurrentSpeedIfAnswered(10), std::nullopt);
        QCOMPARE(
            driver->requests,
            QByteArrayList({request("TC0P", 0, 9), request("TC0P", 2, 5), request("F2ID", 16, 5),
                            request("F2Mn", 2, 5), request("F2Mx", 2, 5), request("F2Ac", 2, 5),
                            request("FNum", 1, 5), request("TC0P", 2, 5), request("F2Ac", 2, 5)}));
        for (const auto& call : driver->calls) {
            QVERIFY(call[0] != 0);
            QCOMPARE(call.mid(1), QList<size_t>({2, 80}));
        }
    }

    void exchangeErrorMapping_data() {
        QTest::addColumn<int>("kr");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("failure");
        const int notPrivileged = SmcDriver::notPrivileged;
        QTest::newRow("success") << 0 << 0 << "";
        QTest::newRow("not privileged") << notPrivileged << 0 << "notPrivileged";
        QTest::newRow("not privileged wins") << notPrivileged << 0x84 << "notPrivileged";
        QTest::newRow("other return code") << SmcDriver::error << 7 << "unknown e00002bc 7";
        QTest::newRow("key not found") << 0 << 0x84 << "keyNotFound TC0P";
        QTest::newRow("other result") << 0 << 0x85 << "unknown 0 133";
    }
    void exchangeErrorMapping() {
        QFETCH(int, kr);
        QFETCH(int, result);
        useMachine("")->answer = [kr, result](int, SMCParamStruct* reply) {
            reply->result = uint8_t(result);
            reply->bytes[0] = 0x2A;
            return kr;
        };
        SMCParamStruct input{};
        input.key = code("TC0P");
        input.data8 = SMCParamStruct::readKeyValue;
        QTEST(failureOf([&] { QCOMPARE(SMCKit::sendCommand(input).bytes[0], uint8_t(0x2A)); }),
              "failure");
        // Every operation maps its exchange the same way.
        QTEST(failureOf([] { SMCKit::readTemperature(code("TC0P")); }), "failure");
        // The live reads make the same exchange and have a value only on success.
        QFETCH(QString, failure);
        const auto expected = failure.isEmpty() ? std::optional<int>(42) : std::nullopt;
        QCOMPARE(SMCKit::readTemperatureIfAnswered(code("TC0P")), expected);
        QCOMPARE(SMCKit::readFanCurrentSpeedIfAnswered(2),
                 failure.isEmpty() ? std::optional<int>(0x2A << 6) : std::nullopt);
    }

    void opening_data() {
        QTest::addColumn<QString>("machine"); // "none": no driver set
        QTest::addColumn<QString>("failure");
        QTest::newRow("opens") << "" << QString();
        QTest::newRow("no service") << "service=false" << QString("driverNotFound");
        QTest::newRow("won't open") << "open=false" << QString("failedToOpen");
        QTest::newRow("no driver") << "none" << QString("driverNotFound");
    }
    void opening() {
        QFETCH(QString, machine);
        QFETCH(QString, failure);
        auto driver = useMachine(machine, false);
        if (machine == "none") {
            SMCKit::setDriver(nullptr);
        }
        if (failure.isEmpty()) {
            QTest::ignoreMessage(QtInfoMsg, "Connection open with SMC in SMC");
        }
        QCOMPARE(failureOf([] { SMCKit::openConnection(); }), failure);
        // Exchanges go through the opened connection: "not found", not "not open".
        const QString exchange = failureOf([] { SMCKit::readKeyInformation(code("TC0P")); });
        QCOMPARE(exchange == "keyNotFound TC0P", failure.isEmpty());
        QCOMPARE(driver->openTypes.value(0), 0u); // type 0, if opened at all
        // The service object is released whatever the outcome of opening it.
        QCOMPARE(driver->released,
                 driver->openTypes.isEmpty() ? QList<uint32_t>() : QList{driver->matched});
    }

    // Rows are named by the machine they run on.
    void fanList_data() {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<int>("fans");
        QTest::addColumn<QString>("failure");
        const QString upToF1Mn = "FNum F0ID F0Mn F0Mx F1ID F1Mn";
        QTest::newRow("fans=2") << upToF1Mn + " F1Mx" << 2 << QString();
        QTest::newRow("fans=0") << "FNum" << 0 << QString();
        QTest::newRow("fans=3 F1Mn=!") << upToF1Mn << 0 << "unknown 0 1";
        QTest::newRow("fans=3 F0ID=-") << "FNum F0ID" << 0 << "keyNotFound F0ID";
        QTest::newRow("FNum=-") << "FNum" << 0 << "keyNotFound FNum";
    }
    void fanList() {
        QFETCH(int, fans);
        auto driver = useMachine(QTest::currentDataTag());
        QList<Fan> read;
        QTEST(failureOf([&] { read = SMCKit::readFans(); }), "failure");
        QTEST(driver->keys.join(' '), "requested");
        QCOMPARE(read.size(), fans);
        for (int n = 0; n < read.size(); ++n) {
            QCOMPARE(read[n], (Fan{n, QString("Fan %1").arg(n), 1000 + n, 5000 + n}));
        }
    }

    void fansBeyondNine() {
        auto driver = useMachine("fans=12");
        LogCapture log;
        const QList<Fan> first = SMCKit::readFans();
        QCOMPARE(SMCKit::readFans(), first);
        QCOMPARE(first.size(), 10);
        QCOMPARE(first.last(), (Fan{9, "Fan 9", 1009, 5009}));
        QCOMPARE(driver->calls.size(), 2 * (1 + 3 * 10));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().contains("12"), qPrintable(log.lines.first()));

        // No key can be formed for these: nothing reaches the driver.
        for (const int id : {10, -1, INT_MIN}) {
            const QString key = QString("keyNotFound F%1").arg(id);
            QCOMPARE(failureOf([id] { SMCKit::readFanCurrentSpeed(id); }), key + "Ac");
            QCOMPARE(failureOf([id] { SMCKit::readFanMinimumSpeed(id); }), key + "Mn");
            QCOMPARE(failureOf([id] { SMCKit::readFanMaximumSpeed(id); }), key + "Mx");
            QCOMPARE(failureOf([id] { SMCKit::readFanName(id); }), key + "ID");
        }
        QCOMPARE(driver->calls.size(), 2 * (1 + 3 * 10));
        QCOMPARE(SMCKit::readFanMinimumSpeed(9), 1009);
    }

    void presenceScan() {
        // TZ9Z is no catalogue key: never asked for.
        auto driver = useMachine("TC0P=40 TC0H=40 TS2p=40 TPCD=40 TA0P=40 TZ9Z=40");
        QStringList found;
        for (const TemperatureSensor& sensor : SMCKit::presentTemperatureSensors()) {
            found.append(SMCKit::fourCharString(sensor.code));
            QCOMPARE(temperatureSensorCatalogue().value(sensor.code), sensor);
        }
        found.sort();
        QCOMPARE(found, QStringList({"TA0P", "TC0H", "TC0P", "TPCD", "TS2p"}));
        // One key-information request per catalogue entry, nothing else.
        QCOMPARE(driver->keys.size(), 48);
        QCOMPARE(QSet<QString>(driver->keys.cbegin(), driver->keys.cend()).size(), 48);
        for (int i = 0; i < driver->keys.size(); ++i) {
            QVERIFY(temperatureSensorCatalogue().contains(code(qPrintable(driver->keys[i]))));
            QCOMPARE(driver->requests[i], request(qPrintable(driver->keys[i]), 0, 9));
        }

        // A refusal part way through fails the whole scan at once.
        driver->calls.clear();
        driver->answer = [](int call, SMCParamStruct* reply) {
            reply->result = call % 3 ? SMCParamStruct::resultKeyNotFound : 0;
            return call == 20 ? SmcDriver::notPrivileged : SmcDriver::success;
        };
        QCOMPARE(failureOf([] { SMCKit::presentTemperatureSensors(); }), "notPrivileged");
        QCOMPARE(driver->calls.size(), 20);
    }

    // Key → catalogue name → component ("-": none). A name belongs to the
    // component its name begins with, case-sensitively.
    void lookupAndMembership_data() {
        QTest::addColumn<QStringList>("entry");
        for (const char* entry :
             {"TS2P ENCLOSURE_BASE_4 ENCLOSURE", "TS2p ENCLOSURE_BASE_5 ENCLOSURE",
              "TA1v AMBIENT_AIR_4 AMBIENT", "TC0H CPU_HEATSINK CPU", "TG0H GPU_HEATSINK GPU",
              "Th0H HEATSINK_0 HEATSINK", "TH0P HDD_0 HDD", "TM0P MEM_SLOTS_PROXIMITY MEM",
              "Tm0P LOGIC_BOARD_0 LOGIC", "Tp0P POWER_SUPPLY_3 POWER", "TI0P THUNDERBOLT_0 THUNDER",
              "TPCD PCH_DIE -", "TP0P - -", "TC0p - -", "FNum - -"}) {
            QTest::newRow(entry) << QString(entry).replace('-', QString()).split(' ');
        }
    }
    void lookupAndMembership() {
        QFETCH(QStringList, entry);
        const auto found = temperatureSensorCatalogue().constFind(code(qPrintable(entry[0])));
        QCOMPARE(found == temperatureSensorCatalogue().cend() ? QString() : found->name, entry[1]);
        QCOMPARE(SensorComponents::componentOf(entry[1]), entry[2]);
        for (const QString& key : SensorComponents::keysInOrder()) {
            QCOMPARE(SensorComponents::belongsTo(entry[1], key), key == entry[2]);
        }
    }
};

QTEST_GUILESS_MAIN(TestSMCKit)
#include "tst_smckit.moc"
