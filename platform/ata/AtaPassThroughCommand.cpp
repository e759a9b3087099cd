#include "ata/AtaPassThroughCommand.h"

namespace {
// Byte 2 of the command: where the transfer length is and which way data goes.
constexpr uint8_t checkConditionBit = 0x20;
constexpr uint8_t transferFromDevice = 0x08; // T_DIR
constexpr uint8_t lengthInBlocks = 0x04;     // BYT_BLOK
constexpr uint8_t lengthInCount = 0x02;      // T_LENGTH: the COUNT field
} // namespace

AtaPassThroughCommand AtaPassThroughCommand::smartReadData() {
    AtaPassThroughCommand command;
    command.protocol = Protocol::pioDataIn;
    command.feature = smartReadDataFeature;
    command.count = 1;
    command.lbaMid = smartLbaMid;
    command.lbaHigh = smartLbaHigh;
    command.command = smartCommand;
    return command;
}

AtaPassThroughCommand AtaPassThroughCommand::smartExecuteOffLineImmediate(uint8_t subcommand) {
    AtaPassThroughCommand command;
    command.protocol = Protocol::nonData;
    command.feature = smartExecuteOffLineImmediateFeature;
    command.lbaLow = subcommand;
    command.lbaMid = smartLbaMid;
    command.lbaHigh = smartLbaHigh;
    command.command = smartCommand;
    // A non-data command has nothing else to show for itself: the returned
    // status register is how a refusal is told from success.
    command.checkCondition = true;
    return command;
}

AtaPassThroughCommand AtaPassThroughCommand::identifyDevice() {
    AtaPassThroughCommand command;
    command.protocol = Protocol::pioDataIn;
    command.count = 1;
    command.command = identifyDeviceCommand;
    return command;
}

AtaPassThroughCommand AtaPassThroughCommand::checkPowerMode() {
    AtaPassThroughCommand command;
    command.protocol = Protocol::nonData;
    command.command = checkPowerModeCommand;
    // The power mode comes back in the COUNT register, which the translation
    // layer only returns on request.
    command.checkCondition = true;
    return command;
}

AtaPassThroughCommand::Cdb AtaPassThroughCommand::cdb() const {
    Cdb bytes{};
    bytes[0] = opcode;
    // MULTIPLE_COUNT 0, PROTOCOL, EXTEND 0 (28-bit command).
    bytes[1] = uint8_t(uint8_t(protocol) << 1);
    uint8_t transfer = checkCondition ? checkConditionBit : 0;
    if (protocol == Protocol::pioDataIn) {
        transfer |= transferFromDevice | lengthInBlocks | lengthInCount;
    }
    bytes[2] = transfer;
    // Bytes 3, 5, 7, 9 and 11 are the high halves of the 48-bit registers.
    bytes[4] = feature;
    bytes[6] = count;
    bytes[8] = lbaLow;
    bytes[10] = lbaMid;
    bytes[12] = lbaHigh;
    bytes[13] = device;
    bytes[14] = command;
    bytes[15] = 0; // CONTROL
    return bytes;
}
