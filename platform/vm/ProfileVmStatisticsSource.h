#pragma once

#include "vm/VmStatisticsSource.h"

#include <QVariantMap>

// The "memory" section of a machine profile: "installed" (bytes; absent: the
// installed-memory query fails), "free", "active", "inactive", "wired",
// "compressed" (page counts, 0 when absent) and "fails" (true: the statistics
// query fails). Answers are the same on every call.
class ProfileVmStatisticsSource : public VmStatisticsSource {
public:
    explicit ProfileVmStatisticsSource(const QVariantMap& memory);

    std::optional<VmStatistics> statistics() override;
    std::optional<uint64_t> installedMemoryBytes() override;

private:
    std::optional<VmStatistics> pages;
    std::optional<uint64_t> installed;
};
