#pragma once

#include <cstddef>
#include <cstdint>

// The 80-byte record exchanged with the SMC driver. Multi-byte integers are in
// host order; the value bytes are big-endian as the SMC sends them. The layout
// is fixed by the driver, so every offset is checked below.
struct SMCVersion {
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t build = 0;
    uint8_t reserved = 0;
    uint16_t release = 0;
};

struct SMCPLimitData {
    uint16_t version = 0;
    uint16_t length = 0;
    uint32_t cpuPLimit = 0;
    uint32_t gpuPLimit = 0;
    uint32_t memPLimit = 0;
};

// Nine bytes with no tail padding: the driver places the record's padding field
// right after dataAttributes (offset 37 is the only filler).
struct __attribute__((packed)) SMCKeyInfoData {
    uint32_t dataSize = 0;
    uint32_t dataType = 0;
    uint8_t dataAttributes = 0;
};

struct SMCParamStruct {
    // Commands carried in data8.
    static constexpr uint8_t readKeyValue = 5;
    static constexpr uint8_t readKeyInfo = 9;
    // Result bytes of a reply.
    static constexpr uint8_t resultSuccess = 0x00;
    static constexpr uint8_t resultKeyNotFound = 0x84;

    uint32_t key = 0;
    SMCVersion vers;
    SMCPLimitData pLimitData;
    SMCKeyInfoData keyInfo;
    uint16_t padding = 0;
    uint8_t result = 0;
    uint8_t status = 0;
    uint8_t data8 = 0;
    uint32_t data32 = 0;
    uint8_t bytes[32] = {};
};

static_assert(sizeof(SMCVersion) == 6);
static_assert(sizeof(SMCPLimitData) == 16);
static_assert(sizeof(SMCKeyInfoData) == 9);
static_assert(sizeof(SMCParamStruct) == 80);
static_assert(offsetof(SMCParamStruct, key) == 0);
static_assert(offsetof(SMCParamStruct, vers) == 4);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCVersion, release) == 8);
static_assert(offsetof(SMCParamStruct, pLimitData) == 12);
static_assert(offsetof(SMCParamStruct, pLimitData) + offsetof(SMCPLimitData, cpuPLimit) == 16);
static_assert(offsetof(SMCParamStruct, pLimitData) + offsetof(SMCPLimitData, memPLimit) == 24);
static_assert(offsetof(SMCParamStruct, keyInfo) == 28);
static_assert(offsetof(SMCParamStruct, keyInfo) + offsetof(SMCKeyInfoData, dataType) == 32);
static_assert(offsetof(SMCParamStruct, keyInfo) + offsetof(SMCKeyInfoData, dataAttributes) == 36);
static_assert(offsetof(SMCParamStruct, padding) == 38);
static_assert(offsetof(SMCParamStruct, result) == 40);
static_assert(offsetof(SMCParamStruct, status) == 41);
static_assert(offsetof(SMCParamStruct, data8) == 42);
static_assert(offsetof(SMCParamStruct, data32) == 44);
static_assert(offsetof(SMCParamStruct, bytes) == 48);
