#include "ata/SgIoAtaDrive.h"

#include "ata/AtaPassThroughStatus.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// SMART EXECUTE OFF-LINE IMMEDIATE subcommands.
constexpr uint8_t offLineRoutine = 0x00;
constexpr uint8_t extendedSelfTest = 0x02;
} // namespace

SgIoAtaDrive::SgIoAtaDrive(int fd, bool smartSupported)
    : fd(fd)
    , smartSupported(smartSupported) {}

SgIoAtaDrive::~SgIoAtaDrive() {
    ::close(fd);
}

AtaSmartReturn SgIoAtaDrive::open(const QString& node, std::unique_ptr<SgIoAtaDrive>* drive) {
    // Non-blocking, so a drive bay without a medium doesn't hold the agent.
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return returnForErrno(errno);
    }
    // IDENTIFY DEVICE tells an ATA drive from everything else that takes
    // SG_IO, and says whether it has SMART at all.
    std::unique_ptr<SgIoAtaDrive> opened(new SgIoAtaDrive(fd, false));
    DataBlock identify{};
    const AtaSmartReturn identified =
        opened->execute(AtaPassThroughCommand::identifyDevice(), &identify);
    if (identified != AtaSmartReturnCode::success) {
        return identified;
    }
    opened->smartSupported = supportsSmart(identify);
    *drive = std::move(opened);
    return AtaSmartReturnCode::success;
}

AtaSmartInterface* SgIoAtaDrive::queryInterface() {
    return smartSupported ? this : nullptr;
}

AtaSmartReturn SgIoAtaDrive::executeOffLineImmediate(bool extendedTest) {
    return execute(AtaPassThroughCommand::smartExecuteOffLineImmediate(
                       extendedTest ? extendedSelfTest : offLineRoutine),
                   nullptr);
}

AtaSmartReturn SgIoAtaDrive::readData(DataBlock* data) {
    DataBlock block{};
    const AtaSmartReturn result = execute(AtaPassThroughCommand::smartReadData(), &block);
    if (result == AtaSmartReturnCode::success) {
        *data = block;
    }
    return result;
}

AtaSmartReturn SgIoAtaDrive::checkPowerMode(PowerMode* mode) {
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

SgIoAtaDrive::PowerMode SgIoAtaDrive::powerModeForCount(uint8_t count) {
    return count == 0x00 || count == 0x01 ? PowerMode::standby : PowerMode::activeOrIdle;
}

bool SgIoAtaDrive::supportsSmart(const DataBlock& identify) {
    const uint16_t commandSets = uint16_t(identify[2 * 82] | (identify[2 * 82 + 1] << 8));
    // 0 and FFFF mean the word was never filled in.
    if (commandSets == 0x0000 || commandSets == 0xFFFF) {
        return false;
    }
    return (commandSets & 0x0001) != 0;
}

AtaSmartReturn SgIoAtaDrive::returnForErrno(int error) {
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

AtaSmartReturn SgIoAtaDrive::execute(const AtaPassThroughCommand& command, DataBlock* data,
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
