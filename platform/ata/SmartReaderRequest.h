#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What the SMART reader is asked to do: one of its two fixed requests for the
// disk with the given place among the machine's whole disks (WholeDisks):
//   read INDEX     CHECK POWER MODE, then SMART READ DATA unless the drive
//                  rests
//   collect INDEX  SMART EXECUTE OFF-LINE IMMEDIATE, off-line data collection
// The index is the only thing a caller chooses: no path, no device name, no
// command or register value ever comes from the command line.
struct SmartReaderRequest {
    enum class Kind { read, collect };

    Kind kind = Kind::read;
    size_t index = 0;

    // The arguments after the program name. Nothing for anything but one
    // request word and one plain decimal index of at most four digits (no
    // sign, blank, leading zero or further argument).
    static std::optional<SmartReaderRequest> parse(const std::vector<std::string>& arguments);
    std::vector<std::string> arguments() const;
    // The number of ATA commands the request may send.
    int commands() const { return kind == Kind::read ? 2 : 1; }
};
