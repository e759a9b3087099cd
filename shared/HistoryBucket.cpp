#include "HistoryBucket.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QVariantMap>

void HistoryBucket::registerBusTypes() {
    qDBusRegisterMetaType<HistoryBucket>();
    qDBusRegisterMetaType<QList<HistoryBucket>>();
    // The rules of the alerts interface travel as aa{sv}.
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryBucket& bucket) {
    argument.beginStructure();
    argument << bucket.time << bucket.mean << bucket.minimum << bucket.maximum;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryBucket& bucket) {
    argument.beginStructure();
    argument >> bucket.time >> bucket.mean >> bucket.minimum >> bucket.maximum;
    argument.endStructure();
    return argument;
}
