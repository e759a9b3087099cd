#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

// A JSON value written the way the Qt-based programs have always written
// their documents: keys in order, four spaces an indentation level, integers
// and whole reals below 2^53 as integers, other reals in their shortest form,
// non-finite reals as null. Text is UTF-8.
class JsonValue {
public:
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue>;

    JsonValue() = default;
    JsonValue(bool value)
        : value(value) {}
    JsonValue(int value)
        : value(std::int64_t(value)) {}
    JsonValue(std::int64_t value)
        : value(value) {}
    JsonValue(double value)
        : value(value) {}
    JsonValue(std::string text)
        : value(std::move(text)) {}
    JsonValue(const char* text)
        : value(std::string(text)) {}
    JsonValue(Array array)
        : value(std::move(array)) {}
    JsonValue(Object object)
        : value(std::move(object)) {}

    enum class Layout { indented, compact };
    // The document; an indented one ends in a line break.
    std::string toJson(Layout layout) const;

    // A real as the documents write it ("15.54", "1e+21", "null").
    static std::string realText(double value);

private:
    void write(std::string& out, Layout layout, int depth) const;

    std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> value =
        nullptr;
};
