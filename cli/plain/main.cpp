// ondara-cli: the readings of what the user chose to show, as text or JSON,
// printed by this small program that loads nothing but the C++ library; for
// everything else (and whenever the one-shot path meets the unusual) it
// becomes the Qt-based client installed beside it, with the same arguments.

#include "OneShotReadings.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// How long the agent may take to answer one round, as for the Qt-based client.
constexpr std::chrono::milliseconds answerTimeout{5000};

// The Qt-based client, where the installation puts it relative to this
// program's own folder (never looked up on PATH).
std::string fullClientPath() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return {};
    }
    std::string folder(self, std::size_t(length));
    folder.erase(folder.rfind('/') + 1);
    return folder + ONDARA_FULL_CLI_FROM_BINDIR;
}

int handOver(char* argv[]) {
    const std::string program = fullClientPath();
    if (!program.empty()) {
        ::execv(program.c_str(), argv);
    }
    std::fprintf(stderr, "ondara-cli: cannot start %s: %s\n",
                 program.empty() ? "the full client" : program.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool json = argc == 2 && std::strcmp(argv[1], "--json") == 0;
    if (argc == 1 || json) {
        if (const auto outcome = OneShotReadings::run(std::getenv("DBUS_SESSION_BUS_ADDRESS"), json,
                                                      answerTimeout)) {
            std::fputs(outcome->output.c_str(), stdout);
            std::fflush(stdout);
            std::fputs(outcome->errors.c_str(), stderr);
            return outcome->status;
        }
    }
    return handOver(argv);
}
