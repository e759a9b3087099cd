#include "ata/SmartReaderRequest.h"

namespace {
const char* const readWord = "read";
const char* const collectWord = "collect";
} // namespace

std::optional<SmartReaderRequest>
SmartReaderRequest::parse(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2) {
        return std::nullopt;
    }
    SmartReaderRequest request;
    if (arguments[0] == readWord) {
        request.kind = Kind::read;
    } else if (arguments[0] == collectWord) {
        request.kind = Kind::collect;
    } else {
        return std::nullopt;
    }
    const std::string& digits = arguments[1];
    if (digits.empty() || digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    size_t index = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        index = index * 10 + size_t(digit - '0');
    }
    request.index = index;
    return request;
}

std::vector<std::string> SmartReaderRequest::arguments() const {
    return {kind == Kind::read ? readWord : collectWord, std::to_string(index)};
}
