#include "smc/SmcDriver.h"

#include <algorithm>
#include <cstring>

SmcDriver::~SmcDriver() = default;

bool SmcDriver::isServiceName(const char* name) {
    return name != nullptr && std::strcmp(name, serviceName) == 0;
}

SmcDriver::KernReturn SmcDriver::admitStructCall(uint32_t connection, uint32_t openConnection,
                                                 uint32_t selector, SMCParamStruct* output,
                                                 const size_t* outputSize) {
    if (output == nullptr || outputSize == nullptr || *outputSize != sizeof(SMCParamStruct) ||
        selector != structMethodSelector) {
        return badArgument;
    }
    if (connection == 0 || connection != openConnection) {
        return notOpen;
    }
    std::memset(static_cast<void*>(output), 0, sizeof(*output));
    return success;
}

void SmcDriver::copyValueBytes(const QByteArray& bytes, const SMCParamStruct& input,
                               SMCParamStruct* output) {
    const size_t count =
        std::min({size_t(input.keyInfo.dataSize), size_t(bytes.size()), sizeof(output->bytes)});
    std::memcpy(output->bytes, bytes.constData(), count);
}
