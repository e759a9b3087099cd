#include "StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& menuPath,
                                       QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_menuPath(menuPath) {
    StatusNotifierTypes::registerTypes();
    m_toolTip.title = title();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!m_serviceName.isEmpty()) {
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
        m_bus.unregisterService(m_serviceName);
    }
}

bool StatusNotifierItem::publish() {
    if (!m_serviceName.isEmpty()) {
        return true;
    }
    // The name hosts expect: one per process and item.
    const QString name =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!m_bus.isConnected() || !m_bus.registerObject(QString::fromLatin1(objectPath), this,
                                                      QDBusConnection::ExportScriptableContents |
                                                          QDBusConnection::ExportAllProperties)) {
        return false;
    }
    if (!m_bus.registerService(name)) {
        m_bus.unregisterObject(QString::fromLatin1(objectPath));
        return false;
    }
    m_serviceName = name;
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

QString StatusNotifierItem::status() const {
    return m_attention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

StatusNotifierImages StatusNotifierItem::attentionIconPixmap() const {
    return m_attention ? m_images : StatusNotifierImages();
}

void StatusNotifierItem::setIcon(const StatusNotifierImages& images, bool attention) {
    const bool newImages = images != m_images;
    const bool newStatus = attention != m_attention;
    m_images = images;
    m_attention = attention;
    if (newImages) {
        Q_EMIT NewIcon();
    }
    if (newImages && attention) {
        Q_EMIT NewAttentionIcon();
    }
    if (newStatus) {
        Q_EMIT NewStatus(status());
    }
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& body) {
    if (title == m_toolTip.title && body == m_toolTip.body) {
        return;
    }
    m_toolTip.title = title;
    m_toolTip.body = body;
    Q_EMIT NewToolTip();
}

void StatusNotifierItem::Activate(int /*x*/, int /*y*/) {
    Q_EMIT activated();
}

void StatusNotifierItem::SecondaryActivate(int /*x*/, int /*y*/) {
    Q_EMIT activated();
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    Q_EMIT contextMenuRequested(x, y);
}

void StatusNotifierItem::Scroll(int /*delta*/, const QString& /*orientation*/) {}
