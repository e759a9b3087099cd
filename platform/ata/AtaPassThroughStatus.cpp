#include "ata/AtaPassThroughStatus.h"

#include <algorithm>

namespace {
constexpr uint16_t hostTimeOut = 0x03; // DID_TIME_OUT
constexpr uint16_t driverStatusMask = 0x07;
constexpr uint16_t driverTimeout = 0x06; // DRIVER_TIMEOUT
constexpr uint8_t ataStatusReturnDescriptor = 0x09;
// "ATA PASS-THROUGH information available"
constexpr uint8_t ataInformationCode = 0x00;
constexpr uint8_t ataInformationQualifier = 0x1D;

void readSense(std::span<const uint8_t> sense, AtaPassThroughStatus* status) {
    if (sense.empty()) {
        return;
    }
    const uint8_t responseCode = sense[0] & 0x7F;
    if ((responseCode == 0x72 || responseCode == 0x73) && sense.size() >= 4) {
        status->senseKey = sense[1] & 0x0F;
        status->additionalSenseCode = sense[2];
        status->additionalSenseQualifier = sense[3];
        if (sense.size() < 8) {
            return;
        }
        const size_t end = std::min(sense.size(), size_t(8) + sense[7]);
        size_t at = 8;
        while (at + 2 <= end) {
            const uint8_t code = sense[at];
            const size_t length = sense[at + 1];
            if (code == ataStatusReturnDescriptor && length >= 12 && at + 14 <= end) {
                status->ataError = sense[at + 3];
                status->ataCount = sense[at + 5];
                status->ataStatus = sense[at + 13];
                return;
            }
            at += 2 + length;
        }
    } else if ((responseCode == 0x70 || responseCode == 0x71) && sense.size() >= 14) {
        status->senseKey = sense[2] & 0x0F;
        status->additionalSenseCode = sense[12];
        status->additionalSenseQualifier = sense[13];
        // In fixed format the registers sit in the INFORMATION field, and
        // only when the sense code says so.
        if (sense[12] == ataInformationCode && sense[13] == ataInformationQualifier) {
            status->ataError = sense[3];
            status->ataStatus = sense[4];
            status->ataCount = sense[6];
        }
    }
}
} // namespace

AtaPassThroughStatus AtaPassThroughStatus::fromReply(uint8_t scsiStatus, uint16_t hostStatus,
                                                     uint16_t driverStatus,
                                                     std::span<const uint8_t> sense) {
    AtaPassThroughStatus status;
    if (hostStatus != 0) {
        status.result =
            hostStatus == hostTimeOut ? AtaSmartReturnCode::timeout : AtaSmartReturnCode::ioError;
        return status;
    }
    if ((driverStatus & driverStatusMask) != 0) {
        status.result = (driverStatus & driverStatusMask) == driverTimeout
                            ? AtaSmartReturnCode::timeout
                            : AtaSmartReturnCode::ioError;
        return status;
    }
    readSense(sense, &status);

    if (scsiStatus == scsiCheckCondition) {
        // With CK_COND the translation layer reports success as a check
        // condition that only carries the registers; anything else is a
        // refusal.
        if (!status.senseKey) {
            status.result = AtaSmartReturnCode::ioError;
            return status;
        }
        if (*status.senseKey == senseIllegalRequest) {
            status.result = AtaSmartReturnCode::unsupported;
            return status;
        }
        if (*status.senseKey != senseNoSense && *status.senseKey != senseRecoveredError) {
            status.result = AtaSmartReturnCode::ioError;
            return status;
        }
    } else if (scsiStatus != scsiGood) {
        status.result = AtaSmartReturnCode::ioError;
        return status;
    }
    if (status.ataStatus && (*status.ataStatus & (ataStatusError | ataStatusDeviceFault)) != 0) {
        status.result = AtaSmartReturnCode::ioError;
    }
    return status;
}
