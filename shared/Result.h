#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

// What a call at a seam of the system gives back: its value, or the text of
// why there is none, fit to be shown to a person as it stands.
template <typename T> class Result {
public:
    Result(T value)
        : m_value(std::move(value)) {}
    static Result failure(QString error) {
        Result result;
        result.m_error = std::move(error);
        return result;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Empty when there is a value.
    const QString& error() const { return m_error; }

private:
    Result() = default;

    std::optional<T> m_value;
    QString m_error;
};

// A call that gives back nothing but whether it worked.
using Status = Result<std::monostate>;
inline Status succeeded() {
    return std::monostate{};
}
