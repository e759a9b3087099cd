#include "SessionBus.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A received authentication line longer than this is no answer of a bus.
constexpr std::size_t maximumLineLength = 512;

// The value of an address key, with its %xx escapes undone; nothing when an
// escape is malformed.
std::optional<std::string> unescaped(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            text += value[i];
            continue;
        }
        if (i + 2 >= value.size()) {
            return std::nullopt;
        }
        const auto digit = [](char c) -> int {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        const int high = digit(value[i + 1]);
        const int low = digit(value[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        text += char(high * 16 + low);
        i += 2;
    }
    return text;
}

} // namespace

SessionBus::~SessionBus() {
    if (socket >= 0) {
        ::close(socket);
    }
}

std::optional<SessionBus::SocketAddress> SessionBus::socketAddress(std::string_view address) {
    const std::string_view first = address.substr(0, address.find(';'));
    constexpr std::string_view transport = "unix:";
    if (first.substr(0, transport.size()) != transport) {
        return std::nullopt;
    }
    std::optional<SocketAddress> found;
    std::string_view rest = first.substr(transport.size());
    while (!rest.empty()) {
        const std::string_view pair = rest.substr(0, rest.find(','));
        rest = pair.size() < rest.size() ? rest.substr(pair.size() + 1) : std::string_view();
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view key = pair.substr(0, equals);
        if (key != "path" && key != "abstract") {
            // guid= names the server; anything else (tmpdir=, runtime=) is
            // for listening or not understood here.
            if (key == "guid") {
                continue;
            }
            return std::nullopt;
        }
        auto value = unescaped(pair.substr(equals + 1));
        if (!value || value->empty() || found || value->find('\0') != std::string::npos) {
            return std::nullopt;
        }
        found = SocketAddress{std::move(*value), key == "abstract"};
    }
    return found;
}

bool SessionBus::wait(short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) {
            return false;
        }
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, int(left.count()) + 1);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

bool SessionBus::open(const SocketAddress& address, Clock::time_point deadline) {
    sockaddr_un peer{};
    peer.sun_family = AF_UNIX;
    const std::size_t offset = address.abstract ? 1 : 0;
    if (address.path.size() + offset >= sizeof peer.sun_path) {
        return false;
    }
    std::memcpy(peer.sun_path + offset, address.path.data(), address.path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + address.path.size() +
                                  (offset ? 0 : 1));
    socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0 || ::connect(socket, reinterpret_cast<const sockaddr*>(&peer), length) != 0) {
        return false;
    }
    // EXTERNAL: the bus knows the user from the socket; the name given is the
    // user id in decimal, hex-encoded.
    static constexpr char hex[] = "0123456789abcdef";
    std::string request(1, '\0');
    request += "AUTH EXTERNAL ";
    for (const char c : std::to_string(::geteuid())) {
        request += hex[(c >> 4) & 0xF];
        request += hex[c & 0xF];
    }
    request += "\r\n";
    if (!send(request, deadline)) {
        return false;
    }
    std::string line;
    for (;;) {
        const std::size_t end = buffered.find("\r\n");
        if (end != std::string::npos) {
            line = buffered.substr(0, end);
            buffered.erase(0, end + 2);
            break;
        }
        if (buffered.size() > maximumLineLength || !wait(POLLIN, deadline)) {
            return false;
        }
        char chunk[512];
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got <= 0) {
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            return false;
        }
        buffered.append(chunk, std::size_t(got));
    }
    return line.rfind("OK ", 0) == 0 && buffered.empty() && send("BEGIN\r\n", deadline);
}

bool SessionBus::send(std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN && wait(POLLOUT, deadline)) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

std::optional<SessionBus::Received> SessionBus::takeWhole(BusMessage& message) {
    const auto size = BusMessage::sizeOf(buffered);
    if (size && *size == 0) {
        return Received::failed;
    }
    if (!size || buffered.size() < *size) {
        return std::nullopt;
    }
    auto parsed = BusMessage::parse(std::string_view(buffered).substr(0, *size));
    buffered.erase(0, *size);
    if (!parsed) {
        return Received::failed;
    }
    message = std::move(*parsed);
    return Received::message;
}

bool SessionBus::readAvailable(int flags) {
    char chunk[16384];
    const ssize_t got = ::recv(socket, chunk, sizeof chunk, flags);
    if (got < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (got == 0) {
        return false;
    }
    buffered.append(chunk, std::size_t(got));
    return true;
}

SessionBus::Received SessionBus::receive(BusMessage& message, Clock::time_point deadline) {
    for (;;) {
        if (const auto whole = takeWhole(message)) {
            return *whole;
        }
        if (!wait(POLLIN, deadline)) {
            return Clock::now() >= deadline ? Received::timedOut : Received::failed;
        }
        if (!readAvailable(0)) {
            return Received::failed;
        }
    }
}

SessionBus::Received SessionBus::receiveNow(BusMessage& message) {
    if (const auto whole = takeWhole(message)) {
        return *whole;
    }
    if (!readAvailable(MSG_DONTWAIT)) {
        return Received::failed;
    }
    return takeWhole(message).value_or(Received::timedOut);
}
