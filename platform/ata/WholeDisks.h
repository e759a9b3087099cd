#pragma once

#include "ata/DeviceNumber.h"

#include <optional>
#include <string>
#include <vector>

// One whole disk of the machine.
struct WholeDisk {
    // The kernel's name ("sda", "cciss!c0d0").
    std::string name;
    // From its sysfs dev file; nothing when that is missing or unreadable.
    std::optional<DeviceNumber> number;
};

// The machine's whole disks: the entries of <sysfsRoot>/block whose link does
// not lead under <sysfsRoot>/devices/virtual/ (loop, RAM, device-mapper and
// other software devices), in name order. The agent and the SMART reader
// both count disks this way, so an index means the same disk to both.
class WholeDisks {
public:
    // Nothing when the block folder can't be read.
    static std::optional<std::vector<WholeDisk>> list(const std::string& sysfsRoot);
    // The device node of a kernel name under devRoot ("cciss!c0d0" lives at
    // <devRoot>/cciss/c0d0); empty for a name that would lead elsewhere.
    static std::string deviceNode(const std::string& devRoot, const std::string& name);
};
