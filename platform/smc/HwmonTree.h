#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class SysfsAttributeFiles;

// One chip of the hwmon class directory.
struct HwmonChip {
    QString name;       // its "name" attribute: "coretemp", "nvme", "BAT0"
    QString device;     // the device it belongs to ("nvme0", "coretemp.0"); may be empty
    QString devicePath; // that device's path ("/sys/devices/platform/coretemp.0"); may be empty
    QString identity;   // device path and name: what finds the chip again after it
                        // was renumbered (unplugged and plugged again)
    QString directory;  // the hwmonN entry it is read from now
};

// One sensor input of a chip: temp3_input is kind "temp", number 3.
struct HwmonInput {
    QString attribute; // "temp3", "fan1"
    int number = 0;
    QString label; // its _label attribute, trimmed; empty when it has none
};

// The hwmon class directory (/sys/class/hwmon, or a copy of it). hwmonN
// numbers follow probe order and change from boot to boot, so chips are
// listed in the order of their device paths instead: a drive or a fan keeps
// its place across reboots, and with it the user's stored choice its meaning.
// Current kernels put the attributes in the hwmonN directory, old ones under
// its device/ link; both are looked at, the chip's own first.
class HwmonTree {
public:
    explicit HwmonTree(const QString& classDirectory);

    bool exists() const;
    QString classDirectory() const { return directory; }
    // Every entry with a name, in device-path order.
    QList<HwmonChip> chips() const;

    // The chip's inputs of a kind ("temp", "fan") by number.
    static QList<HwmonInput> inputs(const QString& chipDirectory, const QString& kind);
    // An attribute of the chip ("temp1_input"), read where it is; nothing on
    // failure with errno in *error (ENOENT when neither place has it). With
    // files given, the attribute is read through them and stays open.
    static std::optional<long long> readNumber(const QString& chipDirectory,
                                               const QString& attribute, int* error = nullptr,
                                               SysfsAttributeFiles* files = nullptr);
    static std::optional<QByteArray> readText(const QString& chipDirectory,
                                              const QString& attribute);

    // "nvme10" after "nvme9": digit runs compare as numbers.
    static bool naturalLess(const QString& a, const QString& b);

private:
    QString directory;
};
