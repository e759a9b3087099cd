#include "SMCDataType.h"

namespace {
constexpr uint32_t typeCode(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}
} // namespace

const SMCDataType& SMCDataType::sp78() {
    static const SMCDataType type{typeCode("sp78"), 2};
    return type;
}

const SMCDataType& SMCDataType::fpe2() {
    static const SMCDataType type{typeCode("fpe2"), 2};
    return type;
}

const SMCDataType& SMCDataType::ui8() {
    static const SMCDataType type{typeCode("ui8 "), 1};
    return type;
}

const SMCDataType& SMCDataType::fds() {
    static const SMCDataType type{typeCode("{fds"), 16};
    return type;
}
