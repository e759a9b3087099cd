#include "SelectionLayouts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using Kind = PropertyValue::Kind;

const std::string unknownName = "Unknown";

// The text as UTF-16 code units, for the order of the keys.
std::u16string utf16(const std::string& utf8) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length && i + std::size_t(k) < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + std::size_t(k)]) & 0x3F);
        }
        if (code >= 0x10000) {
            units += char16_t(0xD800 + ((code - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            units += char16_t(code);
        }
        i += std::size_t(length);
    }
    return units;
}

std::vector<const std::pair<std::string, PropertyValue>*>
inKeyOrder(const SelectionLayouts::Dictionary& dictionary) {
    std::vector<std::pair<std::u16string, const std::pair<std::string, PropertyValue>*>> keyed;
    keyed.reserve(dictionary.size());
    for (const auto& entry : dictionary) {
        keyed.emplace_back(utf16(entry.first), &entry);
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const std::pair<std::string, PropertyValue>*> ordered;
    ordered.reserve(keyed.size());
    for (const auto& [key, entry] : keyed) {
        ordered.push_back(entry);
    }
    return ordered;
}

// The array's elements when it has at least `length` of them.
const std::vector<PropertyValue>* arrayOf(const PropertyValue& value, std::size_t length) {
    return value.kind == Kind::array && value.items.size() >= length ? &value.items : nullptr;
}

std::optional<std::int64_t>
integerIn(const PropertyValue& value, std::int64_t low = std::numeric_limits<std::int64_t>::min(),
          std::int64_t high = std::numeric_limits<std::int64_t>::max()) {
    if (value.kind != Kind::integer || value.integer < low || value.integer > high) {
        return std::nullopt;
    }
    return value.integer;
}

bool flagOf(const PropertyValue& value) {
    switch (value.kind) {
    case Kind::boolean:
        return value.boolean;
    case Kind::integer:
        return value.integer != 0;
    case Kind::real:
        return value.real != 0;
    default:
        return false;
    }
}

std::string nameOf(const PropertyValue& value) {
    return value.kind == Kind::text ? value.bytes : unknownName;
}

// A maximum speed: any number, brought into int's range (fractions dropped).
std::optional<int> speedOf(const PropertyValue& value) {
    constexpr auto low = std::numeric_limits<int>::min();
    constexpr auto high = std::numeric_limits<int>::max();
    if (value.kind == Kind::integer) {
        return int(std::clamp<std::int64_t>(value.integer, low, high));
    }
    if (value.kind == Kind::real && !std::isnan(value.real)) {
        return int(std::clamp(std::trunc(value.real), double(low), double(high)));
    }
    return std::nullopt;
}

// A dictionary key that is a fan number: decimal digits only.
std::optional<int> fanNumberOf(const std::string& key) {
    if (key.empty() || key.size() > 9 ||
        !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoi(key);
}

} // namespace

namespace SelectionLayouts {

std::vector<ReadingsFigures::Temperature> temperatures(const Dictionary& dictionary) {
    std::vector<ReadingsFigures::Temperature> entries;
    for (const auto* entry : inKeyOrder(dictionary)) {
        const auto* list = arrayOf(entry->second, 4);
        const auto code = list ? integerIn((*list)[1], 0, 0xFFFFFFFF) : std::nullopt;
        const auto position = list ? integerIn((*list)[2]) : std::nullopt;
        if (code && position) {
            entries.push_back({entry->first, nameOf((*list)[0]), std::uint32_t(*code), *position,
                               flagOf(list->back())});
        }
    }
    return entries;
}

std::vector<ReadingsFigures::Fan> fans(const Dictionary& dictionary) {
    std::vector<ReadingsFigures::Fan> entries;
    for (const auto* entry : inKeyOrder(dictionary)) {
        const auto number = fanNumberOf(entry->first);
        const auto* list = arrayOf(entry->second, 3);
        if (number && list) {
            entries.push_back({*number,
                               nameOf((*list)[0]),
                               speedOf((*list)[1]).value_or(0),
                               flagOf(list->back()),
                               {}});
        }
    }
    return entries;
}

std::vector<ReadingsFigures::MemoryFigure> memory(const Dictionary& dictionary) {
    std::vector<ReadingsFigures::MemoryFigure> entries;
    for (const auto* entry : inKeyOrder(dictionary)) {
        const auto* list = arrayOf(entry->second, 2);
        const auto position = list ? integerIn((*list)[0]) : std::nullopt;
        if (position) {
            entries.push_back({entry->first, *position, flagOf(list->back())});
        }
    }
    return entries;
}

} // namespace SelectionLayouts
