#include "ata/SmartReaderAnswer.h"

#include <array>
#include <cstdio>
#include <vector>

namespace {
constexpr std::string_view header = "ondara-smart-reader 1";
constexpr std::string_view hexDigits = "0123456789abcdef";

std::string code(AtaSmartReturn result) {
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%08x", unsigned(result));
    return text.data();
}

std::optional<uint32_t> hexNumber(std::string_view text) {
    if (text.size() != 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char digit : text) {
        const size_t at = hexDigits.find(digit);
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        value = value << 4 | uint32_t(at);
    }
    return value;
}

std::optional<AtaSmartInterface::DataBlock> hexBlock(std::string_view text) {
    AtaSmartInterface::DataBlock block{};
    if (text.size() != 2 * block.size()) {
        return std::nullopt;
    }
    for (size_t at = 0; at < block.size(); ++at) {
        const size_t high = hexDigits.find(text[2 * at]);
        const size_t low = hexDigits.find(text[2 * at + 1]);
        if (high == std::string_view::npos || low == std::string_view::npos) {
            return std::nullopt;
        }
        block[at] = uint8_t(high << 4 | low);
    }
    return block;
}

// The words of one line: a keyword, a result code and at most one value.
struct Line {
    std::string_view keyword;
    std::string_view first;
    std::optional<std::string_view> value;
};

std::optional<Line> splitLine(std::string_view line) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    Line split{line.substr(0, space), line.substr(space + 1), std::nullopt};
    const size_t second = split.first.find(' ');
    if (second != std::string_view::npos) {
        split.value = split.first.substr(second + 1);
        split.first = split.first.substr(0, second);
        if (split.value->find(' ') != std::string_view::npos) {
            return std::nullopt;
        }
    }
    return split;
}

// A result code, with a value exactly when the code is success and the line
// carries one.
std::optional<AtaSmartReturn> result(const Line& line, std::string_view keyword,
                                     bool valueOnSuccess) {
    if (line.keyword != keyword) {
        return std::nullopt;
    }
    const auto number = hexNumber(line.first);
    if (!number) {
        return std::nullopt;
    }
    const AtaSmartReturn parsed = AtaSmartReturn(*number);
    const bool wantsValue = valueOnSuccess && parsed == AtaSmartReturnCode::success;
    if (wantsValue != line.value.has_value()) {
        return std::nullopt;
    }
    return parsed;
}
} // namespace

SmartReaderAnswer SmartReaderAnswer::answer(SmartReaderRequest::Kind kind, DeviceNumber disk,
                                            AtaSmartInterface& drive) {
    SmartReaderAnswer answer;
    answer.disk = disk;
    if (kind == SmartReaderRequest::Kind::collect) {
        answer.collect = drive.executeOffLineImmediate(false);
        return answer;
    }
    Power power;
    power.result = drive.checkPowerMode(&power.mode);
    answer.power = power;
    if (!AtaSmartInterface::isResting(power.result, power.mode)) {
        Data data;
        data.result = drive.readData(&data.block);
        answer.data = data;
    }
    return answer;
}

std::string SmartReaderAnswer::text() const {
    std::string text = std::string(header) + "\ndisk " + disk.text() + '\n';
    if (open) {
        return text + "open " + code(*open) + '\n';
    }
    if (power) {
        text += "power " + code(power->result);
        if (power->result == AtaSmartReturnCode::success) {
            text += power->mode == AtaSmartInterface::PowerMode::standby ? " standby" : " active";
        }
        text += '\n';
    }
    if (data) {
        text += "data " + code(data->result);
        if (data->result == AtaSmartReturnCode::success) {
            text += ' ';
            for (const uint8_t byte : data->block) {
                text += hexDigits[byte >> 4];
                text += hexDigits[byte & 0xF];
            }
        }
        text += '\n';
    }
    if (collect) {
        text += "collect " + code(*collect) + '\n';
    }
    return text;
}

std::optional<SmartReaderAnswer> SmartReaderAnswer::parse(std::string_view text,
                                                          SmartReaderRequest::Kind kind) {
    if (text.size() > largestText || text.empty() || text.back() != '\n') {
        return std::nullopt;
    }
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines[0] != header) {
        return std::nullopt;
    }
    SmartReaderAnswer answer;
    const auto diskLine = splitLine(lines[1]);
    if (!diskLine || diskLine->keyword != "disk" || diskLine->value) {
        return std::nullopt;
    }
    const auto disk = DeviceNumber::parse(diskLine->first);
    if (!disk) {
        return std::nullopt;
    }
    answer.disk = *disk;

    std::vector<Line> steps;
    for (size_t at = 2; at < lines.size(); ++at) {
        const auto line = splitLine(lines[at]);
        if (!line) {
            return std::nullopt;
        }
        steps.push_back(*line);
    }
    if (steps[0].keyword == "open") {
        const auto opened = result(steps[0], "open", false);
        if (!opened || *opened == AtaSmartReturnCode::success || steps.size() != 1) {
            return std::nullopt;
        }
        answer.open = *opened;
        return answer;
    }
    if (kind == SmartReaderRequest::Kind::collect) {
        const auto collected = result(steps[0], "collect", false);
        if (!collected || steps.size() != 1) {
            return std::nullopt;
        }
        answer.collect = *collected;
        return answer;
    }

    const auto asked = result(steps[0], "power", true);
    if (!asked) {
        return std::nullopt;
    }
    Power power{*asked, AtaSmartInterface::PowerMode::activeOrIdle};
    if (steps[0].value) {
        if (*steps[0].value == "standby") {
            power.mode = AtaSmartInterface::PowerMode::standby;
        } else if (*steps[0].value != "active") {
            return std::nullopt;
        }
    }
    answer.power = power;
    // The data line is there exactly when the reader was to read.
    const bool read = !AtaSmartInterface::isResting(power.result, power.mode);
    if (steps.size() != (read ? 2u : 1u)) {
        return std::nullopt;
    }
    if (read) {
        const auto readResult = result(steps[1], "data", true);
        if (!readResult) {
            return std::nullopt;
        }
        Data data{*readResult, {}};
        if (steps[1].value) {
            const auto block = hexBlock(*steps[1].value);
            if (!block) {
                return std::nullopt;
            }
            data.block = *block;
        }
        answer.data = data;
    }
    return answer;
}
