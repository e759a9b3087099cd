#pragma once

#include "ata/AtaSmartInterface.h"
#include "ata/DeviceNumber.h"
#include "ata/SmartReaderRequest.h"

#include <optional>
#include <string>
#include <string_view>

// The SMART reader's answer to one request, as it writes it on standard
// output: lines of ASCII words, each ending in a newline, in this order.
//   ondara-smart-reader 1          the format and its version
//   disk MAJOR:MINOR               the disk the index named
// then, when the disk's node did not open:
//   open CODE
// else for a read request:
//   power CODE [active|standby]    CHECK POWER MODE; the mode when CODE is 0
//   data CODE [HEX]                SMART READ DATA, only when the drive is not
//                                  resting; the block as 1024 hex digits when
//                                  CODE is 0
// and for a collect request:
//   collect CODE                   SMART EXECUTE OFF-LINE IMMEDIATE
// CODE is an AtaSmartReturn in eight lower-case hex digits.
class SmartReaderAnswer {
public:
    // Far above the longest answer (a read with its block, about 1.1 KB).
    static constexpr size_t largestText = 2048;

    struct Power {
        AtaSmartReturn result = AtaSmartReturnCode::success;
        AtaSmartInterface::PowerMode mode = AtaSmartInterface::PowerMode::activeOrIdle;
    };
    struct Data {
        AtaSmartReturn result = AtaSmartReturnCode::success;
        AtaSmartInterface::DataBlock block{};
    };

    DeviceNumber disk;
    // Set when the disk's node did not open (never success); nothing else follows.
    std::optional<AtaSmartReturn> open;
    std::optional<Power> power;
    std::optional<Data> data;
    std::optional<AtaSmartReturn> collect;

    // What the reader does for a request on an opened drive.
    static SmartReaderAnswer answer(SmartReaderRequest::Kind kind, DeviceNumber disk,
                                    AtaSmartInterface& drive);

    std::string text() const;
    // The answer to a request of the given kind; nothing for any text that
    // this format does not allow, bytes or order, or that is longer than
    // largestText.
    static std::optional<SmartReaderAnswer> parse(std::string_view text,
                                                  SmartReaderRequest::Kind kind);
};
