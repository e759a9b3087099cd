#pragma once

// Errors in platform/: the seams that stand in for the system's own
// interfaces answer as those do (SmcDriver's KernReturn, AtaSmartPlatform's
// IOReturn); every other call that can fail returns Result with the reason's
// text (MachineProfile::fromFile), or std::optional where the reason goes
// without saying. Nothing here throws out of a seam or ends the process.

#include "smc/SMCParamStruct.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

// The four operations the SMC access layer needs of the kernel driver. Every
// backend answers the 80-byte record exactly as the SMC would.
class SmcDriver {
public:
    using KernReturn = int32_t;
    static constexpr KernReturn success = 0;
    // IOKit's "not privileged" return code.
    static constexpr KernReturn notPrivileged = KernReturn(0xE00002C1);
    static constexpr KernReturn error = KernReturn(0xE00002BC);
    static constexpr KernReturn badArgument = KernReturn(0xE00002C2);
    static constexpr KernReturn notOpen = KernReturn(0xE00002CD);
    // The SMC's answer to a command it doesn't know.
    static constexpr uint8_t resultBadCommand = 0x8B;
    // The SMC's generic failure: the key exists but could not be read.
    static constexpr uint8_t resultFailure = 0x01;

    // The driver service the SMC is found under, and the user-client method
    // that takes and returns one 80-byte record.
    static constexpr const char* serviceName = "AppleSMC";
    static constexpr uint32_t structMethodSelector = 2;

    SmcDriver() = default;
    SmcDriver(const SmcDriver&) = delete;
    SmcDriver& operator=(const SmcDriver&) = delete;
    virtual ~SmcDriver();

    // A service object for the named driver service, 0 when none is registered.
    virtual uint32_t serviceMatching(const char* name) = 0;
    // Opens a user client of the given type on the service.
    virtual KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) = 0;
    virtual void objectRelease(uint32_t object) = 0;
    // Structure-in/structure-out call; *outputSize is 80 in and out.
    virtual KernReturn callStructMethod(uint32_t connection, uint32_t selector,
                                        const SMCParamStruct& input, SMCParamStruct* output,
                                        size_t* outputSize) = 0;

protected:
    // What a backend that looks keys up answers for one key: a driver failure
    // (kr), or the SMC's result with the key's type and value bytes (for a
    // key-information request only their number counts).
    struct KeyAnswer {
        KernReturn kr = success;
        uint8_t result = SMCParamStruct::resultSuccess;
        uint32_t type = 0;
        QByteArray data;
    };
    using KeyLookup = std::function<KeyAnswer(uint32_t key, bool wantValue)>;
    // A struct call answered from such a lookup: the call is admitted,
    // commands other than the two reads are refused as the SMC does, and the
    // reply record is filled from the answer.
    static KernReturn answerStructCall(uint32_t connection, uint32_t openConnection,
                                       uint32_t selector, const SMCParamStruct& input,
                                       SMCParamStruct* output, size_t* outputSize,
                                       const KeyLookup& lookup);

    // Whether serviceMatching was asked for the SMC's service.
    static bool isServiceName(const char* name);
    // What every backend checks before it answers a struct call: an output
    // record of the right size, the struct method's selector and the
    // connection the backend opened (0: none). On success the output is
    // cleared; otherwise the return code to give.
    static KernReturn admitStructCall(uint32_t connection, uint32_t openConnection,
                                      uint32_t selector, SMCParamStruct* output,
                                      const size_t* outputSize);
    // A key's value bytes into a reply: no more than the request asked for
    // and the record holds.
    static void copyValueBytes(const QByteArray& bytes, const SMCParamStruct& input,
                               SMCParamStruct* output);
};
