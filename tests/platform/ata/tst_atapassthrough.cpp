#include "ata/AtaPassThroughCommand.h"
#include "ata/AtaPassThroughStatus.h"

#include <QTest>
#include <vector>

namespace {
QByteArray hex(const AtaPassThroughCommand::Cdb& cdb) {
    return QByteArray(reinterpret_cast<const char*>(cdb.data()), qsizetype(cdb.size())).toHex(' ');
}

// Descriptor-format sense data with an ATA Status Return descriptor.
QByteArray descriptorSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t error, uint8_t status) {
    QByteArray sense(8 + 14, '\0');
    sense[0] = char(0x72);
    sense[1] = char(key);
    sense[2] = char(asc);
    sense[3] = char(ascq);
    sense[7] = 14;
    sense[8] = 0x09;
    sense[9] = 0x0C;
    sense[8 + 3] = char(error);
    sense[8 + 13] = char(status);
    return sense;
}

// Fixed-format sense data; the registers ride in the INFORMATION field.
QByteArray fixedSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t error, uint8_t status) {
    QByteArray sense(18, '\0');
    sense[0] = char(0x70);
    sense[2] = char(key);
    sense[3] = char(error);
    sense[4] = char(status);
    sense[7] = 10;
    sense[12] = char(asc);
    sense[13] = char(ascq);
    return sense;
}

std::span<const uint8_t> bytes(const QByteArray& data) {
    return {reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())};
}
} // namespace

class TestAtaPassThrough : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandBlock_data() {
        QTest::addColumn<AtaPassThroughCommand>("command");
        QTest::addColumn<QByteArray>("expected");

