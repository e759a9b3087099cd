#include "SensorRecordCodec.h"

#include "OndaraNames.h"
#include "PropertyList.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

namespace Keys = OndaraNames::Keys;

constexpr qlonglong maximumCode = std::numeric_limits<quint32>::max();
constexpr qlonglong maximumInt = std::numeric_limits<int>::max();
constexpr qlonglong minimumInt = std::numeric_limits<int>::min();

// Layout lengths: the named fields with the flag.
constexpr qsizetype temperatureLength = 4;
constexpr qsizetype fanLength = 3;
constexpr qsizetype memoryLength = 2;
constexpr qsizetype candidateLength = 4;

bool flagOf(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    return PropertyList::isNumber(value) && value.toDouble() != 0;
}

std::optional<QString> textOf(const QVariant& value) {
    return value.typeId() == QMetaType::QString ? std::optional(value.toString()) : std::nullopt;
}

std::optional<quint32> codeOf(const QVariant& value) {
    const auto number = PropertyList::integerIn(value, 0, maximumCode);
    return number ? std::optional(quint32(*number)) : std::nullopt;
}

// A maximum speed: any number, brought into int's range (fractions dropped).
std::optional<int> speedOf(const QVariant& value) {
    if (PropertyList::isInteger(value)) {
        return int(std::clamp(value.toLongLong(), minimumInt, maximumInt));
    }
    if (PropertyList::isNumber(value) && !std::isnan(value.toDouble())) {
        return int(
            std::clamp(std::trunc(value.toDouble()), double(minimumInt), double(maximumInt)));
    }
    return std::nullopt;
}

// A dictionary key that is a fan number: decimal digits only.
std::optional<int> fanNumberOf(const QString& key) {
    if (key.isEmpty() || key.size() > 9) {
        return std::nullopt;
    }
    for (QChar c : key) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    return key.toInt();
}

// Writes an entry's fields into the array it was read from. A field is
// written only when the array did not hold it already, so untouched values
// keep their stored form; `was` is what the array decodes to (nothing for a
// new entry, which starts as an array of the layout's length).
class ArrayWriter {
public:
    ArrayWriter(const QVariantList& stored, bool decoded, qsizetype length)
        : list(decoded ? stored : QVariantList(length, QString())) {}

    template <typename T> void put(qsizetype index, bool changed, const T& value) {
        if (changed) {
            list[index] = QVariant::fromValue(value);
        }
    }
    void putFlag(bool changed, bool value) { put(list.size() - 1, changed, value); }
    QVariantList result() const { return list; }

private:
    QVariantList list;
};

// Decodes every value of a dictionary: `keep` gets the entries, `skip` the
// key and value of each that is none.
template <typename Decode, typename Keep, typename Skip>
void decodeEach(const QVariantMap& dictionary, Decode decode, Keep keep, Skip skip) {
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        if (auto entry = decode(it.key(), it.value())) {
            keep(*entry);
        } else {
            skip(it.key(), it.value());
        }
    }
}

template <typename Entry, typename Decode>
EntryMap<Entry> decodeMap(const QVariantMap& dictionary, Decode decode) {
    EntryMap<Entry> entries;
    decodeEach(
        dictionary, decode, [&entries](const Entry& entry) { entries.insert(entry); },
        [&entries](const QString& key, const QVariant& value) {
            entries.insertNotAnEntry(key, value);
        });
    return entries;
}

template <typename Entry> QVariantMap encodeMap(const EntryMap<Entry>& entries) {
    QVariantMap dictionary;
    const auto& all = entries.all();
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        const auto* entry = std::get_if<Entry>(&it.value());
        dictionary.insert(it.key(), entry ? SensorRecordCodec::toPropertyList(*entry)
                                          : std::get<NotAnEntry>(it.value()).stored);
    }
    return dictionary;
}

template <typename Active, typename Decode>
QList<Active> decodeActive(const QVariantMap& dictionary, Decode decode) {
    QList<Active> active;
    decodeEach(
        dictionary, decode, [&active](const Active& entry) { active.append(entry); },
        [](const QString&, const QVariant&) {});
    return active;
}

