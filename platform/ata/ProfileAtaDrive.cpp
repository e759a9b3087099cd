#include "ata/ProfileAtaDrive.h"

ProfileAtaDrive::ProfileAtaDrive(const ProfileAtaSmartPlatform::Drive& drive,
                                 std::shared_ptr<QStringList> requestLog)
    : drive(drive)
    , requestLog(std::move(requestLog)) {}

ProfileAtaDrive::~ProfileAtaDrive() {
    note("release");
}

AtaSmartInterface* ProfileAtaDrive::queryInterface() {
    note("interface");
    return drive.interface ? this : nullptr;
}

AtaSmartReturn ProfileAtaDrive::executeOffLineImmediate(bool extendedTest) {
    note(extendedTest ? "extended" : "off-line");
    return drive.offLine ? AtaSmartReturnCode::success : AtaSmartReturnCode::ioError;
}

AtaSmartReturn ProfileAtaDrive::readData(DataBlock* data) {
    note("read");
    if (!drive.read) {
        return AtaSmartReturnCode::ioError;
    }
    *data = drive.block;
    return AtaSmartReturnCode::success;
}

AtaSmartReturn ProfileAtaDrive::checkPowerMode(PowerMode* mode) {
    note("power");
    *mode = drive.standby ? PowerMode::standby : PowerMode::activeOrIdle;
    return AtaSmartReturnCode::success;
}

void ProfileAtaDrive::note(const char* request) {
    if (!requestLog) {
        return;
    }
    requestLog->append(QStringLiteral("%1 %2").arg(QLatin1String(request)).arg(drive.handle));
}
