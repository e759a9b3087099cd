#pragma once

#include "ReadingsSnapshot.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The terminal client's report of one snapshot, as aligned "Name: value" text
// or as JSON, in the units the user chose, or as metrics for a monitoring
// system. Entries that do not follow the settings-store layouts are left out
// rather than guessed at.
class ReadingsReport {
public:
    enum class Scope {
        shown,      // what the user chose to show
        candidates, // that, and every component with all its candidate sensors
        selection,  // every component, fan and memory figure, shown or not
    };

    ReadingsReport(const ReadingsSnapshot& snapshot, Scope scope);

    QString text() const;
    QJsonObject json() const;
    // The readings in the OpenMetrics text format, which node_exporter's
    // textfile collector also reads: fixed units (°C, rpm, bytes) whatever
    // the user chose, raw label texts, no timestamps.
    QString openMetrics() const;

    // What to read once the selection is known: the codes of the components
    // in scope (and of every candidate), each once, and the fans in scope.
    static QList<quint32> sensorCodesToRead(const ReadingsSnapshot& snapshot, Scope scope);
    static QList<int> fansToRead(const ReadingsSnapshot& snapshot, Scope scope);

    // The clients' conversions: ⌊c × 1.8 + 32 + 0.5⌋; percent of the maximum
    // speed with the fraction dropped (0 for a fan without a maximum); GiB with
    // two decimals, or none when they are "00".
    static int fahrenheit(int celsius);
    static int fanPercent(int rpm, int maxSpeed);
    static QString gibibytes(double value);
    // The four characters of an SMC key code, or "SMART" for the drive.
    static QString sensorKeyText(quint32 code);

private:
    struct Temperature {
        QString component;
        QString name;
        quint32 code = 0;
        std::optional<int> celsius;
    };
    struct FanSpeed {
        int number = 0;
        QString name;
        int maxSpeed = 0;
        std::optional<int> rpm;
        QString source;
    };
    struct MemoryFigure {
        QString name;
        std::optional<double> gibibytes;
    };
    struct Candidate {
        quint32 code = 0;
        QString key;
        QString name;
        bool chosen = false;
        std::optional<int> celsius;
        QString source;
    };
    struct Component {
        QString key;
        QString name;
        QList<Candidate> candidates;
    };

    // Value text and unit of a reading in the chosen units; "n/a" when the
    // agent gave no value.
    QPair<QString, QString> temperatureText(std::optional<int> celsius) const;
    QPair<QString, QString> fanText(const FanSpeed& fan) const;
    std::optional<int> temperatureValue(std::optional<int> celsius) const;
    std::optional<int> fanValue(const FanSpeed& fan) const;

    // The full report, from an agent that does not tell what stands behind its keys.
    bool sourcesUnknown = false;
    bool showFahrenheit = false;
    bool showPercent = false;
    Scope scope = Scope::shown;
    QList<Temperature> temperatures;
    QList<FanSpeed> fans;
    QList<MemoryFigure> memory;
    QList<Component> components;
};