template <typename Active, typename Encode>
QVariantMap encodeActive(const QList<Active>& active, Encode encode) {
    QVariantMap dictionary;
    for (const Active& entry : active) {
        dictionary.insert(entry.name, encode(entry));
    }
    return dictionary;
}

// An active answer's pair of integers, each in its range.
std::optional<std::pair<qlonglong, qlonglong>> integerPair(const QVariant& value,
                                                           std::pair<qlonglong, qlonglong> first,
                                                           std::pair<qlonglong, qlonglong> second) {
    const auto pair = PropertyList::arrayOf(value, 2);
    const auto a =
        pair ? PropertyList::integerIn(pair->at(0), first.first, first.second) : std::nullopt;
    const auto b =
        pair ? PropertyList::integerIn(pair->at(1), second.first, second.second) : std::nullopt;
    if (!a || !b) {
        return std::nullopt;
    }
    return std::pair(*a, *b);
}

// A dictionary whose every value is an array (and, one level deeper, an
// array of arrays when `nested`).
std::optional<QVariantMap> dictionaryOfArrays(const QVariant& value, bool nested) {
    if (!PropertyList::isDictionary(value)) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    for (const QVariant& entry : map) {
        if (!PropertyList::isArray(entry)) {
            return std::nullopt;
        }
        if (nested) {
            for (const QVariant& inner : entry.toList()) {
                if (!PropertyList::isArray(inner)) {
                    return std::nullopt;
                }
            }
        }
    }
    return map;
}

QString inputText(const SensorSource& source) {
    return source.label.isEmpty() ? source.input
                                  : QStringLiteral("%1 \"%2\"").arg(source.input, source.label);
}

// The chip, or the backend when it names no chip, with the device's name.
QString chipText(const SensorSource& source) {
    const QString name = source.chip.isEmpty() ? source.backend : source.chip;
    const QString device = QFileInfo(source.device).fileName();
    return device.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, device);
}

QVariantMap sourceToMap(const SensorSource& source) {
    QVariantMap map{{QStringLiteral("backend"), source.backend}};
    const std::pair<const char*, const QString*> fields[] = {{"chip", &source.chip},
                                                             {"device", &source.device},
                                                             {"input", &source.input},
                                                             {"label", &source.label}};
    for (const auto& [name, value] : fields) {
        if (!value->isEmpty()) {
            map.insert(QString::fromLatin1(name), *value);
        }
    }
    if (!source.inputs.isEmpty()) {
        QVariantList inputs;
        for (const SensorSource& input : source.inputs) {
            inputs.append(sourceToMap(input));
        }
        map.insert(QStringLiteral("inputs"), inputs);
    }
    return map;
}

std::optional<SensorSource> sourceFromMap(const QVariant& value, int depth) {
    if (!PropertyList::isDictionary(value) || depth > 1) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    const auto text = [&map](const char* name) {
        return textOf(map.value(QString::fromLatin1(name))).value_or(QString());
    };
    SensorSource source{text("backend"), text("chip"),  text("device"),
                        text("input"),   text("label"), {}};
    if (source.backend.isEmpty()) {
        return std::nullopt;
    }
    for (const QVariant& input :
         PropertyList::arrayOf(map.value(QStringLiteral("inputs"))).value_or(QVariantList())) {
        if (auto decoded = sourceFromMap(input, depth + 1)) {
            source.inputs.append(*decoded);
        }
    }
    return source;
}

} // namespace

QList<SensorCandidate> CandidateList::candidates() const {
    QList<SensorCandidate> list;
    for (const auto& row : rows) {
        if (const auto* candidate = std::get_if<SensorCandidate>(&row)) {
            list.append(*candidate);
        }
    }
    return list;
}

QList<ActiveTemperature> SensorSelection::activeTemperatures() const {
    QList<ActiveTemperature> active;
    for (const TemperatureEntry& entry : temperatures.entries()) {
        if (entry.active) {
            active.append({entry.displayName(), entry.code, entry.position});
        }
    }
    return active;
}

