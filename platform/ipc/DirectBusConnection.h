#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class BusMessage;
class QSocketNotifier;
class QTimer;
class SessionBus;

// A bus connection of its own, read and written on this thread, for the few
// calls a client makes on every refresh. Through QtDBus each call and each
// answer is handed to the bus library's thread and back, which costs more
// than the call itself; here the call is written to the socket at once and
// the answer read where the event loop finds it. It speaks the wire code of
// the one-shot terminal client, so it needs no bus library of its own, and
// only what those calls need: method calls out, their answers back.
class DirectBusConnection : public QObject {
    Q_OBJECT
public:
    // Connects to the bus at `address` ("unix:path=…" or "unix:abstract=…"),
    // waiting at most `openMilliseconds` for it to take this user; nothing
    // for another transport or a bus that does not.
    static std::unique_ptr<DirectBusConnection> open(std::string_view address,
                                                     int openMilliseconds = 1000);
    ~DirectBusConnection() override;

    // reply is the method return, or null; problem is empty with a reply, and
    // otherwise one line, the bus error name and its message: the error
    // reply's, or a timeout's or the lost connection's, as QtDBus words them.
    using Finished = std::function<void(const BusMessage* reply, const QString& problem)>;

    // Sends a call once this pass of the event loop is done; finished runs
    // later on this thread, once, unless this object goes first. False, and
    // nothing sent, once the connection is gone. timeout in milliseconds, -1
    // for the bus's usual 25 s.
    bool call(std::string_view destination, std::string_view path, std::string_view interface,
              std::string_view member, std::string_view signature, std::string_view body,
              int timeout, Finished finished);

    bool isConnected() const;
    int callsInFlight() const { return int(waiting.size()); }

private:
    explicit DirectBusConnection(std::unique_ptr<SessionBus> bus);
    struct Waiting {
        std::chrono::steady_clock::time_point deadline;
        Finished finished;
    };
    void flush();
    void readAvailable();
    void expire();
    void armTimer();
    // Nothing more can arrive once the socket is closed; every call still
    // waiting then ends with `problem`.
    void closeTransport();
    void failAll(const QString& problem);

    std::unique_ptr<SessionBus> bus;
    QSocketNotifier* readable = nullptr;
    QTimer* timer = nullptr;
    std::map<std::uint32_t, Waiting> waiting;
    std::uint32_t lastSerial = 0;
    std::string outgoing;
};
