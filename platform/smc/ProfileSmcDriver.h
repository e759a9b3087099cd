#pragma once

#include "smc/SmcDriver.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>

class MachineProfile;

// An SMC described by the "smc" section of a machine profile: which keys exist,
// their types and values, whether the service exists or opens, and which calls
// fail. Values with a "drift" wander smoothly around their base value so a
// demo machine looks alive; values without one are answered exactly.
class ProfileSmcDriver : public SmcDriver {
public:
    // Seconds since some fixed start; drives the drift.
    using Clock = std::function<double()>;

    explicit ProfileSmcDriver(const MachineProfile& profile);
    ProfileSmcDriver(const MachineProfile& profile, Clock clock);
    ~ProfileSmcDriver() override;

    uint32_t serviceMatching(const char* name) override;
    KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) override;
    void objectRelease(uint32_t object) override;
    KernReturn callStructMethod(uint32_t connection, uint32_t selector, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t* outputSize) override;

    // Entries of the profile that could not be used, one line each (the key is
    // then absent from the SMC). Empty for a sound profile.
    QStringList problems() const;

    // The value bytes of a key as the SMC would encode them at the given time;
    // nothing for an absent key. Exposed so tests and tools can see exactly
    // what a read answers.
    std::optional<QByteArray> valueBytes(uint32_t key, double atSeconds) const;

private:
    struct Key {
        uint32_t type = 0;
        QByteArray bytes;             // fixed bytes ("bytes", or a string value)
        std::optional<double> number; // numeric "value", encoded on every read
        double drift = 0;
        std::optional<uint8_t> result; // forced result byte of value reads
        uint32_t size = 0;
    };

    void load(const MachineProfile& profile);
    QByteArray encode(const Key& key, uint32_t code, double atSeconds) const;

    Clock clock;
    bool serviceExists = true;
    bool opens = true;
    std::optional<KernReturn> forcedReturn;
    QHash<uint32_t, Key> keys;
    QStringList loadProblems;
};
