#pragma once

#include <cstdint>

// How a key's value is laid out: its four-character type code and its size in
// bytes. The agent reads every key with the type it assumes for that key and
// never asks the SMC for the key's real type first.
struct SMCDataType {
    uint32_t type = 0;
    uint32_t size = 0;

    // Temperatures: sign bit and whole degrees, then the fraction.
    static const SMCDataType& sp78();
    // Fan speeds: 14.2 unsigned fixed point.
    static const SMCDataType& fpe2();
    // The fan count "FNum" (the type name ends in a blank).
    static const SMCDataType& ui8();
    // Fan descriptor; the name sits in bytes 4 to 15.
    static const SMCDataType& fds();
};
