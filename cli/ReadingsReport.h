#pragma once

#include "ReadingsPrinter.h"
#include "ReadingsSnapshot.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// The readings report of a snapshot the Qt-based client collected. The report
// itself is ReadingsPrinter's, which the one-shot client uses without Qt; this
// only decodes the snapshot's layouts for it and hands its texts over as Qt's.
// Entries that do not follow the settings-store layouts are left out rather
// than guessed at.
class ReadingsReport {
public:
    using Scope = ReadingsScope;

    ReadingsReport(const ReadingsSnapshot& snapshot, Scope scope);

    QString text() const;
    QJsonObject json() const;
    QString jsonText(JsonValue::Layout layout) const;
    QString openMetrics() const;

    // The snapshot's entries and readings as the printer takes them.
    static ReadingsFigures figures(const ReadingsSnapshot& snapshot);

    static QList<quint32> sensorCodesToRead(const ReadingsSnapshot& snapshot, Scope scope);
    static QList<int> fansToRead(const ReadingsSnapshot& snapshot, Scope scope);

    static int fahrenheit(int celsius) { return ReadingsPrinter::fahrenheit(celsius); }
    static int fanPercent(int rpm, int maxSpeed) {
        return ReadingsPrinter::fanPercent(rpm, maxSpeed);
    }
    static QString gibibytes(double value);
    static QString sensorKeyText(quint32 code);

private:
    ReadingsPrinter printer;
};
