#pragma once

#include <cstdint>

// Result codes of the SMART platform operations. They keep IOKit's IOReturn
// numbering, so the set-up messages print the codes users and scripts know
// (e00002c1 "not privileged", e00002c7 "unsupported", ...).
using AtaSmartReturn = int32_t;

namespace AtaSmartReturnCode {
inline constexpr AtaSmartReturn success = 0;
inline constexpr AtaSmartReturn error = AtaSmartReturn(0xE00002BC);
inline constexpr AtaSmartReturn noDevice = AtaSmartReturn(0xE00002C0);
inline constexpr AtaSmartReturn notPrivileged = AtaSmartReturn(0xE00002C1);
inline constexpr AtaSmartReturn unsupported = AtaSmartReturn(0xE00002C7);
inline constexpr AtaSmartReturn ioError = AtaSmartReturn(0xE00002CA);
inline constexpr AtaSmartReturn timeout = AtaSmartReturn(0xE00002D6);
} // namespace AtaSmartReturnCode
