// The one-shot client's reading of wire messages: a well-formed reply is read
// as the Qt-based programs read it, and bytes that are not one are refused
// without reading outside them, whatever the peer put in the lengths.

#include "BusMessage.h"
#include "SessionBus.h"

#include <QTest>
#include <cstring>

namespace {

std::string bytesOf(const QByteArray& hex) {
    const QByteArray raw = QByteArray::fromHex(hex);
    return std::string(raw.constData(), std::size_t(raw.size()));
}

// A method return of `signature` carrying `body` as given, in reply to 7.
std::string reply(const std::string& signature, const std::string& body) {
    const auto word = [](std::uint32_t value) {
        return std::string(reinterpret_cast<const char*>(&value), 4);
    };
    std::string message =
        std::string("l\x02\x00\x01", 4) + word(std::uint32_t(body.size())) + word(1) + word(0);
    message += std::string("\x05\x01u\x00", 4) + word(7);
    message += std::string("\x08\x01g\x00", 4) + char(signature.size()) + signature + '\0';
    const auto fieldsLength = std::uint32_t(message.size() - 16);
    std::memcpy(&message[12], &fieldsLength, 4);
    while (message.size() % 8 != 0) {
        message += '\0';
    }
    return message + body;
}

// One entry of an a{sv} body: its key, the variant's signature, and the
// value's bytes, which start at `alignment`.
struct Entry {
    std::string key;
    std::string signature;
    std::size_t alignment;
    std::string value;
};

std::string dictionaryBody(const std::vector<Entry>& entries) {
    std::string body(8, '\0'); // the length, then padding to the entries' 8
    const auto pad = [&body](std::size_t alignment) {
        while (body.size() % alignment != 0) {
            body += '\0';
        }
    };
    for (const Entry& entry : entries) {
        pad(8);
        const auto keyLength = std::uint32_t(entry.key.size());
        body.append(reinterpret_cast<const char*>(&keyLength), 4);
        body += entry.key + '\0';
        body += char(entry.signature.size()) + entry.signature + '\0';
        pad(entry.alignment);
        body += entry.value;
    }
    const auto length = std::uint32_t(body.size() - 8);
    std::memcpy(body.data(), &length, 4);
    return body;
}

} // namespace

class TestBusMessage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheContractsShapes() {
        const std::string call =
            BusMessage::methodCall(3, "com.quillbank.OndaraHelper", "/com/quillbank/OndaraHelper",
                                   "com.quillbank.OndaraHelperProtocol", "rpmForFans", "ai",
                                   BusMessage::integerArrayBody({0, 2}));
        QCOMPARE(BusMessage::sizeOf(call), std::optional<std::size_t>(call.size()));
        QVERIFY(!BusMessage::sizeOf(call.substr(0, 15)));
        const auto parsed = BusMessage::parse(call);
        QVERIFY(parsed);
        QCOMPARE(parsed->signature, std::string("ai"));
        QCOMPARE(parsed->integers(), std::optional(std::vector<int>{0, 2}));
        QVERIFY(!parsed->reals());

