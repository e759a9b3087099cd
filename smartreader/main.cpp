// ondara-smart-reader: reads one disk's SMART data for the agent, which may
// not send ATA commands itself. It runs with CAP_SYS_RAWIO (and the right to
// open the disk's node) from its file capability, so it does as little as it
// can: it takes a request word and a disk index, finds the disk among the
// machine's whole disks, sends at most CHECK POWER MODE and SMART READ DATA,
// or SMART EXECUTE OFF-LINE IMMEDIATE, and prints the answer in a fixed
// format on standard output.
//
// Exit status: 0 answered (the answer says how the disk replied), 2 request
// refused, 3 no disk with that index, 1 the disks can't be listed.

#include "ReaderPrivileges.h"
#include "ata/SgIoDisk.h"
#include "ata/SmartReaderAnswer.h"
#include "ata/SmartReaderRequest.h"
#include "ata/WholeDisks.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int answered = 0;
constexpr int failed = 1;
constexpr int refused = 2;
constexpr int noSuchDisk = 3;

// A caller may start the reader with standard streams closed; the disk's
// node must never land on one of them.
void openStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened != fd) {
                ::_exit(failed);
            }
        }
    }
}

bool writeAll(const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t now = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
        if (now <= 0) {
            return false;
        }
        written += size_t(now);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ReaderPrivileges::lowerAll();
    openStandardStreams();

    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto request = SmartReaderRequest::parse(arguments);
    if (!request) {
        std::fputs("usage: ondara-smart-reader read|collect DISK-INDEX\n", stderr);
        return refused;
    }
    const auto disks = WholeDisks::list("/sys");
    if (!disks) {
        std::fputs("ondara-smart-reader: cannot list the disks in /sys/block\n", stderr);
        return failed;
    }
    if (request->index >= disks->size()) {
        std::fprintf(stderr, "ondara-smart-reader: no disk %zu\n", request->index);
        return noSuchDisk;
    }
    const WholeDisk& disk = (*disks)[request->index];

    SmartReaderAnswer answer;
    answer.disk = disk.number.value_or(DeviceNumber{});
    const std::string node = WholeDisks::deviceNode("/dev", disk.name);
    std::unique_ptr<SgIoDisk> opened;
    if (!disk.number || node.empty()) {
        answer.open = AtaSmartReturnCode::noDevice;
    } else {
        // The disk's node is root's; reading it is the one thing this right
        // is for.
        ReaderPrivileges::use(ReaderPrivileges::Capability::readAnyFile);
        const AtaSmartReturn result = SgIoDisk::open(node, *disk.number, &opened);
        ReaderPrivileges::drop(ReaderPrivileges::Capability::readAnyFile);
        if (result != AtaSmartReturnCode::success) {
            answer.open = result;
        }
    }
    if (opened) {
        ReaderPrivileges::use(ReaderPrivileges::Capability::rawIo);
        answer = SmartReaderAnswer::answer(request->kind, *disk.number, *opened);
        ReaderPrivileges::drop(ReaderPrivileges::Capability::rawIo);
    }
    return writeAll(answer.text()) ? answered : failed;
}
