#include "ata/AtaPassThroughCommand.h"
#include "ata/AtaPassThroughStatus.h"
#include "ata/SgIoDisk.h"

#include <QTest>

namespace {
// Descriptor-format sense data with an ATA Status Return descriptor.
QByteArray descriptorSense(uint8_t key, uint8_t asc, uint8_t error, uint8_t status,
                           uint8_t count = 0) {
    QByteArray sense(8 + 14, '\0');
    sense[0] = char(0x72);
    sense[1] = char(key);
    sense[2] = char(asc);
    sense[3] = asc == 0 ? 0x1D : 0x00;
    sense[7] = 14;
    sense[8] = 0x09;
    sense[9] = 0x0C;
    sense[8 + 3] = char(error);
    sense[8 + 5] = char(count);
    sense[8 + 13] = char(status);
    return sense;
}

// Fixed-format sense data; the registers ride in the INFORMATION field.
QByteArray fixedSense(uint8_t key, uint8_t asc, uint8_t error, uint8_t status, uint8_t count = 0) {
    QByteArray sense(18, '\0');
    sense[0] = char(0x70);
    sense[2] = char(key);
    sense[3] = char(error);
    sense[4] = char(status);
    sense[6] = char(count);
    sense[7] = 10;
    sense[12] = char(asc);
    sense[13] = asc == 0 ? 0x1D : 0x00;
    return sense;
}
} // namespace

