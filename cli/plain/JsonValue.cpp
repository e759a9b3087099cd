#include "JsonValue.h"

#include <charconv>
#include <cmath>

namespace {

void writeText(std::string& out, const std::string& text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void indent(std::string& out, int depth) {
    out.append(std::size_t(depth) * 4, ' ');
}

} // namespace

std::string JsonValue::realText(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    // Whole numbers a double holds exactly are written as integers.
    constexpr double exactLimit = 9007199254740992.0;
    if (value == std::trunc(value) && std::fabs(value) < exactLimit) {
        return std::to_string(std::int64_t(value));
    }
    // The shortest digits that read back as the same double, then whichever of
    // the decimal and the exponent form is shorter (the decimal form on a tie).
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string scientific(buffer, result.ptr);
    const bool negative = scientific[0] == '-';
    const std::size_t mantissaStart = negative ? 1 : 0;
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (std::size_t i = mantissaStart; i < e; ++i) {
        if (scientific[i] != '.') {
            digits += scientific[i];
        }
    }
    const int exponent = std::stoi(scientific.substr(e + 1));
    const int digitCount = int(digits.size());
    const int point = exponent + 1; // digits before the decimal point
    int bias = 4;                   // "e+" and two exponent digits
    if (digitCount <= point && digitCount > 1) {
        ++bias;
    } else if (digitCount == 1 && point <= 0) {
        --bias;
    }
    const bool decimal = point <= 0            ? 1 - point <= bias
                         : point <= digitCount ? 0 <= bias
                                               : point <= digitCount + bias;
    std::string text = negative ? "-" : "";
    if (decimal) {
        if (point <= 0) {
            text.append("0.").append(std::size_t(-point), '0').append(digits);
        } else if (point >= digitCount) {
            text.append(digits).append(std::size_t(point - digitCount), '0');
        } else {
            text.append(digits, 0, std::size_t(point))
                .append(1, '.')
                .append(digits, std::size_t(point));
        }
        return text;
    }
    // Appended piece by piece: GCC 12 at -O3 takes a temporary joined with
    // operator+ here for an overlapping copy and fails the build.
    text.append(digits, 0, 1);
    if (digitCount > 1) {
        text.append(1, '.').append(digits, 1);
    }
    const int shown = point - 1;
    const std::string magnitude = std::to_string(std::abs(shown));
    text += shown < 0 ? "e-" : "e+";
    if (magnitude.size() < 2) {
        text += '0';
    }
    text += magnitude;
    return text;
}

std::string JsonValue::toJson(Layout layout) const {
    std::string out;
    write(out, layout, 0);
    if (layout == Layout::indented) {
        out += '\n';
    }
    return out;
}

void JsonValue::write(std::string& out, Layout layout, int depth) const {
    const bool compact = layout == Layout::compact;
    if (std::holds_alternative<std::nullptr_t>(value)) {
        out += "null";
    } else if (const bool* flag = std::get_if<bool>(&value)) {
        out += *flag ? "true" : "false";
    } else if (const std::int64_t* integer = std::get_if<std::int64_t>(&value)) {
        out += std::to_string(*integer);
    } else if (const double* real = std::get_if<double>(&value)) {
        out += realText(*real);
    } else if (const std::string* text = std::get_if<std::string>(&value)) {
        writeText(out, *text);
    } else if (const Array* array = std::get_if<Array>(&value)) {
        out += compact ? "[" : "[\n";
        for (std::size_t i = 0; i < array->size(); ++i) {
            if (!compact) {
                indent(out, depth + 1);
            }
            (*array)[i].write(out, layout, depth + 1);
            if (i + 1 < array->size()) {
                out += ',';
            }
            if (!compact) {
                out += '\n';
            }
        }
        if (!compact) {
            indent(out, depth);
        }
        out += ']';
    } else if (const Object* object = std::get_if<Object>(&value)) {
        out += compact ? "{" : "{\n";
        std::size_t left = object->size();
        for (const auto& [key, member] : *object) {
            if (!compact) {
                indent(out, depth + 1);
            }
            writeText(out, key);
            out += compact ? ":" : ": ";
            member.write(out, layout, depth + 1);
            if (--left > 0) {
                out += ',';
            }
            if (!compact) {
                out += '\n';
            }
        }
        if (!compact) {
            indent(out, depth);
        }
        out += '}';
    }
}
