#pragma once

#include <chrono>
#include <optional>
#include <string>

// The readings of what the user chose to show, asked of the agent over a bus
// connection of this process's own and printed as text or JSON, byte for byte
// as the Qt-based client prints them. It knows only the way things go when
// they go well: anything unusual (no session bus of a known kind, an error
// reply, an answer outside the contract) ends it before anything is printed,
// and the Qt-based client, which knows every case, is asked to do the work.
namespace OneShotReadings {

struct Outcome {
    int status = 0;
    std::string output; // for standard output
    std::string errors; // for standard error
};

// Nothing when the Qt-based client must take over; `busAddress` is the
// session bus's address, `timeout` bounds the whole exchange.
std::optional<Outcome> run(const char* busAddress, bool json, std::chrono::milliseconds timeout);

} // namespace OneShotReadings
