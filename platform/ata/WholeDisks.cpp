#include "ata/WholeDisks.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {
std::optional<DeviceNumber> readDeviceNumber(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return DeviceNumber::parse(line);
}

bool isUnder(const fs::path& path, const fs::path& folder) {
    const auto [end, rest] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end() && rest != path.end();
}
} // namespace

std::optional<std::vector<WholeDisk>> WholeDisks::list(const std::string& sysfsRoot) {
    const fs::path root = fs::path(sysfsRoot).lexically_normal();
    const fs::path block = root / "block";
    const fs::path virtualDevices = root / "devices" / "virtual";
    std::error_code error;
    fs::directory_iterator entries(block, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<WholeDisk> disks;
    for (const fs::directory_entry& entry : entries) {
        if (entry.is_symlink(error)) {
            const fs::path target = fs::read_symlink(entry.path(), error);
            if (error) {
                continue;
            }
            const fs::path resolved =
                (target.is_absolute() ? target : block / target).lexically_normal();
            if (isUnder(resolved, virtualDevices)) {
                continue;
            }
        }
        disks.push_back(
            WholeDisk{entry.path().filename().string(), readDeviceNumber(entry.path() / "dev")});
    }
    std::sort(disks.begin(), disks.end(),
              [](const WholeDisk& a, const WholeDisk& b) { return a.name < b.name; });
    return disks;
}

std::string WholeDisks::deviceNode(const std::string& devRoot, const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return {};
    }
    // Every part between the '!' must be a plain name, never "." or "..".
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('!', start), name.size());
        if (end == start || name[start] == '.') {
            return {};
        }
        start = end + 1;
    }
    std::string path = name;
    std::replace(path.begin(), path.end(), '!', '/');
    return devRoot + '/' + path;
}
