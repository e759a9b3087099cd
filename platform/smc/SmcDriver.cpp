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

SmcDriver::KernReturn SmcDriver::answerStructCall(uint32_t connection, uint32_t openConnection,
                                                  uint32_t selector, const SMCParamStruct& input,
                                                  SMCParamStruct* output, size_t* outputSize,
                                                  const KeyLookup& lookup) {
    if (const KernReturn kr =
            admitStructCall(connection, openConnection, selector, output, outputSize);
        kr != success) {
        return kr;
    }
    output->key = input.key;
    if (input.data8 != SMCParamStruct::readKeyInfo && input.data8 != SMCParamStruct::readKeyValue) {
        output->result = resultBadCommand;
        return success;
    }
    const bool wantValue = input.data8 == SMCParamStruct::readKeyValue;
    const KeyAnswer reply = lookup(input.key, wantValue);
    if (reply.kr != success) {
        std::memset(static_cast<void*>(output), 0, sizeof(*output));
        return reply.kr;
    }
    output->result = reply.result;
    if (reply.result != SMCParamStruct::resultSuccess) {
        return success;
    }
    if (wantValue) {
        copyValueBytes(reply.data, input, output);
    } else {
        output->keyInfo.dataSize = uint32_t(reply.data.size());
        output->keyInfo.dataType = reply.type;
    }
    return success;
}
