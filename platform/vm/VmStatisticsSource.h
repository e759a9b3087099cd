#pragma once

#include "vm/VmStatistics.h"

#include <cstdint>
#include <optional>

// Where the agent learns the machine's memory: the page counts of the moment
// and the installed memory. Backends answer nothing when their query fails.
class VmStatisticsSource {
public:
    VmStatisticsSource() = default;
    VmStatisticsSource(const VmStatisticsSource&) = delete;
    VmStatisticsSource& operator=(const VmStatisticsSource&) = delete;
    virtual ~VmStatisticsSource();

    virtual std::optional<VmStatistics> statistics() = 0;
    virtual std::optional<uint64_t> installedMemoryBytes() = 0;
};