        const auto message = BusMessage::parse(
            reply("a{sv}", dictionaryBody({{"CPU", "x", 8, bytesOf("0500000000000000")},
                                           {"GPU", "s", 4,
                                            bytesOf("01000000"
                                                    "4100")}})));
        QVERIFY(message);
        QCOMPARE(message->replySerial, 7u);
        QCOMPARE(message->type, BusMessage::Type::methodReturn);
        const auto entries = message->dictionary();
        QVERIFY(entries);
        QCOMPARE(entries->size(), std::size_t(2));
        QCOMPARE(entries->at(0).second.integer, 5);
        QCOMPARE(entries->at(1).second.bytes, std::string("A"));
    }

    void refusesWhatIsNoMessage_data() {
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("body"); // hexadecimal
        const auto one = [](const char* signature, std::size_t alignment, const char* value) {
            const std::string body = dictionaryBody({{"A", signature, alignment, bytesOf(value)}});
            return QByteArray(body.data(), qsizetype(body.size())).toHex();
        };
        QTest::newRow("array longer than the body") << QByteArray("ai") << QByteArray("ff000000");
        QTest::newRow("array of a length no element fits")
            << QByteArray("ai") << QByteArray("0300000001020304");
        QTest::newRow("bytes after the value") << QByteArray("ai") << QByteArray("0000000001");
        // An error reply's message.
        QTest::newRow("message longer than the body")
            << QByteArray("s") << QByteArray("ff00000041");
        QTest::newRow("message without its zero") << QByteArray("s") << QByteArray("0100000041");
        QTest::newRow("message that is not UTF-8") << QByteArray("s") << QByteArray("01000000ff00");
        QTest::newRow("padding that is not zero") << QByteArray("a{sv}")
                                                  << QByteArray("00000000"
                                                                "01000000");
        QTest::newRow("text without its zero")
            << QByteArray("a{sv}") << one("s", 4, "0300000043505541");
        QTest::newRow("text that is not UTF-8")
            << QByteArray("a{sv}") << one("s", 4, "02000000c0af00");
        QTest::newRow("a surrogate in text")
            << QByteArray("a{sv}") << one("s", 4, "03000000eda08000");
        QTest::newRow("a variant of two types")
            << QByteArray("a{sv}") << one("bb", 4, "0100000001000000");
        QTest::newRow("a type that is none") << QByteArray("a{sv}") << one("z", 1, "00");
        QTest::newRow("a boolean that is 2") << QByteArray("a{sv}") << one("b", 4, "02000000");
        QTest::newRow("a file descriptor") << QByteArray("a{sv}") << one("h", 4, "00000000");
        QTest::newRow("an unsigned integer beyond int64")
            << QByteArray("a{sv}") << one("t", 8, "ffffffffffffffff");
        QTest::newRow("a dictionary keyed by booleans")
            << QByteArray("a{sv}") << one("a{bv}", 4, "00000000");
        QTest::newRow("an empty structure") << QByteArray("a{sv}") << one("()", 8, "");
        const std::string twice = dictionaryBody(
            {{"A", "b", 4, bytesOf("01000000")}, {"A", "b", 4, bytesOf("00000000")}});
        QTest::newRow("a key twice")
            << QByteArray("a{sv}") << QByteArray(twice.data(), qsizetype(twice.size())).toHex();
        std::string deep;
        for (int depth = 0; depth < 40; ++depth) {
            deep += std::string("\x01v\x00", 3);
        }
        deep += std::string("\x01y\x00\x05", 4);
        const std::string nested = dictionaryBody({{"A", "v", 1, deep}});
        QTest::newRow("variants nested 40 deep")
            << QByteArray("a{sv}") << QByteArray(nested.data(), qsizetype(nested.size())).toHex();
    }
    void refusesWhatIsNoMessage() {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, body);
        const auto message = BusMessage::parse(reply(signature.toStdString(), bytesOf(body)));
        QVERIFY(message);
        QVERIFY(!message->dictionary());
        QVERIFY(!message->integers());
        QVERIFY(!message->text());
    }

    void refusesHeadersThatLie_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("big-endian") << 0 << QByteArray("42");
        QTest::newRow("another protocol version") << 3 << QByteArray("02");
        QTest::newRow("a body beyond the limit") << 4 << QByteArray("00002000");
        QTest::newRow("fields beyond the limit") << 12 << QByteArray("00002000");
    }
    void refusesHeadersThatLie() {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        std::string message = reply("ai", BusMessage::integerArrayBody({1}));
        const std::string patch = bytesOf(bytes);
        message.replace(std::size_t(offset), patch.size(), patch);
        QCOMPARE(BusMessage::sizeOf(message), std::optional<std::size_t>(0));
        QVERIFY(!BusMessage::parse(message));
    }

    void takesUnixAddressesOnly_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("path"); // empty: none
        QTest::addColumn<bool>("abstract");
        QTest::newRow("path") << "unix:path=/run/user/1000/bus"
                              << "/run/user/1000/bus" << false;
        QTest::newRow("escaped, with a guid") << "unix:path=/tmp/a%20b,guid=0123"
                                              << "/tmp/a b" << false;
        QTest::newRow("abstract, then another") << "unix:abstract=/tmp/dbus-x;tcp:host=a"
                                                << "/tmp/dbus-x" << true;
        QTest::newRow("tcp") << "tcp:host=localhost,port=1"
                             << "" << false;
        QTest::newRow("a listening address") << "unix:tmpdir=/tmp"
                                             << "" << false;
        QTest::newRow("two paths") << "unix:path=/a,path=/b"
                                   << "" << false;
        QTest::newRow("a broken escape") << "unix:path=/a%2"
                                         << "" << false;
        QTest::newRow("a zero byte") << "unix:path=/a%00b"
                                     << "" << false;
        QTest::newRow("no path") << "unix:"
                                 << "" << false;
    }
    void takesUnixAddressesOnly() {
        QFETCH(QString, address);
        QFETCH(QString, path);
        QFETCH(bool, abstract);
        const auto socket = SessionBus::socketAddress(address.toStdString());
        QCOMPARE(socket.has_value(), !path.isEmpty());
        if (socket) {
            QCOMPARE(QString::fromStdString(socket->path), path);
            QCOMPARE(socket->abstract, abstract);
        }
    }
};

QTEST_APPLESS_MAIN(TestBusMessage)
#include "tst_busmessage.moc"
