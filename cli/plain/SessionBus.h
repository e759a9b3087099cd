#pragma once

#include "BusMessage.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// A connection to the session bus over its Unix socket, just enough for the
// one-shot client: authenticate as this user, send calls, take in replies.
// Whatever it does not know (another transport, another answer to the
// authentication) makes it fail, and the caller leaves the work to the
// Qt-based client.
class SessionBus {
public:
    using Clock = std::chrono::steady_clock;

    SessionBus() = default;
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    ~SessionBus();

    // The socket of the first address in DBUS_SESSION_BUS_ADDRESS's syntax
    // ("unix:path=…" or "unix:abstract=…"); nothing for any other.
    struct SocketAddress {
        std::string path;
        bool abstract = false;
    };
    static std::optional<SocketAddress> socketAddress(std::string_view address);

    // Connects and authenticates by the credentials the socket carries; the
    // first message sent must then be Hello.
    bool open(const SocketAddress& address, Clock::time_point deadline);
    bool send(std::string_view bytes, Clock::time_point deadline);

    enum class Received { message, timedOut, failed };
    // The next whole message; `failed` when the connection ends or brings
    // what cannot be a message this client reads.
    Received receive(BusMessage& message, Clock::time_point deadline);
    // The same without waiting, for a caller whose event loop watches the
    // socket: `timedOut` while no whole message has arrived.
    Received receiveNow(BusMessage& message);
    int descriptor() const { return socket; }

private:
    // The whole message at the front of what was read; nothing while it is
    // incomplete.
    std::optional<Received> takeWhole(BusMessage& message);
    // Appends what one read brings; false once the connection has ended.
    bool readAvailable(int flags);
    // Waits until the socket is readable (or writable); false past the deadline.
    bool wait(short events, Clock::time_point deadline);

    int socket = -1;
    std::string buffered;
};