QList<ActiveFan> SensorSelection::activeFans() const {
    QList<ActiveFan> active;
    for (const FanEntry& entry : fans.entries()) {
        if (entry.active) {
            active.append({entry.displayName(), entry.number, entry.maxSpeed.value_or(0)});
        }
    }
    return active;
}

QList<ActiveMemoryFigure> SensorSelection::activeMemory() const {
    QList<ActiveMemoryFigure> active;
    for (const MemoryFigureEntry& entry : memory.entries()) {
        if (entry.active) {
            active.append({entry.name, entry.position});
        }
    }
    return active;
}

QString SensorSource::description() const {
    if (!inputs.isEmpty()) {
        // Inputs of one chip follow its name once: coretemp (coretemp.0) temp2
        // "Core 0", temp3 "Core 1"; coretemp (coretemp.1) ...
        QString text = QStringLiteral("hottest of ");
        const SensorSource* chip = nullptr;
        for (const SensorSource& input : inputs) {
            if (chip && chip->chip == input.chip && chip->device == input.device) {
                text += QStringLiteral(", ") + inputText(input);
            } else {
                text += (chip ? QStringLiteral("; ") : QString()) + input.description();
                chip = &input;
            }
        }
        return text;
    }
    return input.isEmpty() ? chipText(*this)
                           : QStringLiteral("%1 %2").arg(chipText(*this), inputText(*this));
}

std::optional<TemperatureEntry> SensorRecordCodec::temperatureEntry(const QString& component,
                                                                    const QVariant& value) {
    const auto list = PropertyList::arrayOf(value, temperatureLength);
    const auto code = list ? codeOf(list->at(1)) : std::nullopt;
    const auto position = list ? PropertyList::integerIn(list->at(2)) : std::nullopt;
    if (!code || !position) {
        return std::nullopt;
    }
    return TemperatureEntry{component, textOf(list->at(0)),  *code,
                            *position, flagOf(list->last()), *list};
}

std::optional<FanEntry> SensorRecordCodec::fanEntry(const QString& key, const QVariant& value) {
    const auto number = fanNumberOf(key);
    const auto list = PropertyList::arrayOf(value, fanLength);
    if (!number || !list) {
        return std::nullopt;
    }
    return FanEntry{key,  *number, textOf(list->at(0)), speedOf(list->at(1)), flagOf(list->last()),
                    *list};
}

std::optional<MemoryFigureEntry> SensorRecordCodec::memoryFigureEntry(const QString& name,
                                                                      const QVariant& value) {
    const auto list = PropertyList::arrayOf(value, memoryLength);
    const auto position = list ? PropertyList::integerIn(list->at(0)) : std::nullopt;
    if (!position) {
        return std::nullopt;
    }
    return MemoryFigureEntry{name, *position, flagOf(list->last()), *list};
}

std::optional<SensorCandidate> SensorRecordCodec::candidate(const QVariant& value) {
    const auto list = PropertyList::arrayOf(value, candidateLength);
    const auto code = list ? codeOf(list->at(0)) : std::nullopt;
    if (!code) {
        return std::nullopt;
    }
    return SensorCandidate{*code, textOf(list->at(1)).value_or(QString()),
                           textOf(list->at(2)).value_or(QString()), flagOf(list->at(3)), *list};
}

std::optional<CandidateList> SensorRecordCodec::candidateList(const QString& component,
                                                              const QVariant& value) {
    if (!PropertyList::isArray(value)) {
        return std::nullopt;
    }
    CandidateList list{component, {}};
    for (const QVariant& row : value.toList()) {
        if (auto decoded = candidate(row)) {
            list.rows.append(*decoded);
        } else {
            list.rows.append(NotAnEntry{row});
        }
    }
    return list;
}

QVariant SensorRecordCodec::toPropertyList(const TemperatureEntry& entry) {
    const auto was = temperatureEntry(entry.component, entry.stored);
    ArrayWriter list(entry.stored, was.has_value(), temperatureLength);
    list.put(0, !was || was->name != entry.name, entry.name.value_or(QString()));
    list.put(1, !was || was->code != entry.code, qlonglong(entry.code));
    list.put(2, !was || was->position != entry.position, entry.position);
    list.putFlag(!was || was->active != entry.active, entry.active);
    return list.result();
}

