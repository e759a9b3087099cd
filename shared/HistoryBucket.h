#pragma once

#include <QList>
#include <QMetaType>
#include <QtGlobal>

class QDBusArgument;

// One point of a history answer ("Samples", a(xddd)): the samples of one
// stretch of time folded into their mean, minimum and maximum. `time` is the
// first sample's, in milliseconds since the epoch; a stretch without samples
// has no bucket, so a gap in the readings stays a gap.
struct HistoryBucket {
    qint64 time = 0;
    double mean = 0;
    double minimum = 0;
    double maximum = 0;

    friend bool operator==(const HistoryBucket&, const HistoryBucket&) = default;

    // Makes the type and lists of it known to the bus library; call once
    // before a bus call carries them.
    static void registerBusTypes();
};

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryBucket& bucket);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryBucket& bucket);

Q_DECLARE_METATYPE(HistoryBucket)
