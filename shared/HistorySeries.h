#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The name of one recorded series, as the agent stores it and sends it over
// the bus: "temp:TC0D" (a component's chosen sensor, by its key text, or
// "temp:SMART" for the drive), "fan:0", "mem:Used"; and "fan:0:stopped", the
// watch of an alert rule that fan 0 does not stop, which records nothing.
// Values are in the agent's fixed units: degrees Celsius, rpm, GiB.
struct HistorySeries {
    enum class Kind { temperature, fan, memory, stoppedFan };

    // Longer names are refused before they are looked at.
    static constexpr qsizetype maximumNameLength = 64;

    Kind kind = Kind::temperature;
    // "TC0D", "SMART", "0x00000001" (temperature); the figure (memory).
    QString key;
    // The fan's number (fan, stoppedFan).
    int fan = -1;

    // Nothing for a name that is none of the forms above.
    static std::optional<HistorySeries> parse(const QString& name);
    QString name() const;

    // A sensor code's series: the key's four characters when they are
    // printable ASCII, "SMART" for the drive, the code in hexadecimal
    // otherwise (codes from a damaged settings file), so names stay text.
    static QString temperature(quint32 code);
    static QString fanSpeed(int number);
    static QString memory(const QString& figure);
    static QString stoppedFan(int number);

    // The seven figures in the order of the agent's memory answer.
    static const QStringList& memoryFigures();
    // The fan a stopped-fan watch looks at: "fan:0:stopped" → "fan:0".
    QString watchedSeries() const { return fanSpeed(fan); }
};