QVariant SensorRecordCodec::toPropertyList(const FanEntry& entry) {
    const auto was = fanEntry(entry.fanKey, entry.stored);
    ArrayWriter list(entry.stored, was.has_value(), fanLength);
    list.put(0, !was || was->name != entry.name, entry.name.value_or(QString()));
    list.put(1, !was || was->maxSpeed != entry.maxSpeed, qlonglong(entry.maxSpeed.value_or(0)));
    list.putFlag(!was || was->active != entry.active, entry.active);
    return list.result();
}

QVariant SensorRecordCodec::toPropertyList(const MemoryFigureEntry& entry) {
    const auto was = memoryFigureEntry(entry.name, entry.stored);
    ArrayWriter list(entry.stored, was.has_value(), memoryLength);
    list.put(0, !was || was->position != entry.position, entry.position);
    list.putFlag(!was || was->active != entry.active, entry.active);
    return list.result();
}

QVariant SensorRecordCodec::toPropertyList(const SensorCandidate& entry) {
    const auto was = candidate(entry.stored);
    ArrayWriter list(entry.stored, was.has_value(), candidateLength);
    list.put(0, !was || was->code != entry.code, qlonglong(entry.code));
    list.put(1, !was || was->keyText != entry.keyText, entry.keyText);
    list.put(2, !was || was->name != entry.name, entry.name);
    // A candidate's flag is its element 3, not its last.
    list.put(3, !was || was->active != entry.active, entry.active);
    return list.result();
}

QVariant SensorRecordCodec::toPropertyList(const CandidateList& list) {
    QVariantList rows;
    rows.reserve(list.rows.size());
    for (const auto& row : list.rows) {
        const auto* entry = std::get_if<SensorCandidate>(&row);
        rows.append(entry ? toPropertyList(*entry) : std::get<NotAnEntry>(row).stored);
    }
    return rows;
}

EntryMap<TemperatureEntry> SensorRecordCodec::temperatures(const QVariantMap& dictionary) {
    return decodeMap<TemperatureEntry>(dictionary, &SensorRecordCodec::temperatureEntry);
}

EntryMap<FanEntry> SensorRecordCodec::fans(const QVariantMap& dictionary) {
    return decodeMap<FanEntry>(dictionary, &SensorRecordCodec::fanEntry);
}

EntryMap<MemoryFigureEntry> SensorRecordCodec::memory(const QVariantMap& dictionary) {
    return decodeMap<MemoryFigureEntry>(dictionary, &SensorRecordCodec::memoryFigureEntry);
}

EntryMap<CandidateList> SensorRecordCodec::candidates(const QVariantMap& dictionary) {
    return decodeMap<CandidateList>(dictionary, &SensorRecordCodec::candidateList);
}

QVariantMap SensorRecordCodec::toPropertyList(const EntryMap<TemperatureEntry>& entries) {
    return encodeMap(entries);
}

QVariantMap SensorRecordCodec::toPropertyList(const EntryMap<FanEntry>& entries) {
    return encodeMap(entries);
}

QVariantMap SensorRecordCodec::toPropertyList(const EntryMap<MemoryFigureEntry>& entries) {
    return encodeMap(entries);
}

QVariantMap SensorRecordCodec::toPropertyList(const EntryMap<CandidateList>& entries) {
    return encodeMap(entries);
}

QList<ActiveTemperature> SensorRecordCodec::activeTemperatures(const QVariantMap& dictionary) {
    return decodeActive<ActiveTemperature>(
        dictionary, [](const QString& name, const QVariant& value) {
            const auto pair = integerPair(
                value, {0, maximumCode},
                {std::numeric_limits<qlonglong>::min(), std::numeric_limits<qlonglong>::max()});
            return pair ? std::optional(ActiveTemperature{name, quint32(pair->first), pair->second})
                        : std::nullopt;
        });
}

QList<ActiveFan> SensorRecordCodec::activeFans(const QVariantMap& dictionary) {
    return decodeActive<ActiveFan>(dictionary, [](const QString& name, const QVariant& value) {
        const auto pair = integerPair(value, {0, maximumInt}, {minimumInt, maximumInt});
        return pair ? std::optional(ActiveFan{name, int(pair->first), int(pair->second)})
                    : std::nullopt;
    });
}

