#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// SMC keys and types are four one-byte characters packed into 32 bits, the
// first character in the most significant byte. Every layer that names or
// shows a key goes through these, so text and code always round-trip.
namespace FourCharCode {

// A code written in the source: FourCharCode::literal("TC0P").
constexpr uint32_t literal(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

// Text of exactly four characters; nothing for any other length or for a
// character that doesn't fit in one byte (it would push the first one out).
inline std::optional<uint32_t> fromText(const QString& text) {
    if (text.size() != 4) {
        return std::nullopt;
    }
    uint32_t code = 0;
    for (const QChar character : text) {
        if (character.unicode() > 0xFF) {
            return std::nullopt;
        }
        code = code << 8 | character.unicode();
    }
    return code;
}

// The first four bytes of raw text (a driver attribute, say); nothing when
// there are fewer.
inline std::optional<uint32_t> fromBytes(const QByteArray& bytes) {
    if (bytes.size() < 4) {
        return std::nullopt;
    }
    return uint32_t(uint8_t(bytes[0])) << 24 | uint32_t(uint8_t(bytes[1])) << 16 |
           uint32_t(uint8_t(bytes[2])) << 8 | uint32_t(uint8_t(bytes[3]));
}

// The four bytes as Latin-1 characters, most significant first; the inverse
// of fromText.
inline QString toText(uint32_t code) {
    QString text(4, QChar());
    for (int i = 0; i < 4; ++i) {
        text[i] = QChar(ushort((code >> (24 - 8 * i)) & 0xFF));
    }
    return text;
}

} // namespace FourCharCode