        //                          op proto xfer    feat    count   lbaL    lbaM    lbaH dev cmd
        //                          ctl
        QTest::newRow("SMART READ DATA")
            << AtaPassThroughCommand::smartReadData()
            << QByteArray("85 08 0e 00 d0 00 01 00 00 00 4f 00 c2 00 b0 00");
        QTest::newRow("EXECUTE OFF-LINE IMMEDIATE, off-line routine")
            << AtaPassThroughCommand::smartExecuteOffLineImmediate(0)
            << QByteArray("85 06 20 00 d4 00 00 00 00 00 4f 00 c2 00 b0 00");
        QTest::newRow("EXECUTE OFF-LINE IMMEDIATE, extended self-test")
            << AtaPassThroughCommand::smartExecuteOffLineImmediate(2)
            << QByteArray("85 06 20 00 d4 00 00 00 02 00 4f 00 c2 00 b0 00");
        QTest::newRow("IDENTIFY DEVICE") << AtaPassThroughCommand::identifyDevice()
                                         << QByteArray("85 08 0e 00 00 00 01 00 00 00 00 00 "
                                                       "00 00 ec 00");
    }

    void commandBlock() {
        QFETCH(AtaPassThroughCommand, command);
        QFETCH(QByteArray, expected);
        QCOMPARE(hex(command.cdb()), expected);
    }

    void transferFields_data() {
        QTest::addColumn<AtaPassThroughCommand>("command");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("transferLength");
        QTest::addColumn<bool>("lengthInBlocks");
        QTest::addColumn<bool>("fromDevice");
        QTest::addColumn<bool>("checkCondition");
        QTest::addColumn<int>("dataInLength");

        // PIO data-in, length in the COUNT field counted in 512-byte blocks.
        QTest::newRow("SMART READ DATA")
            << AtaPassThroughCommand::smartReadData() << 4 << 2 << true << true << false << 512;
        // Non-data; the registers are asked back to see the ATA status.
        QTest::newRow("EXECUTE OFF-LINE IMMEDIATE")
            << AtaPassThroughCommand::smartExecuteOffLineImmediate(0) << 3 << 0 << false << false
            << true << 0;
    }

    void transferFields() {
        QFETCH(AtaPassThroughCommand, command);
        const AtaPassThroughCommand::Cdb cdb = command.cdb();
        QCOMPARE(cdb[0], 0x85);
        QCOMPARE(cdb[1] & 0x01, 0); // 28-bit command, no EXTEND
        QCOMPARE(cdb[1] >> 5, 0);   // MULTIPLE_COUNT
        QTEST((cdb[1] >> 1) & 0x0F, "protocol");
        QTEST(cdb[2] & 0x03, "transferLength");
        QTEST(bool(cdb[2] & 0x04), "lengthInBlocks");
        QTEST(bool(cdb[2] & 0x08), "fromDevice");
        QCOMPARE(cdb[2] & 0x10, 0); // T_TYPE: 512-byte blocks
        QTEST(bool(cdb[2] & 0x20), "checkCondition");
        QCOMPARE(cdb[2] >> 6, 0); // OFF_LINE wait
        QTEST(int(command.dataInLength()), "dataInLength");
        // Every 48-bit high half stays zero for these 28-bit commands.
        for (int index : {3, 5, 7, 9, 11}) {
            QCOMPARE(cdb[size_t(index)], 0);
        }
    }

    void replyStatus_data() {
        QTest::addColumn<int>("scsiStatus");
        QTest::addColumn<int>("hostStatus");
        QTest::addColumn<int>("driverStatus");
        QTest::addColumn<QByteArray>("sense");
        QTest::addColumn<AtaSmartReturn>("result");
        QTest::addColumn<int>("ataStatus"); // -1: not reported

        const int good = 0x00;
        const int checkCondition = 0x02;
        const int driverSense = 0x08;
        const AtaSmartReturn success = AtaSmartReturnCode::success;
        const AtaSmartReturn ioError = AtaSmartReturnCode::ioError;

        QTest::newRow("good, no sense") << good << 0 << 0 << QByteArray() << success << -1;
        QTest::newRow("good, registers ready")
            << good << 0 << 0 << descriptorSense(0x1, 0x00, 0x1D, 0x00, 0x50) << success << 0x50;
        QTest::newRow("CK_COND registers, ready")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0x00, 0x1D, 0x00, 0x50)
            << success << 0x50;
        QTest::newRow("CK_COND registers, ATA error bit")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0x00, 0x1D, 0x04, 0x51)
            << ioError << 0x51;
        QTest::newRow("good, but ATA error bit")
            << good << 0 << 0 << descriptorSense(0x0, 0x00, 0x1D, 0x04, 0x51) << ioError << 0x51;
        QTest::newRow("CK_COND registers, device fault")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0x00, 0x1D, 0x00, 0x70)
            << ioError << 0x70;
        QTest::newRow("aborted by the drive")
            << checkCondition << 0 << driverSense << descriptorSense(0xB, 0x00, 0x00, 0x04, 0x51)
            << ioError << 0x51;
        QTest::newRow("not an ATA device (invalid opcode)")
            << checkCondition << 0 << driverSense << descriptorSense(0x5, 0x20, 0x00, 0x00, 0x00)
            << AtaSmartReturnCode::unsupported << 0x00;
        QTest::newRow("fixed sense, not an ATA device")
            << checkCondition << 0 << driverSense << fixedSense(0x5, 0x20, 0x00, 0x00, 0x00)
            << AtaSmartReturnCode::unsupported << -1;
        QTest::newRow("fixed sense, registers ready")
            << checkCondition << 0 << driverSense << fixedSense(0x1, 0x00, 0x1D, 0x00, 0x50)
            << success << 0x50;
        QTest::newRow("fixed sense, ATA error bit")
            << checkCondition << 0 << driverSense << fixedSense(0x1, 0x00, 0x1D, 0x04, 0x51)
            << ioError << 0x51;
        QTest::newRow("check condition without sense")
            << checkCondition << 0 << 0 << QByteArray() << ioError << -1;
        QTest::newRow("check condition, sense cut short")
            << checkCondition << 0 << driverSense << QByteArray("\x72\x01", 2) << ioError << -1;
        QTest::newRow("busy") << 0x08 << 0 << 0 << QByteArray() << ioError << -1;
        QTest::newRow("host timed out")
            << good << 0x03 << 0 << QByteArray() << AtaSmartReturnCode::timeout << -1;
        QTest::newRow("host lost the device") << good << 0x01 << 0 << QByteArray() << ioError << -1;
        QTest::newRow("driver timed out")
            << good << 0 << 0x06 << QByteArray() << AtaSmartReturnCode::timeout << -1;
        QTest::newRow("driver error") << good << 0 << 0x04 << QByteArray() << ioError << -1;
    }

    void replyStatus() {
        QFETCH(int, scsiStatus);
        QFETCH(int, hostStatus);
        QFETCH(int, driverStatus);
        QFETCH(QByteArray, sense);
        QFETCH(AtaSmartReturn, result);
        QFETCH(int, ataStatus);

        const AtaPassThroughStatus status = AtaPassThroughStatus::fromReply(
            uint8_t(scsiStatus), uint16_t(hostStatus), uint16_t(driverStatus), bytes(sense));
        QCOMPARE(status.result, result);
        QCOMPARE(status.succeeded(), result == AtaSmartReturnCode::success);
        QCOMPARE(status.ataStatus ? int(*status.ataStatus) : -1, ataStatus);
    }

    void statusDescriptorFoundAfterOthers() {
        // An information descriptor first, then the ATA registers.
        QByteArray sense(8, '\0');
        sense[0] = char(0x72);
        sense[1] = 0x01;
        sense[3] = 0x1D;
        const QByteArray information("\x00\x0A\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12);
        const QByteArray registers = descriptorSense(0x1, 0x00, 0x1D, 0x04, 0x51).mid(8);
        sense += information + registers;
        sense[7] = char(information.size() + registers.size());

        const AtaPassThroughStatus status =
            AtaPassThroughStatus::fromReply(0x02, 0, 0x08, bytes(sense));
        QCOMPARE(status.ataStatus, std::optional<uint8_t>(0x51));
        QCOMPARE(status.ataError, std::optional<uint8_t>(0x04));
        QVERIFY(!status.succeeded());
    }

    void descriptorBeyondSenseLengthIgnored() {
        // The additional length promises a descriptor the kernel did not write.
        QByteArray sense = descriptorSense(0x1, 0x00, 0x1D, 0x04, 0x51).left(16);
        const AtaPassThroughStatus status =
            AtaPassThroughStatus::fromReply(0x02, 0, 0x08, bytes(sense));
        QVERIFY(!status.ataStatus);
        QVERIFY(status.succeeded());
    }
};

QTEST_GUILESS_MAIN(TestAtaPassThrough)
#include "tst_atapassthrough.moc"
