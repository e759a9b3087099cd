#include "ipc/PendingBusReply.h"

#include "ipc/IpcLogging.h"

#include <QDBusError>

PendingBusReply::PendingBusReply(const QDBusConnection& bus, const QDBusMessage& call)
    : bus(bus)
    , call(call) {}

PendingBusReply::~PendingBusReply() {
    if (!answered.load()) {
        qCWarning(lcIpc, "%s of %s was never answered", qPrintable(call.member()),
                  qPrintable(call.service()));
        bus.send(call.createErrorReply(QDBusError::Failed,
                                       QStringLiteral("The agent dropped the request")));
    }
}

void PendingBusReply::answer(const QVariant& value) {
    if (!claim()) {
        qCWarning(lcIpc, "%s answered more than once; the extra answer is dropped",
                  qPrintable(call.member()));
        return;
    }
    if (!bus.send(call.createReply(value))) {
        qCWarning(lcIpc, "The answer to %s of %s could not be sent", qPrintable(call.member()),
                  qPrintable(call.service()));
    }
}

void PendingBusReply::fail(const QString& text) {
    fail(QDBusError::Failed, text);
}

void PendingBusReply::fail(QDBusError::ErrorType type, const QString& text) {
    if (claim()) {
        bus.send(call.createErrorReply(type, text));
    }
}

void PendingBusReply::abandon() {
    claim();
}

bool PendingBusReply::claim() {
    return !answered.exchange(true);
}
