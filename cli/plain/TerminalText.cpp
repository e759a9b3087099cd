#include "TerminalText.h"

namespace TerminalText {

std::string printable(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            continue;
        }
        // U+0080 to U+009F are C2 80 to C2 9F.
        if (byte == 0xC2 && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[i + 1]);
            if (next >= 0x80 && next <= 0x9F) {
                ++i;
                continue;
            }
        }
        text += utf8[i];
    }
    return text;
}

std::size_t width(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

std::string leftJustified(std::string_view utf8, std::size_t columns) {
    std::string text(utf8);
    const std::size_t have = width(utf8);
    if (have < columns) {
        text.append(columns - have, ' ');
    }
    return text;
}

std::string rightJustified(std::string_view utf8, std::size_t columns) {
    const std::size_t have = width(utf8);
    return (have < columns ? std::string(columns - have, ' ') : std::string()) + std::string(utf8);
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead == 0) {
            return false;
        }
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + std::size_t(length) > bytes.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += std::size_t(length);
    }
    return true;
}

} // namespace TerminalText
