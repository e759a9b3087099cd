#include "PropertyListBounds.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using PropertyListBounds::maximumDepth;
using PropertyListBounds::maximumValues;

QString tooDeep() {
    return QStringLiteral("nested deeper than %1 levels").arg(maximumDepth);
}

QString tooManyValues() {
    return QStringLiteral("more than %1 values").arg(maximumValues);
}

// ---- XML ----------------------------------------------------------------

bool startsWith(const char* at, const char* end, const char* text) {
    const size_t length = std::strlen(text);
    return size_t(end - at) >= length && std::memcmp(at, text, length) == 0;
}

// Just past the first `text` at or after `from`; `end` when there is none.
const char* after(const char* from, const char* end, const char* text) {
    const size_t length = std::strlen(text);
    for (const char* at = from; size_t(end - at) >= length; ++at) {
        at = static_cast<const char*>(std::memchr(at, text[0], size_t(end - at)));
        if (!at || size_t(end - at) < length) {
            break;
        }
        if (std::memcmp(at, text, length) == 0) {
            return at + length;
        }
    }
    return end;
}

bool isValueElement(const QByteArray& name) {
    static const char* const names[] = {"array", "dict", "key",   "string", "integer",
                                        "real",  "true", "false", "date",   "data"};
    for (const char* candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}

// Counts the elements the way the parser nests them. Markup inside comments
// or character data is skipped; anything odd only makes the count larger,
// never smaller, so a file is refused rather than parsed too deep.
std::optional<QString> xmlRefusal(const QByteArray& bytes) {
    const char* at = bytes.constData();
    const char* const end = at + bytes.size();
    int depth = 0;
    qint64 values = 0;
    while (at < end) {
        at = static_cast<const char*>(std::memchr(at, '<', size_t(end - at)));
        if (!at) {
            break;
        }
        ++at;
        if (startsWith(at, end, "!--")) {
            at = after(at + 3, end, "-->");
            continue;
        }
        if (startsWith(at, end, "![CDATA[")) {
            at = after(at + 8, end, "]]>");
            continue;
        }
        if (startsWith(at, end, "?")) {
            at = after(at + 1, end, "?>");
            continue;
        }
        const bool closing = at < end && *at == '/';
        if (closing) {
            ++at;
        }
        const char* nameEnd = at;
        while (nameEnd < end && (std::isalnum(static_cast<unsigned char>(*nameEnd)) != 0)) {
            ++nameEnd;
        }
        const QByteArray name(at, nameEnd - at);
        const char* close =
            static_cast<const char*>(std::memchr(nameEnd, '>', size_t(end - nameEnd)));
        const bool selfClosing = close && close > nameEnd && close[-1] == '/';
        at = close ? close + 1 : end;
        const bool container = name == "array" || name == "dict";
        if (closing) {
            depth -= container && depth > 0 ? 1 : 0;
            continue;
        }
        if (isValueElement(name) && ++values > maximumValues) {
            return tooManyValues();
        }
        if (container && !selfClosing && ++depth > maximumDepth) {
            return tooDeep();
        }
    }
    return std::nullopt;
}

// ---- binary -------------------------------------------------------------

uint64_t bigEndian(const uint8_t* bytes, unsigned count) {
    uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// The objects of a binary list as the parser finds them: through the offset
// table named in the trailer. Anything inconsistent is left for the parser
// to refuse.
class BinaryList {
public:
    explicit BinaryList(const QByteArray& file)
        : bytes(reinterpret_cast<const uint8_t*>(file.constData()))
        , size(uint64_t(file.size())) {
        constexpr uint64_t trailerSize = 32;
        if (size < 8 + trailerSize) {
            return;
        }
        const uint8_t* trailer = bytes + size - trailerSize;
        offsetSize = trailer[6];
        refSize = trailer[7];
        objects = bigEndian(trailer + 8, 8);
        top = bigEndian(trailer + 16, 8);
        table = bigEndian(trailer + 24, 8);
        valid = offsetSize >= 1 && offsetSize <= 8 && refSize >= 1 && refSize <= 8 &&
                table < size && objects <= (size - table) / offsetSize && top < objects;
    }

    bool valid = false;
    uint64_t objects = 0;
    uint64_t top = 0;

    // Where an object starts; size when the table points outside the file.
    uint64_t offsetOf(uint64_t object) const {
        const uint64_t at = bigEndian(bytes + table + object * offsetSize, offsetSize);
        return at < size ? at : size;
    }
    unsigned kindAt(uint64_t at) const { return at < size ? bytes[at] >> 4 : 0; }

    // The element count of the object at `at` and where its payload starts;
    // false when the count runs past the end.
    bool countAt(uint64_t at, uint64_t* count, uint64_t* payload) const {
        *count = bytes[at] & 0x0F;
        *payload = at + 1;
        if (*count != 0x0F) {
            return true;
        }
        if (*payload >= size || bytes[*payload] >> 4 != 1) {
            return false;
        }
        const unsigned width = 1u << (bytes[*payload] & 0x0F);
        if (width > 8 || width > size - *payload - 1) {
            return false;
        }
        *count = bigEndian(bytes + *payload + 1, width);
        *payload += 1 + width;
        return true;
    }

    // The objects a container refers to: [first, first + count) references.
    struct References {
        uint64_t first = 0;
        uint64_t count = 0;
    };
    std::optional<References> referencesOf(uint64_t object) const {
        const uint64_t at = offsetOf(object);
        const unsigned kind = kindAt(at);
        if (at >= size || (kind != 0xA && kind != 0xC && kind != 0xD)) {
            return std::nullopt;
        }
        uint64_t count = 0;
        uint64_t payload = 0;
        if (!countAt(at, &count, &payload)) {
            return References{};
        }
        const uint64_t refs = kind == 0xD ? 2 * count : count;
        if (count > size || payload > size || refs > (size - payload) / refSize) {
            return References{};
        }
        return References{payload, refs};
    }
    uint64_t reference(const References& references, uint64_t index) const {
        return bigEndian(bytes + references.first + index * refSize, refSize);
    }

    bool stringHoldsNul(uint64_t object) const {
        const uint64_t at = offsetOf(object);
        // 0x5n ASCII, 0x6n UTF-16, 0x7n UTF-8 text.
        const unsigned kind = kindAt(at);
        if (at >= size || kind < 5 || kind > 7) {
            return false;
        }
        uint64_t length = 0;
        uint64_t start = 0;
        const uint64_t unit = kind == 6 ? 2 : 1;
        if (!countAt(at, &length, &start) || start > size || length > (size - start) / unit) {
            return false;
        }
        for (uint64_t i = 0; i < length; ++i) {
            const uint8_t* character = bytes + start + i * unit;
            if (character[0] == 0 && (unit == 1 || character[1] == 0)) {
                return true;
            }
        }
        return false;
    }

private:
    const uint8_t* bytes;
    uint64_t size;
    unsigned offsetSize = 0;
    unsigned refSize = 0;
    uint64_t table = 0;
};

// The tree the parser builds from the top object: how deep, and how many
// values once every shared object is copied for each reference, walked
// without recursion and each object only once.
std::optional<QString> binaryTreeRefusal(const BinaryList& list) {
    if (list.objects > uint64_t(maximumValues)) {
        return tooManyValues();
    }
    enum : uint8_t { unvisited, open, done };
    std::vector<uint8_t> state(list.objects, unvisited);
    std::vector<uint16_t> depth(list.objects, 0);
    std::vector<uint32_t> values(list.objects, 1);
    struct Frame {
        uint64_t object;
        BinaryList::References references;
        uint64_t next = 0;
        uint16_t deepest = 0;
        uint64_t sum = 1;
    };
    std::vector<Frame> stack;
    const auto enter = [&](uint64_t object) -> std::optional<QString> {
        const auto references = list.referencesOf(object);
        if (!references) {
            state[object] = done;
            return std::nullopt;
        }
        if (stack.size() >= size_t(maximumDepth)) {
            return tooDeep();
        }
        state[object] = open;
        stack.push_back({object, *references});
        return std::nullopt;
    };
    if (auto refused = enter(list.top)) {
        return refused;
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.references.count) {
            depth[frame.object] = uint16_t(frame.deepest + 1);
            values[frame.object] = uint32_t(frame.sum);
            state[frame.object] = done;
            const Frame finished = frame;
            stack.pop_back();
            if (!stack.empty()) {
                Frame& parent = stack.back();
                parent.deepest = std::max(parent.deepest, depth[finished.object]);
                parent.sum += finished.sum;
                if (parent.sum > uint64_t(maximumValues)) {
                    return tooManyValues();
                }
            }
            continue;
        }
        const uint64_t child = list.reference(frame.references, frame.next++);
        if (child >= list.objects) {
            continue;
        }
        if (state[child] == open) {
            return QStringLiteral("an array or dictionary contains itself");
        }
        if (state[child] == done) {
            frame.deepest = std::max(frame.deepest, depth[child]);
            frame.sum += values[child];
            if (frame.sum > uint64_t(maximumValues)) {
                return tooManyValues();
            }
            continue;
        }
        if (auto refused = enter(child)) {
            return refused;
        }
        if (state[child] == done) {
            frame.sum += 1;
        }
    }
    return std::nullopt;
}

std::optional<QString> binaryRefusal(const QByteArray& bytes) {
    const BinaryList list(bytes);
    if (!list.valid) {
        return std::nullopt;
    }
    // libplist stops the process when asked for a dictionary key holding a
    // NUL character.
    for (uint64_t object = 0; object < list.objects; ++object) {
        if (list.stringHoldsNul(object)) {
            return QStringLiteral("a string holds a NUL character");
        }
    }
    return binaryTreeRefusal(list);
}

} // namespace

namespace PropertyListBounds {

std::optional<QString> refusal(const QByteArray& bytes) {
    if (bytes.size() > maximumSize) {
        return QStringLiteral("larger than %1 MiB").arg(maximumSize / (1024 * 1024));
    }
    if (bytes.startsWith("bplist00")) {
        return binaryRefusal(bytes);
    }
    return xmlRefusal(bytes);
}

} // namespace PropertyListBounds
