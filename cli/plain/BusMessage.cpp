#include "BusMessage.h"

#include "TerminalText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Deeper than this a received value is not read. The contract's deepest value
// (a dictionary of arrays of arrays, each inside a variant) needs 7 levels.
constexpr int maximumDepth = 12;

constexpr std::size_t fixedHeaderSize = 16;

std::size_t alignmentOf(char type) {
    switch (type) {
    case 'y':
    case 'g':
    case 'v':
        return 1;
    case 'n':
    case 'q':
        return 2;
    case 'x':
    case 't':
    case 'd':
    case '(':
    case '{':
        return 8;
    default:
        return 4;
    }
}

// Where the single complete type starting at `at` ends; npos when it is none.
std::size_t endOfType(std::string_view signature, std::size_t at, int depth = 0) {
    if (at >= signature.size() || depth > 64) {
        return std::string_view::npos;
    }
    switch (signature[at]) {
    case 'y':
    case 'b':
    case 'n':
    case 'q':
    case 'i':
    case 'u':
    case 'x':
    case 't':
    case 'd':
    case 's':
    case 'o':
    case 'g':
    case 'h':
    case 'v':
        return at + 1;
    case 'a':
        return endOfType(signature, at + 1, depth + 1);
    case '(': {
        std::size_t next = at + 1;
        while (next < signature.size() && signature[next] != ')') {
            next = endOfType(signature, next, depth + 1);
            if (next == std::string_view::npos) {
                return next;
            }
        }
        return next < signature.size() && next > at + 1 ? next + 1 : std::string_view::npos;
    }
    case '{': {
        const std::size_t key = at + 1;
        if (key >= signature.size() || endOfType(signature, key, depth + 1) != key + 1 ||
            std::strchr("ybnqiuxtdsogh", signature[key]) == nullptr) {
            return std::string_view::npos;
        }
        const std::size_t value = endOfType(signature, key + 1, depth + 1);
        return value < signature.size() && signature[value] == '}' ? value + 1
                                                                   : std::string_view::npos;
    }
    default:
        return std::string_view::npos;
    }
}

// Reads little-endian wire data; every read checks the bounds, and the first
// failure makes every later read fail too.
class WireReader {
public:
    explicit WireReader(std::string_view bytes)
        : bytes(bytes) {}

    bool ok() const { return good; }
    std::size_t position() const { return at; }
    bool atEnd() const { return at == bytes.size(); }

