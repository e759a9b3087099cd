#include "OneShotReadings.h"

#include "ReadingsPrinter.h"
#include "SelectionLayouts.h"
#include "SessionBus.h"
#include "TerminalText.h"

#include <array>

namespace {

constexpr const char* service = "com.quillbank.OndaraHelper";
constexpr const char* objectPath = "/com/quillbank/OndaraHelper";
constexpr const char* protocol = "com.quillbank.OndaraHelperProtocol";

// Serials of the calls; the bus's Hello goes first.
enum Call : std::uint32_t {
    hello = 1,
    tempSensors,
    fanSensors,
    memSensors,
    sensorUnits,
    temperatureForSensors,
    rpmForFans,
    memoryUsage,
    callCount
};

enum class Wait { answered, timedOut, handOver };

// Takes in the replies to the calls from `first` to `last` in whatever order
// they come; signals (the bus's NameAcquired) pass by.
Wait awaitReplies(SessionBus& bus, std::uint32_t first, std::uint32_t last,
                  std::array<BusMessage, callCount>& replies,
                  SessionBus::Clock::time_point deadline) {
    std::uint32_t outstanding = last - first + 1;
    while (outstanding > 0) {
        BusMessage message;
        switch (bus.receive(message, deadline)) {
        case SessionBus::Received::timedOut:
            return Wait::timedOut;
        case SessionBus::Received::failed:
            return Wait::handOver;
        case SessionBus::Received::message:
            break;
        }
        if (message.type == BusMessage::Type::signal) {
            continue;
        }
        if (message.type != BusMessage::Type::methodReturn || message.replySerial < first ||
            message.replySerial > last ||
            replies[message.replySerial].type != BusMessage::Type::invalid) {
            return Wait::handOver;
        }
        replies[message.replySerial] = std::move(message);
        --outstanding;
    }
    return Wait::answered;
}

// Sends the calls from `first` to `last`, marshalled in `calls`, and takes in
// their replies.
Wait exchange(SessionBus& bus, const std::string& calls, std::uint32_t first, std::uint32_t last,
              std::array<BusMessage, callCount>& replies, SessionBus::Clock::time_point deadline) {
    return bus.send(calls, deadline) ? awaitReplies(bus, first, last, replies, deadline)
                                     : Wait::handOver;
}

std::string call(Call serial, const char* member, std::string_view signature = {},
                 std::string_view body = {}) {
    return BusMessage::methodCall(serial, service, objectPath, protocol, member, signature, body);
}

OneShotReadings::Outcome timedOut() {
    return {1, {}, "ondara-cli: cannot reach the Ondara agent: the agent did not answer in time\n"};
}

} // namespace

namespace OneShotReadings {

std::optional<Outcome> run(const char* busAddress, bool json, std::chrono::milliseconds timeout) {
    const auto address = busAddress ? SessionBus::socketAddress(busAddress) : std::nullopt;
    if (!address) {
        return std::nullopt;
    }
    const auto deadline = SessionBus::Clock::now() + timeout;
    SessionBus bus;
    if (!bus.open(*address, deadline)) {
        return std::nullopt;
    }
    const std::string first =
        BusMessage::methodCall(hello, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "Hello") +
        call(tempSensors, "tempSensors") + call(fanSensors, "fanSensors") +
        call(memSensors, "memSensors") + call(sensorUnits, "sensorUnits");
    std::array<BusMessage, callCount> replies;
    // A timeout is told as the Qt-based client tells it; anything else is its to tell.
    const auto unsettled = [](Wait wait) {
        return wait == Wait::timedOut ? std::optional(timedOut()) : std::nullopt;
    };
    if (const Wait wait = exchange(bus, first, hello, sensorUnits, replies, deadline);
        wait != Wait::answered) {
        return unsettled(wait);
    }
    const auto temperatures = replies[tempSensors].dictionary();
    const auto fans = replies[fanSensors].dictionary();
    const auto memory = replies[memSensors].dictionary();
    const auto units = replies[sensorUnits].integers();
    if (!temperatures || !fans || !memory || !units) {
        return std::nullopt;
    }
    ReadingsFigures figures;
    figures.temperatures = SelectionLayouts::temperatures(*temperatures);
    figures.fans = SelectionLayouts::fans(*fans);
    figures.memory = SelectionLayouts::memory(*memory);
    figures.units = *units;

    const ReadingsPrinter selection(figures, ReadingsScope::shown);
    const std::vector<std::uint32_t> codes = selection.sensorCodesToRead();
    const std::vector<int> fanNumbers = selection.fansToRead();
    const std::string second = call(temperatureForSensors, "temperatureForSensors", "au",
                                    BusMessage::integerArrayBody(codes)) +
                               call(rpmForFans, "rpmForFans", "ai",
                                    BusMessage::integerArrayBody(std::vector<std::uint32_t>(
                                        fanNumbers.begin(), fanNumbers.end()))) +
                               call(memoryUsage, "memoryUsage");
    if (const Wait wait =
            exchange(bus, second, temperatureForSensors, memoryUsage, replies, deadline);
        wait != Wait::answered) {
        return unsettled(wait);
    }
    const auto celsius = replies[temperatureForSensors].integers();
    const auto rpm = replies[rpmForFans].integers();
    const auto gibibytes = replies[memoryUsage].reals();
    if (!celsius || !rpm || !gibibytes) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < codes.size() && i < celsius->size(); ++i) {
        figures.celsius[codes[i]] = (*celsius)[i];
    }
    for (std::size_t i = 0; i < fanNumbers.size() && i < rpm->size(); ++i) {
        figures.rpm[fanNumbers[i]] = (*rpm)[i];
    }
    figures.gibibytes = *gibibytes;

    const ReadingsPrinter report(figures, ReadingsScope::shown);
    return Outcome{0,
                   TerminalText::printable(json ? report.json().toJson(JsonValue::Layout::indented)
                                                : report.text()),
                   {}};
}

} // namespace OneShotReadings
