#pragma once

#include "SensorRecords.h"

#include <QVariantList>
#include <QVariantMap>
#include <optional>

// The one reader and writer of the selection's property-list layouts, for the
// settings suite and the bus alike:
//   "TempSensors"    component → [name, code, position, ..., active]
//   "FanSensors"     fan number → [name, maximum speed, ..., active]
//   "MemSensors"     figure name → [position, ..., active]
//   "MachineSensors" component → [[code, key text, name, active, ...], ...]
//   "Sections" [3 integers], "Units" [2 integers]
//   the active answers: name → [code, position], name → [fan, maximum], name → index
// The flag of the first three is their last element, as the agent has always
// read it; a flag is true for a true boolean or a number other than 0.
//
// Decoding never fails as a whole: a value that is not an entry is kept as
// NotAnEntry. Writing an entry back starts from the array it was read from,
// so what was read and not changed comes out exactly as it went in.
class SensorRecordCodec {
public:
    SensorRecordCodec() = delete;

    // One value of a layout; nothing when it is not an entry.
    static std::optional<TemperatureEntry> temperatureEntry(const QString& component,
                                                            const QVariant& value);
    static std::optional<FanEntry> fanEntry(const QString& key, const QVariant& value);
    static std::optional<MemoryFigureEntry> memoryFigureEntry(const QString& name,
                                                              const QVariant& value);
    static std::optional<SensorCandidate> candidate(const QVariant& value);
    static std::optional<CandidateList> candidateList(const QString& component,
                                                      const QVariant& value);

    static QVariant toPropertyList(const TemperatureEntry& entry);
    static QVariant toPropertyList(const FanEntry& entry);
    static QVariant toPropertyList(const MemoryFigureEntry& entry);
    static QVariant toPropertyList(const SensorCandidate& candidate);
    static QVariant toPropertyList(const CandidateList& list);

    // Whole dictionaries.
    static EntryMap<TemperatureEntry> temperatures(const QVariantMap& dictionary);
    static EntryMap<FanEntry> fans(const QVariantMap& dictionary);
    static EntryMap<MemoryFigureEntry> memory(const QVariantMap& dictionary);
    static EntryMap<CandidateList> candidates(const QVariantMap& dictionary);
    static QVariantMap toPropertyList(const EntryMap<TemperatureEntry>& entries);
    static QVariantMap toPropertyList(const EntryMap<FanEntry>& entries);
    static QVariantMap toPropertyList(const EntryMap<MemoryFigureEntry>& entries);
    static QVariantMap toPropertyList(const EntryMap<CandidateList>& entries);

    // The active answers, in key order; values that are not entries are left out.
    static QList<ActiveTemperature> activeTemperatures(const QVariantMap& dictionary);
    static QList<ActiveFan> activeFans(const QVariantMap& dictionary);
    static QList<ActiveMemoryFigure> activeMemory(const QVariantMap& dictionary);
    static QVariantMap toPropertyList(const QList<ActiveTemperature>& active);
    static QVariantMap toPropertyList(const QList<ActiveFan>& active);
    static QVariantMap toPropertyList(const QList<ActiveMemoryFigure>& active);

    // "Sections" and "Units": exactly `count` integers, else nothing.
    static std::optional<QList<int>> integers(const QVariant& value, qsizetype count);
    static QVariantList toPropertyList(const QList<int>& integers);

    // The selection as the suite stores it, from its six keys ("TempSensors" ...
    // "Units"). Nothing when one of the four dictionaries is absent or of
    // another shape (not a dictionary of arrays; of arrays of arrays for
    // "MachineSensors"); "Sections" and "Units" fall back to their defaults.
    static std::optional<SensorSelection> storedSelection(const QVariantMap& keys);
    // The six keys.
    static QVariantMap toPropertyList(const SensorSelection& selection);

    // The answer of Sources: key text → {"backend", "chip", "device", "input",
    // "label", "inputs"}; only known fields are present.
    static SensorSources sources(const QVariantMap& dictionary);
    static QVariantMap toPropertyList(const SensorSources& sources);
};