    bool align(std::size_t alignment) {
        while (good && at % alignment != 0) {
            // Padding is zero on the wire.
            good = at < bytes.size() && bytes[at] == 0;
            ++at;
        }
        return good;
    }
    template <typename T> T read() {
        T value{};
        if (!align(sizeof(T)) || bytes.size() - at < sizeof(T)) {
            good = false;
            return value;
        }
        std::memcpy(&value, bytes.data() + at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    std::string_view take(std::size_t count) {
        if (!good || bytes.size() - at < count) {
            good = false;
            return {};
        }
        const std::string_view part = bytes.substr(at, count);
        at += count;
        return part;
    }
    // A string or object path (32-bit length) or a signature (8-bit length),
    // with its terminating zero.
    std::optional<std::string> text(bool signature) {
        const std::size_t length = signature ? read<std::uint8_t>() : read<std::uint32_t>();
        const std::string_view content = take(length);
        const std::string_view end = take(1);
        if (!good || end[0] != 0 || !TerminalText::isValidUtf8(content)) {
            good = false;
            return std::nullopt;
        }
        return std::string(content);
    }
    void fail() { good = false; }

private:
    std::string_view bytes;
    std::size_t at = 0;
    bool good = true;
};

std::optional<PropertyValue> readValue(WireReader& reader, std::string_view signature,
                                       std::size_t& at, int depth);

PropertyValue integerValue(std::int64_t number) {
    PropertyValue value;
    value.kind = PropertyValue::Kind::integer;
    value.integer = number;
    return value;
}

// A dictionary key as text, as the Qt-based programs take it.
std::optional<std::string> keyText(WireReader& reader, char type) {
    switch (type) {
    case 's':
    case 'o':
        return reader.text(false);
    case 'y':
        return std::to_string(reader.read<std::uint8_t>());
    case 'n':
        return std::to_string(reader.read<std::int16_t>());
    case 'q':
        return std::to_string(reader.read<std::uint16_t>());
    case 'i':
        return std::to_string(reader.read<std::int32_t>());
    case 'u':
        return std::to_string(reader.read<std::uint32_t>());
    case 'x':
        return std::to_string(reader.read<std::int64_t>());
    case 't':
        return std::to_string(reader.read<std::uint64_t>());
    default:
        return std::nullopt;
    }
}

// The elements of an array of the type at `at`, which ends at `end`.
std::optional<PropertyValue> readArray(WireReader& reader, std::string_view signature,
                                       std::size_t at, std::size_t end, int depth) {
    const std::uint32_t length = reader.read<std::uint32_t>();
    reader.align(alignmentOf(signature[at]));
    const std::size_t start = reader.position();
    if (!reader.ok() || length > (64u << 20)) {
        return std::nullopt;
    }
    PropertyValue value;
    if (signature[at] == 'y') {
        value.kind = PropertyValue::Kind::data;
        value.bytes = std::string(reader.take(length));
        return reader.ok() ? std::optional(value) : std::nullopt;
    }
    const bool dictionary = signature[at] == '{';
    value.kind = dictionary ? PropertyValue::Kind::dictionary : PropertyValue::Kind::array;
    while (reader.ok() && reader.position() - start < length) {
        std::size_t element = at;
        if (dictionary) {
            reader.align(8);
            auto key = keyText(reader, signature[at + 1]);
            element = at + 2;
            auto item = readValue(reader, signature, element, depth + 1);
            if (!key || !item || element + 1 != end) {
                return std::nullopt;
            }
            for (const auto& [known, ignored] : value.entries) {
                if (known == *key) {
                    return std::nullopt;
                }
            }
            value.entries.emplace_back(std::move(*key), std::move(*item));
        } else {
            auto item = readValue(reader, signature, element, depth + 1);
            if (!item || element != end) {
                return std::nullopt;
            }
            value.items.push_back(std::move(*item));
        }
    }
    if (!reader.ok() || reader.position() - start != length) {
        return std::nullopt;
    }
    return value;
}

// The value of the complete type at `at`, which moves past it.
std::optional<PropertyValue> readValue(WireReader& reader, std::string_view signature,
                                       std::size_t& at, int depth) {
    const std::size_t end = endOfType(signature, at);
    if (depth > maximumDepth || end == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = at;
    const char type = signature[at];
    at = end;
    PropertyValue value;
    switch (type) {
    case 'y':
        value = integerValue(reader.read<std::uint8_t>());
        break;
    case 'b': {
        const std::uint32_t flag = reader.read<std::uint32_t>();
        if (flag > 1) {
            return std::nullopt;
        }
        value.kind = PropertyValue::Kind::boolean;
        value.boolean = flag == 1;
        break;
    }
    case 'n':
        value = integerValue(reader.read<std::int16_t>());
        break;
    case 'q':
        value = integerValue(reader.read<std::uint16_t>());
        break;
    case 'i':
        value = integerValue(reader.read<std::int32_t>());
        break;
    case 'u':
        value = integerValue(reader.read<std::uint32_t>());
        break;
    case 'x':
        value = integerValue(reader.read<std::int64_t>());
        break;
    case 't': {
        const std::uint64_t number = reader.read<std::uint64_t>();
        if (number > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        value = integerValue(std::int64_t(number));
        break;
    }
    case 'd':
        value.kind = PropertyValue::Kind::real;
        value.real = reader.read<double>();
        break;
    case 's':
    case 'o':
    case 'g': {
        auto text = reader.text(type == 'g');
        if (!text) {
            return std::nullopt;
        }
        value.kind = PropertyValue::Kind::text;
        value.bytes = std::move(*text);
        break;
    }
    case 'v': {
        const auto inner = reader.text(true);
        std::size_t innerAt = 0;
        if (!inner || endOfType(*inner, 0) != inner->size()) {
            return std::nullopt;
        }
        auto content = readValue(reader, *inner, innerAt, depth + 1);
        if (!content) {
            return std::nullopt;
        }
        value = std::move(*content);
        break;
    }
    case 'a': {
        auto array = readArray(reader, signature, start + 1, end, depth);
        if (!array) {
            return std::nullopt;
        }
        value = std::move(*array);
        break;
    }
    case '(': {
        reader.align(8);
        value.kind = PropertyValue::Kind::array;
        std::size_t field = start + 1;
        while (field < end - 1) {
            auto item = readValue(reader, signature, field, depth + 1);
            if (!item) {
                return std::nullopt;
            }
            value.items.push_back(std::move(*item));
        }
        break;
    }
    default:
        // File descriptors: there is no property-list form for them.
        return std::nullopt;
    }
    if (!reader.ok()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

namespace {

// Appends little-endian wire data, aligned from the start of the message.
class WireWriter {
public:
    void align(std::size_t alignment) {
        while (bytes.size() % alignment != 0) {
            bytes += '\0';
        }
    }
    template <typename T> void put(T value) {
        align(sizeof(T));
        bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
    }
    void text(std::string_view content, bool signature) {
        if (signature) {
            put(std::uint8_t(content.size()));
        } else {
            put(std::uint32_t(content.size()));
        }
        bytes.append(content);
        bytes += '\0';
    }
    // One header field: its code and a variant of `type`.
    void field(std::uint8_t code, char type, std::string_view content) {
        align(8);
        put(code);
        const char signature[] = {type, '\0'};
        text(std::string_view(signature, 1), true);
        text(content, type == 'g');
    }

    std::string bytes;
};

} // namespace

std::string BusMessage::methodCall(std::uint32_t serial, std::string_view destination,
                                   std::string_view path, std::string_view interface,
                                   std::string_view member, std::string_view signature,
                                   std::string_view body) {
    WireWriter message;
    message.bytes = std::string("l\x01\x00\x01", 4);
    message.put(std::uint32_t(body.size()));
    message.put(serial);
    message.put(std::uint32_t(0)); // the fields' length, filled in below
    message.field(1, 'o', path);
    message.field(2, 's', interface);
    message.field(3, 's', member);
    message.field(6, 's', destination);
    if (!signature.empty()) {
        message.field(8, 'g', signature);
    }
    const auto fieldsLength = std::uint32_t(message.bytes.size() - fixedHeaderSize);
    std::memcpy(message.bytes.data() + 12, &fieldsLength, sizeof fieldsLength);
    message.align(8);
    message.bytes.append(body);
    return message.bytes;
}

std::string BusMessage::integerArrayBody(const std::vector<std::uint32_t>& values) {
    WireWriter body;
    body.put(std::uint32_t(values.size() * sizeof(std::uint32_t)));
    for (const std::uint32_t value : values) {
        body.put(value);
    }
    return body.bytes;
}

std::optional<std::size_t> BusMessage::sizeOf(std::string_view bytes) {
    if (bytes.size() < fixedHeaderSize) {
        return std::nullopt;
    }
    if (bytes[0] != 'l' || bytes[3] != 1) {
        return 0;
    }
    std::uint32_t bodyLength = 0;
    std::uint32_t fieldsLength = 0;
    std::memcpy(&bodyLength, bytes.data() + 4, sizeof bodyLength);
    std::memcpy(&fieldsLength, bytes.data() + 12, sizeof fieldsLength);
    if (bodyLength > maximumSize || fieldsLength > maximumSize) {
        return 0;
    }
    const std::size_t headerEnd = (fixedHeaderSize + fieldsLength + 7) / 8 * 8;
    const std::size_t size = headerEnd + bodyLength;
    return size > maximumSize ? 0 : size;
}

std::optional<BusMessage> BusMessage::parse(std::string_view bytes) {
    const auto size = sizeOf(bytes);
    if (!size || *size == 0 || *size != bytes.size()) {
        return std::nullopt;
    }
    BusMessage message;
    const auto type = static_cast<std::uint8_t>(bytes[1]);
    message.type = type >= 1 && type <= 4 ? Type(type) : Type::invalid;
    std::uint32_t bodyLength = 0;
    std::uint32_t fieldsLength = 0;
    std::memcpy(&bodyLength, bytes.data() + 4, sizeof bodyLength);
    std::memcpy(&fieldsLength, bytes.data() + 12, sizeof fieldsLength);

    WireReader fields(bytes.substr(0, fixedHeaderSize + fieldsLength));
    fields.take(fixedHeaderSize);
    while (fields.ok() && !fields.atEnd()) {
        fields.align(8);
        const auto code = fields.read<std::uint8_t>();
        const auto signature = fields.text(true);
        std::size_t at = 0;
        if (!signature || endOfType(*signature, 0) != signature->size()) {
            return std::nullopt;
        }
        auto value = readValue(fields, *signature, at, 0);
        if (!value) {
            return std::nullopt;
        }
        if (code == 5 && *signature == "u") {
            message.replySerial = std::uint32_t(value->integer);
        } else if (code == 4 && *signature == "s") {
            message.errorName = value->bytes;
        } else if (code == 8 && *signature == "g") {
            message.signature = value->bytes;
        }
    }
    WireReader padding(bytes.substr(0, bytes.size() - bodyLength));
    padding.take(fixedHeaderSize + fieldsLength);
    padding.align(8);
    if (!fields.ok() || !padding.ok() || !padding.atEnd()) {
        return std::nullopt;
    }
    message.body = std::string(bytes.substr(bytes.size() - bodyLength));
    return message;
}

std::optional<std::vector<std::pair<std::string, PropertyValue>>> BusMessage::dictionary() const {
    if (signature != "a{sv}") {
        return std::nullopt;
    }
    WireReader reader(body);
    std::size_t at = 0;
    auto value = readValue(reader, signature, at, 0);
    if (!value || !reader.atEnd()) {
        return std::nullopt;
    }
    return std::move(value->entries);
}

namespace {

// The body as one array of `T`, read without building a value per element.
template <typename T> std::optional<std::vector<T>> arrayBody(const std::string& body) {
    WireReader reader(body);
    const std::uint32_t length = reader.read<std::uint32_t>();
    reader.align(sizeof(T));
    if (!reader.ok() || length % sizeof(T) != 0) {
        return std::nullopt;
    }
    std::vector<T> values;
    values.reserve(std::min<std::size_t>(length / sizeof(T), body.size() / sizeof(T)));
    const std::size_t start = reader.position();
    while (reader.ok() && reader.position() - start < length) {
        values.push_back(reader.read<T>());
    }
    if (!reader.ok() || !reader.atEnd()) {
        return std::nullopt;
    }
    return values;
}

} // namespace

std::optional<std::vector<int>> BusMessage::integers() const {
    if (signature != "ai") {
        return std::nullopt;
    }
    auto values = arrayBody<std::int32_t>(body);
    return values ? std::optional(std::vector<int>(values->begin(), values->end())) : std::nullopt;
}

std::optional<std::vector<double>> BusMessage::reals() const {
    if (signature != "ad") {
        return std::nullopt;
    }
    return arrayBody<double>(body);
}

std::optional<std::string> BusMessage::text() const {
    if (signature.empty() || signature[0] != 's') {
        return std::nullopt;
    }
    WireReader reader(body);
    auto value = reader.text(false);
    return reader.ok() ? value : std::nullopt;
}
