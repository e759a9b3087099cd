// The SMART reader's request and answer as both sides read them: the reader
// takes nothing but a request word and a disk index, and the agent takes
// nothing but an answer in the one format.

#include "ata/ProfileAtaDrive.h"
#include "ata/SmartReaderAnswer.h"
#include "ata/SmartReaderRequest.h"

#include <QTest>

namespace {
using Kind = SmartReaderRequest::Kind;

const QByteArray header = "ondara-smart-reader 1\ndisk 8:16\n";

QByteArray hexBlock(char fill = '0') {
    return QByteArray(1024, fill);
}
} // namespace

class TestSmartReaderFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void request_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("index"); // -1: refused
        QTest::addColumn<bool>("collect");
        QTest::newRow("read") << QStringList{"read", "0"} << 0 << false;
        QTest::newRow("collect") << QStringList{"collect", "12"} << 12 << true;
        QTest::newRow("four digits") << QStringList{"read", "9999"} << 9999 << false;
        QTest::newRow("nothing") << QStringList{} << -1 << false;
        QTest::newRow("word alone") << QStringList{"read"} << -1 << false;
        QTest::newRow("index alone") << QStringList{"0"} << -1 << false;
        QTest::newRow("more") << QStringList{"read", "0", "1"} << -1 << false;
        QTest::newRow("device path") << QStringList{"read", "/dev/sda"} << -1 << false;
        QTest::newRow("device name") << QStringList{"read", "sda"} << -1 << false;
        QTest::newRow("path as word") << QStringList{"/dev/sda", "0"} << -1 << false;
        QTest::newRow("unknown word") << QStringList{"identify", "0"} << -1 << false;
        QTest::newRow("capitals") << QStringList{"READ", "0"} << -1 << false;
        QTest::newRow("option") << QStringList{"--read", "0"} << -1 << false;
        QTest::newRow("negative") << QStringList{"read", "-1"} << -1 << false;
        QTest::newRow("plus") << QStringList{"read", "+1"} << -1 << false;
        QTest::newRow("leading zero") << QStringList{"read", "01"} << -1 << false;
        QTest::newRow("five digits") << QStringList{"read", "10000"} << -1 << false;
        QTest::newRow("overflow") << QStringList{"read", "18446744073709551617"} << -1 << false;
        QTest::newRow("blank") << QStringList{"read", " 1"} << -1 << false;
        QTest::newRow("newline") << QStringList{"read", "1\n"} << -1 << false;
        QTest::newRow("hex") << QStringList{"read", "0x1"} << -1 << false;
        QTest::newRow("exponent") << QStringList{"read", "1e3"} << -1 << false;
        QTest::newRow("wide digit") << QStringList{"read", "\uff11"} << -1 << false;
        QTest::newRow("empty") << QStringList{"read", ""} << -1 << false;
    }
    void request() {
        QFETCH(QStringList, arguments);
        QFETCH(int, index);
        std::vector<std::string> given;
        for (const QString& argument : arguments) {
            given.push_back(argument.toStdString());
        }
        const auto request = SmartReaderRequest::parse(given);
        QCOMPARE(request ? int(request->index) : -1, index);
        if (request) {
            QTEST(request->kind == Kind::collect, "collect");
            QCOMPARE(request->arguments(), given);
        }
    }

    void answer_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("collect");
        QTest::addColumn<QString>("reads"); // empty: refused
        const QByteArray block = "data 00000000 " + hexBlock('a') + '\n';
        QTest::newRow("awake and read")
            << header + "power 00000000 active\n" + block << false << "8:16 active 0 aa";
        QTest::newRow("standby, not read") << header + "power 00000000 standby\n"
                                           << false << "8:16 standby";
        QTest::newRow("bridge without power mode, read")
            << header + "power e00002c7\n" + block << false << "8:16 e00002c7 0 aa";
        QTest::newRow("read refused") << header + "power 00000000 active\ndata e00002ca\n"
                                      << false << "8:16 active e00002ca";
        QTest::newRow("power mode failed: resting") << header + "power e00002ca\n"
                                                    << false << "8:16 e00002ca";
        QTest::newRow("node did not open") << header + "open e00002c1\n"
                                           << false << "8:16 open e00002c1";
        QTest::newRow("collected") << header + "collect 00000000\n" << true << "8:16 collect 0";
        QTest::newRow("collection refused") << header + "collect e00002ca\n"
                                            << true << "8:16 collect e00002ca";
        QTest::newRow("open on collect") << header + "open e00002c0\n"
                                         << true << "8:16 open e00002c0";

        QTest::newRow("empty") << QByteArray() << false << "";
        QTest::newRow("header only") << QByteArray("ondara-smart-reader 1\n") << false << "";
        QTest::newRow("other version")
            << QByteArray("ondara-smart-reader 2\ndisk 8:16\npower 00000000 standby\n") << false
            << "";
        QTest::newRow("no last newline") << header + "power 00000000 standby" << false << "";
        QTest::newRow("carriage returns")
            << QByteArray("ondara-smart-reader 1\r\ndisk 8:16\r\npower 00000000 standby\r\n")
            << false << "";
        QTest::newRow("blank line") << header + "\npower 00000000 standby\n" << false << "";
        QTest::newRow("disk number with leading zero")
            << QByteArray("ondara-smart-reader 1\ndisk 08:16\npower 00000000 standby\n") << false
            << "";
        QTest::newRow("disk number out of range")
            << QByteArray("ondara-smart-reader 1\ndisk 4096:0\npower 00000000 standby\n") << false
            << "";
        QTest::newRow("disk with a name")
            << QByteArray("ondara-smart-reader 1\ndisk 8:16 sdb\npower 00000000 standby\n") << false
            << "";
        QTest::newRow("data while resting")
            << header + "power 00000000 standby\n" + block << false << "";
        QTest::newRow("no data while awake") << header + "power 00000000 active\n" << false << "";
        QTest::newRow("mode missing") << header + "power 00000000\n" + block << false << "";
        QTest::newRow("mode after a failure") << header + "power e00002ca active\n" << false << "";
        QTest::newRow("unknown mode") << header + "power 00000000 idle\n" + block << false << "";
        QTest::newRow("short code") << header + "power 0 active\n" + block << false << "";
        QTest::newRow("capital hex code") << header + "open E00002C1\n" << false << "";
        QTest::newRow("open success") << header + "open 00000000\n" << false << "";
        QTest::newRow("open and more") << header + "open e00002c1\npower 00000000 standby\n"
                                       << false << "";
        QTest::newRow("block one digit short")
            << header + "power 00000000 active\ndata 00000000 " + hexBlock().left(1023) + '\n'
            << false << "";
        QTest::newRow("block with a capital")
            << header + "power 00000000 active\ndata 00000000 A" + hexBlock().left(1023) + '\n'
            << false << "";
        QTest::newRow("block after a failure")
            << header + "power 00000000 active\ndata e00002ca " + hexBlock() + '\n'
            << false << "";
        QTest::newRow("two blanks") << header + "power  00000000 standby\n" << false << "";
        QTest::newRow("trailing word") << header + "power 00000000 standby x\n" << false << "";
        QTest::newRow("NUL") << header + "power 00000000 standby\n" + QByteArray(1, '\0') << false
                             << "";
        QTest::newRow("read answer to a collect") << header + "power 00000000 standby\n"
                                                  << true << "";
        QTest::newRow("collect answer to a read") << header + "collect 00000000\n" << false << "";
        QTest::newRow("longer than any answer")
            << header + "power 00000000 standby\n" + QByteArray(2048, 'x') << false << "";
    }
    void answer() {
        QFETCH(QByteArray, text);
        QFETCH(bool, collect);
        const auto answer =
            SmartReaderAnswer::parse(text.toStdString(), collect ? Kind::collect : Kind::read);
        QStringList seen;
        if (answer) {
            seen << QString::fromStdString(answer->disk.text());
            const auto code = [](AtaSmartReturn result) {
                return QString::number(uint32_t(result), 16);
            };
            if (answer->open) {
                seen << "open" << code(*answer->open);
            }
            if (answer->collect) {
                seen << "collect" << code(*answer->collect);
            }
            if (answer->power) {
                if (answer->power->result != AtaSmartReturnCode::success) {
                    seen << code(answer->power->result);
                } else {
                    seen << (answer->power->mode == AtaSmartInterface::PowerMode::standby
                                 ? "standby"
                                 : "active");
                }
            }
            if (answer->data) {
                seen << code(answer->data->result);
                if (answer->data->result == AtaSmartReturnCode::success) {
                    seen << QString::number(answer->data->block[511], 16);
                }
            }
            // Whatever is taken writes back as the same text.
            QCOMPARE(QByteArray::fromStdString(answer->text()), text);
        }
        QTEST(seen.join(' '), "reads");
    }

    // What the reader sends the drive for each request, and that the agent
    // reads back exactly what the drive said.
    void answerFromTheDrive_data() {
        QTest::addColumn<QVariantMap>("drive");
        QTest::addColumn<bool>("collect");
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QByteArray>("lines");
        const QVariantMap awake{{"attributes", QVariantList{QVariantList{13, 194, 38}}}};
        QTest::newRow("awake") << awake << false << "power 1, read 1"
                               << QByteArray("power 00000000 active\ndata 00000000 ");
        QTest::newRow("standby") << QVariantMap{{"standby", true}} << false << "power 1"
                                 << QByteArray("power 00000000 standby\n");
        QTest::newRow("unreadable") << QVariantMap{{"read", false}} << false << "power 1, read 1"
                                    << QByteArray("power 00000000 active\ndata e00002ca\n");
        QTest::newRow("collect") << awake << true << "off-line 1"
                                 << QByteArray("collect 00000000\n");
        QTest::newRow("collect refused") << QVariantMap{{"offline", false}} << true << "off-line 1"
                                         << QByteArray("collect e00002ca\n");
    }
    void answerFromTheDrive() {
        QFETCH(QVariantMap, drive);
        QFETCH(bool, collect);
        ProfileAtaSmartPlatform::Drive described;
        described.handle = 1;
        described.read = drive.value("read", true).toBool();
        described.offLine = drive.value("offline", true).toBool();
        described.standby = drive.value("standby", false).toBool();
        described.block = ProfileAtaSmartPlatform::dataBlock(drive);
        auto requests = std::make_shared<QStringList>();
        ProfileAtaDrive profileDrive(described, requests);
        const Kind kind = collect ? Kind::collect : Kind::read;
        const SmartReaderAnswer answer =
            SmartReaderAnswer::answer(kind, DeviceNumber{8, 16}, profileDrive);
        QTEST(requests->join(", "), "requests");
        const QByteArray text = QByteArray::fromStdString(answer.text());
        QFETCH(QByteArray, lines);
        QVERIFY2(text.startsWith(header + lines), text.constData());
        const auto parsed = SmartReaderAnswer::parse(text.toStdString(), kind);
        QVERIFY(parsed);
        if (answer.data && answer.data->result == AtaSmartReturnCode::success) {
            QCOMPARE(parsed->data->block, described.block);
            QCOMPARE(parsed->data->block[2 + 12 * 13], 194);
        }
    }
};

QTEST_GUILESS_MAIN(TestSmartReaderFormat)
#include "tst_smartreaderformat.moc"
