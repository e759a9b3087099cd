#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <variant>

// The selection as typed records: what the agent keeps, stores in the
// settings suite and sends over the bus, and what the clients show. The
// property-list layouts of those places are read and written only by
// SensorRecordCodec; nothing else looks at element positions.
//
// A stored value that does not follow its layout is not an entry. It is kept
// as it came (NotAnEntry), so the agent writes it back and sends it on
// unchanged, and every reader skips it. An entry remembers the array it was
// read from, so writing it back changes only the fields that were changed.

// A value of a selection dictionary that is not an entry of its layout.
struct NotAnEntry {
    QVariant stored;
};

// "TempSensors": the chosen sensor of one component.
struct TemperatureEntry {
    // The name shown when the stored name is not text.
    static inline const QString unknownName = QStringLiteral("Unknown");

    QString component; // "CPU", "HDD" ...
    std::optional<QString> name;
    quint32 code = 0; // an SMC key code, or the drive's
    qlonglong position = 0;
    bool active = false;
    QVariantList stored; // the array it was read from; empty for a new entry

    QString key() const { return component; }
    QString displayName() const { return name.value_or(unknownName); }
};

// "FanSensors": one fan, keyed by its number in decimal.
struct FanEntry {
    static inline const QString unknownName = TemperatureEntry::unknownName;

    QString fanKey; // the dictionary key as stored ("0", "1" ...)
    int number = 0;
    std::optional<QString> name;
    std::optional<int> maxSpeed; // revolutions per minute; nothing when not a number
    bool active = false;
    QVariantList stored;

    QString key() const { return fanKey; }
    QString displayName() const { return name.value_or(unknownName); }
};

// "MemSensors": one of the seven memory figures.
struct MemoryFigureEntry {
    QString name; // "Total", "Used" ... "Compressed"
    qlonglong position = 0;
    bool active = false;
    QVariantList stored;

    QString key() const { return name; }
};

// One row of "MachineSensors": a sensor that could stand for its component.
struct SensorCandidate {
    quint32 code = 0;
    QString keyText; // the code's four characters, or "SMART"
    QString name;    // the catalogue name, words joined by "_"
    bool active = false;
    QVariantList stored;
};

// "MachineSensors": a component's candidates, hottest first when scanned.
// Rows that are not candidates keep their places.
struct CandidateList {
    QString component;
    QList<std::variant<SensorCandidate, NotAnEntry>> rows;

    QString key() const { return component; }
    // The rows that are candidates, in order.
    QList<SensorCandidate> candidates() const;
};

// A selection dictionary: entries by key, beside the values that are not.
template <typename Entry> class EntryMap {
public:
    using Value = std::variant<Entry, NotAnEntry>;

    // The entries in key order, without the values that are none.
    QList<Entry> entries() const {
        QList<Entry> list;
        for (const Value& value : values) {
            if (const Entry* entry = std::get_if<Entry>(&value)) {
                list.append(*entry);
            }
        }
        return list;
    }
    const Entry* find(const QString& key) const {
        const auto it = values.constFind(key);
        return it == values.cend() ? nullptr : std::get_if<Entry>(&*it);
    }
    Entry* find(const QString& key) {
        const auto it = values.find(key);
        return it == values.end() ? nullptr : std::get_if<Entry>(&*it);
    }
    void insert(const Entry& entry) { values.insert(entry.key(), entry); }
    void insertNotAnEntry(const QString& key, const QVariant& stored) {
        values.insert(key, NotAnEntry{stored});
    }
    bool contains(const QString& key) const { return values.contains(key); }
    // Counting the values that are not entries too.
    bool isEmpty() const { return values.isEmpty(); }
    qsizetype size() const { return values.size(); }
    QStringList keys() const { return values.keys(); }
    void clear() { values.clear(); }
    const QMap<QString, Value>& all() const { return values; }

private:
    QMap<QString, Value> values;
};

// The agent's answers of activeTempSensors, activeFanSensors and
// activeMemSensors: what the widget shows, keyed by the name it shows.
struct ActiveTemperature {
    QString name;
    quint32 code = 0;
    qlonglong position = 0;
};
struct ActiveFan {
    QString name;
    int number = 0;
    int maxSpeed = 0;
};
struct ActiveMemoryFigure {
    QString name;
    qlonglong index = 0; // into the answer of memoryUsage
};

// The user's whole selection, as the agent keeps it.
struct SensorSelection {
    static inline const QList<int> defaultSections{1, 1, 1};
    static inline const QList<int> defaultUnits{0, 0};

    EntryMap<TemperatureEntry> temperatures;      // "TempSensors"
    EntryMap<FanEntry> fans;                      // "FanSensors"
    EntryMap<MemoryFigureEntry> memory;           // "MemSensors"
    EntryMap<CandidateList> candidates;           // "MachineSensors"
    QList<int> visibleSections = defaultSections; // [temperatures, fans, memory], 1 shown
    QList<int> units = defaultUnits;              // [0 Celsius / 1 Fahrenheit, 0 rpm / 1 percent]

    // The active entries as the agent answers them. Two entries showing the
    // same name leave the one met last.
    QList<ActiveTemperature> activeTemperatures() const;
    QList<ActiveFan> activeFans() const;
    QList<ActiveMemoryFigure> activeMemory() const;
};

// What stands behind a key on this machine ("com.quillbank.OndaraHelper.Sources1").
struct SensorSource {
    QString backend; // "applesmc", "hwmon", "profile", "sgio"
    QString chip;    // the rest as far as the backend knows
    QString device;  // the chip's device path
    QString input;   // "temp2"
    QString label;
    // More than one input: the key answers the hottest of them.
    QList<SensorSource> inputs;

    // For people: `coretemp (coretemp.0) temp2 "Core 0"`, `hottest of ...`;
    // the backend's name when nothing more is known.
    QString description() const;
    // The key of fan n in the answer: "fan:0".
    static QString fanKey(int number) { return QStringLiteral("fan:%1").arg(number); }
};
using SensorSources = QMap<QString, SensorSource>;