QList<ActiveMemoryFigure> SensorRecordCodec::activeMemory(const QVariantMap& dictionary) {
    return decodeActive<ActiveMemoryFigure>(
        dictionary, [](const QString& name, const QVariant& value) {
            const auto index = PropertyList::integerIn(value, 0, maximumCode);
            return index ? std::optional(ActiveMemoryFigure{name, *index}) : std::nullopt;
        });
}

QVariantMap SensorRecordCodec::toPropertyList(const QList<ActiveTemperature>& active) {
    return encodeActive(active, [](const ActiveTemperature& entry) {
        return QVariantList{qlonglong(entry.code), entry.position};
    });
}

QVariantMap SensorRecordCodec::toPropertyList(const QList<ActiveFan>& active) {
    return encodeActive(active, [](const ActiveFan& entry) {
        return QVariantList{qlonglong(entry.number), qlonglong(entry.maxSpeed)};
    });
}

QVariantMap SensorRecordCodec::toPropertyList(const QList<ActiveMemoryFigure>& active) {
    return encodeActive(active, [](const ActiveMemoryFigure& entry) { return entry.index; });
}

std::optional<QList<int>> SensorRecordCodec::integers(const QVariant& value, qsizetype count) {
    const auto list = PropertyList::arrayOf(value);
    if (!list || list->size() != count) {
        return std::nullopt;
    }
    QList<int> numbers;
    numbers.reserve(count);
    for (const QVariant& element : *list) {
        if (!PropertyList::isInteger(element)) {
            return std::nullopt;
        }
        numbers.append(int(element.toLongLong()));
    }
    return numbers;
}

QVariantList SensorRecordCodec::toPropertyList(const QList<int>& integers) {
    QVariantList list;
    list.reserve(integers.size());
    for (int number : integers) {
        list.append(qlonglong(number));
    }
    return list;
}

std::optional<SensorSelection> SensorRecordCodec::storedSelection(const QVariantMap& keys) {
    const auto temps = dictionaryOfArrays(keys.value(Keys::tempSensors), false);
    const auto fanList = dictionaryOfArrays(keys.value(Keys::fanSensors), false);
    const auto mem = dictionaryOfArrays(keys.value(Keys::memSensors), false);
    const auto machine = dictionaryOfArrays(keys.value(Keys::machineSensors), true);
    if (!temps || !fanList || !mem || !machine) {
        return std::nullopt;
    }
    SensorSelection selection;
    selection.temperatures = temperatures(*temps);
    selection.fans = fans(*fanList);
    selection.memory = memory(*mem);
    selection.candidates = candidates(*machine);
    selection.visibleSections =
        integers(keys.value(Keys::sections), SensorSelection::defaultSections.size())
            .value_or(SensorSelection::defaultSections);
    selection.units = integers(keys.value(Keys::units), SensorSelection::defaultUnits.size())
                          .value_or(SensorSelection::defaultUnits);
    return selection;
}

QVariantMap SensorRecordCodec::toPropertyList(const SensorSelection& selection) {
    return {{Keys::tempSensors, toPropertyList(selection.temperatures)},
            {Keys::fanSensors, toPropertyList(selection.fans)},
            {Keys::memSensors, toPropertyList(selection.memory)},
            {Keys::machineSensors, toPropertyList(selection.candidates)},
            {Keys::sections, toPropertyList(selection.visibleSections)},
            {Keys::units, toPropertyList(selection.units)}};
}

SensorSources SensorRecordCodec::sources(const QVariantMap& dictionary) {
    SensorSources sources;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        if (auto source = sourceFromMap(it.value(), 0)) {
            sources.insert(it.key(), *source);
        }
    }
    return sources;
}

QVariantMap SensorRecordCodec::toPropertyList(const SensorSources& sources) {
    QVariantMap dictionary;
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        dictionary.insert(it.key(), sourceToMap(it.value()));
    }
    return dictionary;
}
