#include "vm/ProfileVmStatisticsSource.h"

#include "PropertyList.h"

namespace {

// A profile's count: a non-negative integer, else nothing.
std::optional<uint64_t> countOf(const QVariant& value) {
    const auto count = PropertyList::integerIn(value, 0);
    return count ? std::optional<uint64_t>(uint64_t(*count)) : std::nullopt;
}

} // namespace

ProfileVmStatisticsSource::ProfileVmStatisticsSource(const QVariantMap& memory) {
    const QVariantMap section = PropertyList::normalized(memory).toMap();
    installed = countOf(section.value(QStringLiteral("installed")));
    if (!section.value(QStringLiteral("fails")).toBool()) {
        auto count = [&section](const char* key) {
            return countOf(section.value(QLatin1StringView(key))).value_or(0);
        };
        pages = VmStatistics{count("free"), count("active"), count("inactive"), count("wired"),
                             count("compressed")};
    }
}

std::optional<VmStatistics> ProfileVmStatisticsSource::statistics() {
    return pages;
}

std::optional<uint64_t> ProfileVmStatisticsSource::installedMemoryBytes() {
    return installed;
}
