#pragma once

#include <cstdint>

// The kernel's page counts the memory figures are built from. A page is
// always counted as 4096 bytes, whatever the host's page size.
struct VmStatistics {
    static constexpr uint64_t pageSize = 4096;

    uint64_t freeCount = 0;
    uint64_t activeCount = 0;
    uint64_t inactiveCount = 0;
    uint64_t wireCount = 0;
    uint64_t compressorPageCount = 0;

    friend bool operator==(const VmStatistics&, const VmStatistics&) = default;
};
