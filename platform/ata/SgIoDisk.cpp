#include "ata/SgIoDisk.h"

#include "ata/AtaPassThroughStatus.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
// SMART EXECUTE OFF-LINE IMMEDIATE subcommands.
constexpr uint8_t offLineRoutine = 0x00;
constexpr uint8_t extendedSelfTest = 0x02;
} // namespace

SgIoDisk::SgIoDisk(int fd)
    : fd(fd) {}

SgIoDisk::~SgIoDisk() {
    ::close(fd);
}

AtaSmartReturn SgIoDisk::open(const std::string& node, DeviceNumber expected,
                              std::unique_ptr<SgIoDisk>* disk) {
    // Non-blocking, so a drive bay without a medium doesn't hold the caller.
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ELOOP ? AtaSmartReturnCode::noDevice : returnForErrno(errno);
    }
    std::unique_ptr<SgIoDisk> opened(new SgIoDisk(fd));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISBLK(status.st_mode) ||
        ::major(status.st_rdev) != expected.major || ::minor(status.st_rdev) != expected.minor) {
        return AtaSmartReturnCode::noDevice;
    }
    *disk = std::move(opened);
    return AtaSmartReturnCode::success;
}

AtaSmartReturn SgIoDisk::executeOffLineImmediate(bool extendedTest) {
    return execute(AtaPassThroughCommand::smartExecuteOffLineImmediate(
                       extendedTest ? extendedSelfTest : offLineRoutine),
                   nullptr);
}

AtaSmartReturn SgIoDisk::readData(DataBlock* data) {
    DataBlock block{};
    const AtaSmartReturn result = execute(AtaPassThroughCommand::smartReadData(), &block);
    if (result == AtaSmartReturnCode::success) {
        *data = block;
    }
    return result;
}

AtaSmartReturn SgIoDisk::identify(DataBlock* data) {
    return execute(AtaPassThroughCommand::identifyDevice(), data);
}

AtaSmartReturn SgIoDisk::checkPowerMode(PowerMode* mode) {
    std::optional<uint8_t> count;
    const AtaSmartReturn result = execute(AtaPassThroughCommand::checkPowerMode(), nullptr, &count);
    if (result != AtaSmartReturnCode::success) {
        return result;
    }
    // Without the registers the answer is unknown, which is no answer.
    if (!count) {
        return AtaSmartReturnCode::ioError;
    }
    *mode = powerModeForCount(*count);
    return AtaSmartReturnCode::success;
}

SgIoDisk::PowerMode SgIoDisk::powerModeForCount(uint8_t count) {
    return count == 0x00 || count == 0x01 ? PowerMode::standby : PowerMode::activeOrIdle;
}

AtaSmartReturn SgIoDisk::returnForErrno(int error) {
    switch (error) {
    case EPERM:
    case EACCES:
        return AtaSmartReturnCode::notPrivileged;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return AtaSmartReturnCode::noDevice;
    case ENOTTY:
    case EINVAL:
    case EOPNOTSUPP:
    case ENOSYS:
        return AtaSmartReturnCode::unsupported;
    case EIO:
        return AtaSmartReturnCode::ioError;
    case ETIMEDOUT:
        return AtaSmartReturnCode::timeout;
    default:
        return AtaSmartReturnCode::error;
    }
}

AtaSmartReturn SgIoDisk::execute(const AtaPassThroughCommand& command, DataBlock* data,
                                 std::optional<uint8_t>* count) {
    AtaPassThroughCommand::Cdb cdb = command.cdb();
    std::array<uint8_t, 32> sense{};
    DataBlock buffer{};
    const size_t length = command.dataInLength();

    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmd_len = uint8_t(cdb.size());
    io.cmdp = cdb.data();
    io.mx_sb_len = uint8_t(sense.size());
    io.sbp = sense.data();
    io.dxfer_direction = length > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    io.dxfer_len = unsigned(length);
    io.dxferp = length > 0 ? buffer.data() : nullptr;
    io.timeout = commandTimeoutMs;

    int answer;
    do {
        answer = ::ioctl(fd, SG_IO, &io);
    } while (answer < 0 && errno == EINTR);
    if (answer < 0) {
        return returnForErrno(errno);
    }
    const size_t senseLength = std::min<size_t>(io.sb_len_wr, sense.size());
    const AtaPassThroughStatus status = AtaPassThroughStatus::fromReply(
        io.status, io.host_status, io.driver_status, std::span(sense.data(), senseLength));
    if (!status.succeeded()) {
        return status.result;
    }
    // A short block is no block: the attribute table would be half zeros.
    if (length > 0 && io.resid != 0) {
        return AtaSmartReturnCode::ioError;
    }
    if (length > 0 && data) {
        *data = buffer;
    }
    if (count) {
        *count = status.ataCount;
    }
    return AtaSmartReturnCode::success;
}
