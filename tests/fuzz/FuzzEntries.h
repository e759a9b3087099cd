#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The entry functions of the fuzz targets: each feeds one input to a reader of
// outside data the way the programs meet it, and aborts when a result breaks a
// promise the reader makes. libFuzzer calls them from FuzzerMain.cpp; the
// normal test run replays every seed corpus through the same functions.
using FuzzEntry = int (*)(const uint8_t* data, size_t size);

// Property lists, XML or binary: parsed, and what parses must write back as
// XML that parses again (the settings file is written that way).
int fuzzPropertyList(const uint8_t* data, size_t size);
// A machine profile as the agent's backends read it.
int fuzzMachineProfile(const uint8_t* data, size_t size);
// The settings file as the agent loads it and then answers and changes it.
int fuzzSettingsFile(const uint8_t* data, size_t size);
// A drive's SMART data block, the pass-through reply (status words and
// sense data) around it, and the SMART reader's answer.
int fuzzSmartData(const uint8_t* data, size_t size);
// The applesmc driver's sysfs files, as text the kernel could show.
int fuzzAppleSmcFiles(const uint8_t* data, size_t size);
// /proc/meminfo text.
int fuzzMeminfo(const uint8_t* data, size_t size);
// Values as QtDBus hands them over from a reply, converted into property-list
// values the way the clients do.
int fuzzDBusReply(const uint8_t* data, size_t size);

// The entry of a target name ("propertylist", "profile", "settings", "smart",
// "applesmc", "meminfo", "dbusreply"); null for an unknown name.
FuzzEntry fuzzEntry(const QString& target);
