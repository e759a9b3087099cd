#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One ATA command sent through the SCSI ATA PASS-THROUGH (16) command
// (opcode 0x85) of the SCSI/ATA translation layer: the 28-bit register
// values and how data moves. cdb() lays out the 16 command bytes.
class AtaPassThroughCommand {
public:
    using Cdb = std::array<uint8_t, 16>;

    static constexpr uint8_t opcode = 0x85;
    static constexpr uint8_t smartCommand = 0xB0;
    static constexpr uint8_t smartReadDataFeature = 0xD0;
    static constexpr uint8_t smartExecuteOffLineImmediateFeature = 0xD4;
    static constexpr uint8_t identifyDeviceCommand = 0xEC;
    static constexpr uint8_t checkPowerModeCommand = 0xE5;
    // The SMART signature every SMART command carries in LBA mid/high.
    static constexpr uint8_t smartLbaMid = 0x4F;
    static constexpr uint8_t smartLbaHigh = 0xC2;
    static constexpr size_t blockSize = 512;

    // The PROTOCOL field of the pass-through command.
    enum class Protocol : uint8_t { nonData = 3, pioDataIn = 4 };

    // SMART READ DATA: one 512-byte block in.
    static AtaPassThroughCommand smartReadData();
    // SMART EXECUTE OFF-LINE IMMEDIATE with the subcommand in LBA low; no data.
    static AtaPassThroughCommand smartExecuteOffLineImmediate(uint8_t subcommand);
    // IDENTIFY DEVICE: one 512-byte block in.
    static AtaPassThroughCommand identifyDevice();
    // CHECK POWER MODE: no data; the answer is the COUNT register returned.
    static AtaPassThroughCommand checkPowerMode();

    Cdb cdb() const;
    // Bytes the command reads from the device (0 or 512).
    size_t dataInLength() const { return protocol == Protocol::pioDataIn ? blockSize : 0; }

    Protocol protocol = Protocol::nonData;
    uint8_t feature = 0;
    uint8_t count = 0;
    uint8_t lbaLow = 0;
    uint8_t lbaMid = 0;
    uint8_t lbaHigh = 0;
    uint8_t device = 0;
    uint8_t command = 0;
    // CK_COND: ask for the ATA registers back even when the command succeeds.
    bool checkCondition = false;
};
