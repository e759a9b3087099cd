#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A block device's number as sysfs writes it ("8:0"): major and minor.
struct DeviceNumber {
    // The kernel's 32-bit device numbers hold 12 bits of major, 20 of minor.
    static constexpr uint32_t largestMajor = 0xFFF;
    static constexpr uint32_t largestMinor = 0xFFFFF;

    uint32_t major = 0;
    uint32_t minor = 0;

    // "MAJOR:MINOR" in decimal, nothing else around it; nothing when the
    // text is not such a number or a part is out of range.
    static std::optional<DeviceNumber> parse(std::string_view text);
    std::string text() const;
    // The kernel's 32-bit encoding (new_encode_dev), which the set-up
    // messages print as the drive's handle.
    uint32_t encoded() const;

    friend bool operator==(const DeviceNumber&, const DeviceNumber&) = default;
};
