#pragma once

#include "smc/HwmonSensorMap.h"
#include "smc/SmcDriver.h"
#include "smc/SysfsAttributeFiles.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <optional>

// An SMC made of the Linux hwmon chips: it knows the catalogue keys that
// HwmonSensorMap gives an input and the fan keys of every hwmon fan, and
// answers them encoded as the SMC would ("sp78" temperatures, "fpe2" speeds,
// "ui8 " for "FNum", "{fds" names). A read that fails (EIO, ENODATA, a chip
// that went away) answers the SMC's failure result, never a made-up 0 °C.
//
// The mapping is made once, from the chips present when it is first needed;
// the agent discovers its sensors once too. A chip that is renumbered (a
// drive unplugged and plugged again) is found again by its device path.
class HwmonSmcDriver : public SmcDriver {
public:
    static QString systemDirectory() { return QStringLiteral("/sys/class/hwmon"); }

    explicit HwmonSmcDriver(const QString& classDirectory = systemDirectory());
    ~HwmonSmcDriver() override;

    // Whether the tree maps at least one temperature key.
    static bool mapsTemperature(const QString& classDirectory);

    // The mapping; made on first use and kept.
    const HwmonSensorMap& map();

    uint32_t serviceMatching(const char* name) override;
    KernReturn serviceOpen(uint32_t service, uint32_t type, uint32_t* connection) override;
    void objectRelease(uint32_t object) override;
    KernReturn callStructMethod(uint32_t connection, uint32_t selector, const SMCParamStruct& input,
                                SMCParamStruct* output, size_t* outputSize) override;

private:
    using Answer = KeyAnswer;

    HwmonSensorMap& mapping();
    Answer answer(uint32_t key, bool wantValue);
    Answer fanAnswer(int fan, const QByteArray& suffix, bool wantValue);
    // One attribute of a mapped input ("input", "min"), found again when its
    // chip was renumbered; nothing on failure, with errno in *error.
    std::optional<long long> read(const HwmonSensorMap::Source& source, const QString& suffix,
                                  int* error);

    QString directory;
    QMutex mutex;
    std::optional<HwmonSensorMap> sensorMap;
    uint32_t openConnection = 0;
    // The inputs read on every request stay open between requests.
    SysfsAttributeFiles openFiles;
    // Fans without a stated maximum: the fastest each was seen turning.
    QHash<int, long long> fastestSeen;
};
