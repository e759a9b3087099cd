#include "ata/DeviceNumber.h"

#include <charconv>

namespace {
std::optional<uint32_t> decimal(std::string_view text, uint32_t largest) {
    // One spelling per number: from_chars takes no sign and no blanks, and
    // leading zeros are refused here.
    if (text.empty() || text.size() > 7 || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > largest) {
        return std::nullopt;
    }
    return value;
}
} // namespace

std::optional<DeviceNumber> DeviceNumber::parse(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = decimal(text.substr(0, colon), largestMajor);
    const auto minor = decimal(text.substr(colon + 1), largestMinor);
    if (!major || !minor) {
        return std::nullopt;
    }
    return DeviceNumber{*major, *minor};
}

std::string DeviceNumber::text() const {
    return std::to_string(major) + ':' + std::to_string(minor);
}

uint32_t DeviceNumber::encoded() const {
    return (minor & 0xFF) | (major << 8) | ((minor & ~0xFFu) << 12);
}
