#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

// Values encoded the way the SMC sends them (big-endian), for the backends
// that answer keys from other sources.
namespace SmcEncoding {

// "sp78": sign bit and whole degrees in the first byte, the fraction in 256ths
// in the second; magnitudes beyond 127 °C stop there.
inline QByteArray sp78FromMillidegrees(long long millidegrees) {
    const long long magnitude = std::min(std::llabs(millidegrees), 127999LL);
    QByteArray bytes(2, '\0');
    bytes[0] = char((millidegrees < 0 ? 0x80 : 0x00) | int(magnitude / 1000));
    bytes[1] = char((magnitude % 1000) * 256 / 1000);
    return bytes;
}

// "fpe2": unsigned 14.2 fixed point; speeds are whole, so the two fraction
// bits stay clear. Speeds beyond the 14 bits stop at the largest.
inline QByteArray fpe2(long long value) {
    const uint32_t raw = uint32_t(std::clamp<long long>(value, 0, 0x3FFF)) << 2;
    QByteArray bytes(2, '\0');
    bytes[0] = char((raw >> 8) & 0xFF);
    bytes[1] = char(raw & 0xFF);
    return bytes;
}

// "{fds": a fan descriptor of 16 bytes whose name is bytes 4 to 15,
// NUL-padded; longer names are cut at 12 bytes as the SMC's are.
inline QByteArray fdsWithName(const QByteArray& name) {
    QByteArray bytes(16, '\0');
    const QByteArray kept = name.left(12);
    bytes.replace(4, kept.size(), kept);
    return bytes;
}

} // namespace SmcEncoding
