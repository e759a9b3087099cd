#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariant>
#include <atomic>

// The answer owed to one query call. A service may answer at once or later, from
// any thread; only the first answer is sent. If every copy of the service's reply
// goes away unanswered, the caller gets an error instead of waiting for its
// timeout.
class PendingBusReply {
public:
    PendingBusReply(const QDBusConnection& bus, const QDBusMessage& call);
    PendingBusReply(const PendingBusReply&) = delete;
    PendingBusReply& operator=(const PendingBusReply&) = delete;
    ~PendingBusReply();

    void answer(const QVariant& value);
    // Answers with the bus's generic failure instead.
    void fail(const QString& text);
    // Answers with the given error instead.
    void fail(QDBusError::ErrorType type, const QString& text);
    // Sends nothing, ever: the caller has left the bus.
    void abandon();

private:
    bool claim();

    QDBusConnection bus;
    QDBusMessage call;
    std::atomic<bool> answered{false};
};
