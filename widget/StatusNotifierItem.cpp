#include "StatusNotifierItem.h"

#include "ExportedStatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QThread>

namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& menuPath,
                                       QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_exported(new ExportedStatusNotifierItem(menuPath)) {
    StatusNotifierTypes::registerTypes();
    connect(m_exported, &ExportedStatusNotifierItem::activated, this,
            &StatusNotifierItem::activated, Qt::QueuedConnection);
    connect(m_exported, &ExportedStatusNotifierItem::contextMenuRequested, this,
            &StatusNotifierItem::contextMenuRequested, Qt::QueuedConnection);
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!m_serviceName.isEmpty()) {
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
        m_bus.unregisterService(m_serviceName);
    }
    // Unregistered, the bus routes no more calls to it. Brought back to this
    // thread before it goes: the bus forgets an object through its
    // destroyed() signal with a call that must come from another thread
    // than its own. Bringing it back waits for whatever the bus's thread is
    // doing with it, and for the changes handed to it, to end first.
    QThread* own = thread();
    if (QThread* busThread = m_exported->thread(); busThread != own && busThread->isRunning()) {
        QMetaObject::invokeMethod(
            m_exported, [exported = m_exported, own] { exported->moveToThread(own); },
            Qt::BlockingQueuedConnection);
    }
    delete m_exported;
}

bool StatusNotifierItem::publish() {
    if (!m_serviceName.isEmpty()) {
        return true;
    }
    // The name hosts expect: one per process and item.
    const QString name =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!m_bus.isConnected() || !m_bus.registerObject(QString::fromLatin1(objectPath), m_exported,
                                                      QDBusConnection::ExportScriptableContents |
                                                          QDBusConnection::ExportAllProperties)) {
        return false;
    }
    if (!m_bus.registerService(name)) {
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
        return false;
    }
    m_serviceName = name;
    // A host reads the item at every refresh. Answered on the thread the bus
    // library reads it on (where the connection's own bus object lives),
    // the read wakes only that thread; answered here, it would wake this
    // one too and hand the 145 kB answer back. Moved after registering, so
    // what the bus makes for the object moves along with it.
    if (const QObject* busObject = m_bus.interface(); busObject != nullptr) {
        m_exported->moveToThread(busObject->thread());
    }
    m_watcher = new QDBusServiceWatcher(QString::fromLatin1(watcherService), m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty()) {
                    setShown(false);
                } else {
                    registerWithWatcher();
                }
            });
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherService), kWatcherPath, kWatcherInterface,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                setShown(!finished->isError());
            });
}

void StatusNotifierItem::setShown(bool shown) {
    // Said every time, also when unchanged: the first answer is what tells
    // the owner whether the item is shown at all.
    m_shown = shown;
    Q_EMIT shownChanged(shown);
}

// Handed to the exported item's thread, in order, behind any read it is
// answering; there it compares and tells the host of what changed.
void StatusNotifierItem::setIcon(const StatusNotifierImages& images, bool attention) {
    QMetaObject::invokeMethod(m_exported, [exported = m_exported, images, attention] {
        exported->setIcon(images, attention);
    });
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& body) {
    QMetaObject::invokeMethod(
        m_exported, [exported = m_exported, title, body] { exported->setToolTip(title, body); });
}
