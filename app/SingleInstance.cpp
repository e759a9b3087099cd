#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

const QString SingleInstance::serviceName = QStringLiteral("com.quillbank.Ondara");

namespace {
const QString objectPath = QStringLiteral("/com/quillbank/Ondara");
}

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

bool SingleInstance::claim() {
    if (!m_bus.isConnected()) {
        return true;
    }
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        return true;
    }
    // Never queue for the name: a second start must defer to the first, not
    // wait behind it.
    const auto reply =
        m_bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return true;
    }
    m_bus.unregisterObject(objectPath);
    return false;
}

bool SingleInstance::activateRunning(const QString& url) {
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, serviceName,
                                                       QStringLiteral("activate"));
    call << url;
    return m_bus.call(call, QDBus::BlockWithGui, 10000).type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::activate(const QString& url) {
    Q_EMIT activated(url);
}
