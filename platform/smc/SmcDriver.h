#pragma once

#include "smc/SMCParamStruct.h"

#include <cstdint>

// The four operations the SMC access layer needs of the kernel driver. Every
// backend answers the 80-byte record exactly as the SMC would.
class SmcDriver {
public:
    using KernReturn = int32_t;
    static constexpr KernReturn success = 0;
    // IOKit's "not privileged" return code.
    static constexpr KernReturn notPrivileged = KernReturn(0xE00002C1);
    static constexpr KernReturn error = KernReturn(0xE00002BC);

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
};
