#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A property-list value as it arrived over the bus, in the canonical form the
// Qt-based programs also bring received values to: every integer type as a
// 64-bit integer, object paths and signatures as text, byte arrays as data,
// structures as arrays, dictionary keys as text.
struct PropertyValue {
    enum class Kind { boolean, integer, real, text, data, array, dictionary };

    Kind kind = Kind::boolean;
    bool boolean = false;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes; // text (UTF-8) or data
    std::vector<PropertyValue> items;
    // In the order they arrived; no key twice.
    std::vector<std::pair<std::string, PropertyValue>> entries;
};