class TestAtaPassThrough : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandBlock_data() {
        QTest::addColumn<AtaPassThroughCommand>("command");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("dataInLength");
        //                          op proto xfer feat    count   lbaL    lbaM    lbaH    dev cmd
        //                          ctl
        QTest::newRow("SMART READ DATA")
            << AtaPassThroughCommand::smartReadData()
            << QByteArray("85 08 0e 00 d0 00 01 00 00 00 4f 00 c2 00 b0 00") << 512;
        QTest::newRow("EXECUTE OFF-LINE IMMEDIATE, off-line routine")
            << AtaPassThroughCommand::smartExecuteOffLineImmediate(0)
            << QByteArray("85 06 20 00 d4 00 00 00 00 00 4f 00 c2 00 b0 00") << 0;
        QTest::newRow("EXECUTE OFF-LINE IMMEDIATE, extended self-test")
            << AtaPassThroughCommand::smartExecuteOffLineImmediate(2)
            << QByteArray("85 06 20 00 d4 00 00 00 02 00 4f 00 c2 00 b0 00") << 0;
        QTest::newRow("CHECK POWER MODE")
            << AtaPassThroughCommand::checkPowerMode()
            << QByteArray("85 06 20 00 00 00 00 00 00 00 00 00 00 00 e5 00") << 0;
        QTest::newRow("IDENTIFY DEVICE") << AtaPassThroughCommand::identifyDevice()
                                         << QByteArray("85 08 0e 00 00 00 01 00 00 00 00 00 "
                                                       "00 00 ec 00")
                                         << 512;
    }

    void commandBlock() {
        QFETCH(AtaPassThroughCommand, command);
        const AtaPassThroughCommand::Cdb cdb = command.cdb();
        QTEST(QByteArray(reinterpret_cast<const char*>(cdb.data()), 16).toHex(' '), "expected");
        QTEST(int(command.dataInLength()), "dataInLength");
    }

    void replyStatus_data() {
        QTest::addColumn<int>("scsi");
        QTest::addColumn<int>("host");
        QTest::addColumn<int>("driver");
        QTest::addColumn<QByteArray>("sense");
        QTest::addColumn<AtaSmartReturn>("result");
        QTest::addColumn<int>("ataStatus"); // -1: not reported

        const int checkCondition = 0x02;
        const int driverSense = 0x08;
        const AtaSmartReturn success = AtaSmartReturnCode::success;
        const AtaSmartReturn ioError = AtaSmartReturnCode::ioError;
        const AtaSmartReturn timeout = AtaSmartReturnCode::timeout;
        const AtaSmartReturn unsupported = AtaSmartReturnCode::unsupported;
        // An information descriptor first, then the ATA registers.
        QByteArray later = descriptorSense(0x1, 0x00, 0x04, 0x51);
        later.insert(8, QByteArray("\x00\x0A\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12));
        later[7] = char(later.size() - 8);

        QTest::newRow("good, no sense") << 0 << 0 << 0 << QByteArray() << success << -1;
        QTest::newRow("CK_COND registers, ready")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0, 0x00, 0x50) << success
            << 0x50;
        QTest::newRow("CK_COND registers, ATA error bit")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0, 0x04, 0x51) << ioError
            << 0x51;
        QTest::newRow("CK_COND registers, device fault")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0, 0x00, 0x70) << ioError
            << 0x70;
        QTest::newRow("registers after another descriptor")
            << checkCondition << 0 << driverSense << later << ioError << 0x51;
        QTest::newRow("registers promised beyond the sense written")
            << checkCondition << 0 << driverSense << descriptorSense(0x1, 0, 0x04, 0x51).left(16)
            << success << -1;
        QTest::newRow("aborted by the drive")
            << checkCondition << 0 << driverSense << descriptorSense(0xB, 0, 0x04, 0x51) << ioError
            << 0x51;
        QTest::newRow("not an ATA device (invalid opcode)")
            << checkCondition << 0 << driverSense << descriptorSense(0x5, 0x20, 0, 0) << unsupported
            << 0x00;
        QTest::newRow("fixed sense, not an ATA device")
            << checkCondition << 0 << driverSense << fixedSense(0x5, 0x20, 0, 0) << unsupported
            << -1;
        QTest::newRow("fixed sense, registers ready")
            << checkCondition << 0 << driverSense << fixedSense(0x1, 0, 0x00, 0x50) << success
            << 0x50;
        QTest::newRow("check condition without sense")
            << checkCondition << 0 << 0 << QByteArray() << ioError << -1;
        QTest::newRow("busy") << 0x08 << 0 << 0 << QByteArray() << ioError << -1;
        QTest::newRow("host timed out") << 0 << 0x03 << 0 << QByteArray() << timeout << -1;
        QTest::newRow("driver timed out") << 0 << 0 << 0x06 << QByteArray() << timeout << -1;
        QTest::newRow("driver error") << 0 << 0 << 0x04 << QByteArray() << ioError << -1;
    }

    void replyStatus() {
        QFETCH(int, scsi);
        QFETCH(int, host);
        QFETCH(int, driver);
        QFETCH(QByteArray, sense);
        QFETCH(AtaSmartReturn, result);
        const AtaPassThroughStatus status = AtaPassThroughStatus::fromReply(
            uint8_t(scsi), uint16_t(host), uint16_t(driver),
            {reinterpret_cast<const uint8_t*>(sense.constData()), size_t(sense.size())});
        QCOMPARE(status.result, result);
        QCOMPARE(status.succeeded(), result == AtaSmartReturnCode::success);
        QTEST(status.ataStatus ? int(*status.ataStatus) : -1, "ataStatus");
    }

    // The power mode rides in the COUNT register of either sense format.
    void powerModeFromReply_data() {
        QTest::addColumn<QByteArray>("sense");
        QTest::addColumn<int>("mode"); // -1: no answer
        const int standby = int(AtaSmartInterface::PowerMode::standby);
        const int ready = int(AtaSmartInterface::PowerMode::activeOrIdle);
        QTest::newRow("standby") << descriptorSense(0x1, 0, 0, 0x50, 0x00) << standby;
        QTest::newRow("standby by power conditions")
            << descriptorSense(0x1, 0, 0, 0x50, 0x01) << standby;
        QTest::newRow("idle") << descriptorSense(0x1, 0, 0, 0x50, 0x80) << ready;
        QTest::newRow("active or idle") << descriptorSense(0x1, 0, 0, 0x50, 0xFF) << ready;
        QTest::newRow("fixed sense, standby") << fixedSense(0x1, 0, 0, 0x50, 0x00) << standby;
        QTest::newRow("fixed sense, active") << fixedSense(0x1, 0, 0, 0x50, 0xFF) << ready;
        QTest::newRow("fixed sense without registers")
            << fixedSense(0x1, 0x20, 0, 0x50, 0x00) << -1;
    }

    void powerModeFromReply() {
        QFETCH(QByteArray, sense);
        const AtaPassThroughStatus status = AtaPassThroughStatus::fromReply(
            0x02, 0, 0x08,
            {reinterpret_cast<const uint8_t*>(sense.constData()), size_t(sense.size())});
        QTEST(status.ataCount ? int(SgIoDisk::powerModeForCount(*status.ataCount)) : -1, "mode");
    }
};

QTEST_GUILESS_MAIN(TestAtaPassThrough)
#include "tst_atapassthrough.moc"
