#include "ipc/DirectBusConnection.h"

#include "BusMessage.h"
#include "SessionBus.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The bus's own default, which QtDBus also waits when told -1.
constexpr int defaultTimeout = 25000;

QString noReply() {
    return QStringLiteral(
        "org.freedesktop.DBus.Error.NoReply: Did not receive a reply. Possible causes include: "
        "the remote application did not send a reply, the message bus security policy blocked "
        "the reply, the reply timeout expired, or the network connection was broken.");
}

QString disconnected() {
    return QStringLiteral("org.freedesktop.DBus.Error.Disconnected: Not connected to D-Bus server");
}

} // namespace

std::unique_ptr<DirectBusConnection> DirectBusConnection::open(std::string_view address,
                                                               int openMilliseconds) {
    const auto socket = SessionBus::socketAddress(address);
    if (!socket) {
        return nullptr;
    }
    auto bus = std::make_unique<SessionBus>();
    const auto deadline = Clock::now() + std::chrono::milliseconds(openMilliseconds);
    // Hello's answer (the unique name) is not needed: the calls that follow it
    // in the same stream are only read once the bus has taken it.
    if (!bus->open(*socket, deadline) ||
        !bus->send(BusMessage::methodCall(1, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                          "org.freedesktop.DBus", "Hello"),
                   deadline)) {
        return nullptr;
    }
    return std::unique_ptr<DirectBusConnection>(new DirectBusConnection(std::move(bus)));
}

DirectBusConnection::DirectBusConnection(std::unique_ptr<SessionBus> connected)
    : bus(std::move(connected))
    , readable(new QSocketNotifier(bus->descriptor(), QSocketNotifier::Read, this))
    , timer(new QTimer(this))
    , lastSerial(1) {
    timer->setSingleShot(true);
    connect(readable, &QSocketNotifier::activated, this, &DirectBusConnection::readAvailable);
    connect(timer, &QTimer::timeout, this, &DirectBusConnection::expire);
}

DirectBusConnection::~DirectBusConnection() {
    // The notifier goes before the socket it watches.
    delete readable;
}

bool DirectBusConnection::isConnected() const {
    return bus != nullptr;
}

bool DirectBusConnection::call(std::string_view destination, std::string_view path,
                               std::string_view interface, std::string_view member,
                               std::string_view signature, std::string_view body, int timeout,
                               Finished finished) {
    if (!bus) {
        return false;
    }
    do {
        ++lastSerial;
    } while (lastSerial == 0 || waiting.count(lastSerial) != 0);
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(timeout < 0 ? defaultTimeout : timeout);
    // Calls made in one pass of the event loop (the panel asks for three
    // kinds of readings at once) leave in one write, so the bus and the agent
    // wake once for them.
    if (outgoing.empty()) {
        QMetaObject::invokeMethod(this, &DirectBusConnection::flush, Qt::QueuedConnection);
    }
    outgoing +=
        BusMessage::methodCall(lastSerial, destination, path, interface, member, signature, body);
    waiting.emplace(lastSerial, Waiting{deadline, std::move(finished)});
    armTimer();
    return true;
}

void DirectBusConnection::flush() {
    if (!bus || outgoing.empty()) {
        return;
    }
    const std::string bytes = std::move(outgoing);
    outgoing.clear();
    if (!bus->send(bytes, Clock::now() + std::chrono::seconds(1))) {
        closeTransport();
        failAll(disconnected());
    }
}

void DirectBusConnection::armTimer() {
    if (waiting.empty()) {
        timer->stop();
        return;
    }
    const auto next = std::min_element(waiting.begin(), waiting.end(), [](auto& a, auto& b) {
                          return a.second.deadline < b.second.deadline;
                      })->second.deadline;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    timer->start(int(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
}

void DirectBusConnection::readAvailable() {
    const QPointer<DirectBusConnection> alive(this);
    while (bus) {
        BusMessage message;
        const SessionBus::Received received = bus->receiveNow(message);
        if (received == SessionBus::Received::timedOut) {
            break;
        }
        if (received == SessionBus::Received::failed) {
            closeTransport();
            failAll(disconnected());
            return;
        }
        // Signals (NameAcquired), calls to this connection and answers to
        // nothing asked are not for this client.
        const bool answer = message.type == BusMessage::Type::methodReturn ||
                            message.type == BusMessage::Type::error;
        const auto found = answer ? waiting.find(message.replySerial) : waiting.end();
        if (found == waiting.end()) {
            continue;
        }
        const Finished finished = std::move(found->second.finished);
        waiting.erase(found);
        if (message.type == BusMessage::Type::error) {
            finished(nullptr, QString::fromStdString(message.errorName) + QStringLiteral(": ") +
                                  QString::fromStdString(message.text().value_or(std::string())));
        } else {
            finished(&message, QString());
        }
        if (!alive) {
            return;
        }
    }
    armTimer();
}

void DirectBusConnection::expire() {
    const QPointer<DirectBusConnection> alive(this);
    const auto now = Clock::now();
    std::vector<Finished> late;
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->second.deadline <= now) {
            late.push_back(std::move(it->second.finished));
            it = waiting.erase(it);
        } else {
            ++it;
        }
    }
    for (const Finished& finished : late) {
        finished(nullptr, noReply());
        if (!alive) {
            return;
        }
    }
    armTimer();
}

void DirectBusConnection::closeTransport() {
    // Likely called from the notifier's own signal: it goes once that returns.
    if (readable) {
        readable->setEnabled(false);
        readable->deleteLater();
        readable = nullptr;
    }
    bus.reset();
    outgoing.clear();
    timer->stop();
}

void DirectBusConnection::failAll(const QString& problem) {
    const QPointer<DirectBusConnection> alive(this);
    std::map<std::uint32_t, Waiting> ended;
    ended.swap(waiting);
    for (auto& [serial, call] : ended) {
        call.finished(nullptr, problem);
        if (!alive) {
            return;
        }
    }
}
