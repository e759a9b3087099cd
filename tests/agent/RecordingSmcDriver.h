#pragma once

#include "smc/SmcDriver.h"

#include <QByteArrayList>
#include <QList>
#include <memory>

// Passes every call on to another driver and keeps a record of what the SMC
// layer asked, so tests can check the exact 80-byte requests and call order.
class RecordingSmcDriver : public SmcDriver {
public:
    struct Call {
        uint32_t connection = 0;
        uint32_t selector = 0;
        size_t outputSize = 0;
        SMCParamStruct input;
    };

    explicit RecordingSmcDriver(std::shared_ptr<SmcDriver> inner)
        : inner(std::move(inner)) {}

    uint32_t serviceMatching(const char* name) override {
        matchedNames.append(QByteArray(name));
        lastService = inner->serviceMatching(name);
        return lastService;
    }
    KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) override {
        openedServices.append(service);
        openTypes.append(type);
        return inner->serviceOpen(service, type, connection);
    }
    void objectRelease(uint32_t object) override {
        releasedObjects.append(object);
        inner->objectRelease(object);
    }
    KernReturn callStructMethod(uint32_t connection, uint32_t selector, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t* outputSize) override {
        calls.append({connection, selector, *outputSize, input});
        return inner->callStructMethod(connection, selector, input, output, outputSize);
    }

    // The key texts of the recorded requests, in order.
    QStringList requestedKeys() const {
        QStringList keys;
        for (const Call& call : calls) {
            QString text;
            for (int shift = 24; shift >= 0; shift -= 8) {
                text.append(QChar(ushort((call.input.key >> shift) & 0xFF)));
            }
            keys.append(text);
        }
        return keys;
    }

    std::shared_ptr<SmcDriver> inner;
    QByteArrayList matchedNames;
    uint32_t lastService = 0;
    QList<uint32_t> openedServices;
    QList<uint32_t> openTypes;
    QList<uint32_t> releasedObjects;
    QList<Call> calls;
};
