#include "SMCDataType.h"

#include "smc/FourCharCode.h"

const SMCDataType& SMCDataType::sp78() {
    static const SMCDataType type{FourCharCode::literal("sp78"), 2};
    return type;
}

const SMCDataType& SMCDataType::fpe2() {
    static const SMCDataType type{FourCharCode::literal("fpe2"), 2};
    return type;
}

const SMCDataType& SMCDataType::ui8() {
    static const SMCDataType type{FourCharCode::literal("ui8 "), 1};
    return type;
}

const SMCDataType& SMCDataType::fds() {
    static const SMCDataType type{FourCharCode::literal("{fds"), 16};
    return type;
}
