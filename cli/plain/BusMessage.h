#pragma once

#include "PropertyValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One D-Bus message in the little-endian wire format: the calls the one-shot
// client sends, and whatever it receives, read without trusting a byte.
class BusMessage {
public:
    enum class Type : std::uint8_t {
        invalid = 0,
        methodCall = 1,
        methodReturn = 2,
        error = 3,
        signal = 4
    };

    // The largest message taken in; the client's answers are a few kilobytes.
    static constexpr std::size_t maximumSize = 1u << 20;

    // A call on `path` of `destination`; the body, when given, is marshalled
    // already and of `signature`.
    static std::string methodCall(std::uint32_t serial, std::string_view destination,
                                  std::string_view path, std::string_view interface,
                                  std::string_view member, std::string_view signature = {},
                                  std::string_view body = {});
    // Bodies of one array of 32-bit integers ("au" or "ai").
    static std::string integerArrayBody(const std::vector<std::uint32_t>& values);

    // How many bytes the message at the start of `bytes` takes: nothing while
    // its fixed header is incomplete, 0 when it cannot be one this client reads
    // (another byte order, another version, too large).
    static std::optional<std::size_t> sizeOf(std::string_view bytes);
    // A whole message (of sizeOf's size); nothing when its header is malformed.
    static std::optional<BusMessage> parse(std::string_view bytes);

    Type type = Type::invalid;
    std::uint32_t replySerial = 0;
    std::string errorName; // of an error reply
    std::string signature;
    std::string body;

    // The body as one a{sv} dictionary in canonical form; nothing when it is
    // of another signature or holds anything without a property-list form
    // (file descriptors, keys that are not text or integers, a key twice,
    // nesting deeper than the contract's values go).
    std::optional<std::vector<std::pair<std::string, PropertyValue>>> dictionary() const;
    // The body as one array of 32-bit integers ("ai") or reals ("ad").
    std::optional<std::vector<int>> integers() const;
    std::optional<std::vector<double>> reals() const;
    // The first argument when it is text: an error reply's message.
    std::optional<std::string> text() const;
};
