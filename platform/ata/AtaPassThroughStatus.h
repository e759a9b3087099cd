#pragma once

#include "ata/AtaSmartReturn.h"

#include <cstdint>
#include <optional>
#include <span>

// What the kernel and the drive said about one ATA PASS-THROUGH command:
// the SG_IO status words, the SCSI sense data and, inside it, the ATA status
// and error registers. A command succeeded when the transport reports no
// problem, the sense data (if any) only carries the ATA registers, and the
// ATA status has neither its error nor its device-fault bit set.
class AtaPassThroughStatus {
public:
    static constexpr uint8_t scsiGood = 0x00;
    static constexpr uint8_t scsiCheckCondition = 0x02;
    static constexpr uint8_t senseNoSense = 0x0;
    static constexpr uint8_t senseRecoveredError = 0x1;
    static constexpr uint8_t senseIllegalRequest = 0x5;
    static constexpr uint8_t senseAbortedCommand = 0xB;
    static constexpr uint8_t ataStatusError = 0x01;
    static constexpr uint8_t ataStatusDeviceFault = 0x20;

    // scsiStatus, hostStatus and driverStatus as SG_IO reports them in
    // sg_io_hdr (status, host_status, driver_status); sense = the sense bytes
    // actually written (sb_len_wr).
    static AtaPassThroughStatus fromReply(uint8_t scsiStatus, uint16_t hostStatus,
                                          uint16_t driverStatus, std::span<const uint8_t> sense);

    bool succeeded() const { return result == AtaSmartReturnCode::success; }

    // success; unsupported when the device rejects the command as a SCSI
    // device that isn't ATA would; timeout; ioError otherwise.
    AtaSmartReturn result = AtaSmartReturnCode::success;
    std::optional<uint8_t> senseKey;
    uint8_t additionalSenseCode = 0;
    uint8_t additionalSenseQualifier = 0;
    std::optional<uint8_t> ataStatus;
    std::optional<uint8_t> ataError;
    // The COUNT register (bits 7:0), returned with the others.
    std::optional<uint8_t> ataCount;
};
