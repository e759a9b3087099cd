#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class ExportedStatusNotifierItem;
class QDBusServiceWatcher;

// The widget's status icon as a panel host sees it on the session bus: an
// item registered with the desktop's status-notifier watcher, whose icon,
// tooltip and state the host reads, and which tells the host of a change
// only when there is one. When the watcher comes back (the panel restarted)
// the item registers again, so the icon does not vanish with the panel.
class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* objectPath = "/StatusNotifierItem";

    // menuPath: where the item's menu is exported on the same connection.
    StatusNotifierItem(const QDBusConnection& bus, const QString& menuPath,
                       QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Puts the item on the bus and registers it with the watcher whenever
    // one is there. False when the bus refuses the object or its name.
    bool publish();
    QString serviceName() const { return m_serviceName; }
    // Whether a watcher has taken the item (its host shows it).
    bool isShown() const { return m_shown; }

    // attention: the reading is over its bound; the host is asked to draw
    // the user's eye to it.
    void setIcon(const StatusNotifierImages& images, bool attention);
    void setToolTip(const QString& title, const QString& body);

Q_SIGNALS:
    void activated();
    void contextMenuRequested(int x, int y);
    void shownChanged(bool shown);

private:
    void registerWithWatcher();
    void setShown(bool shown);

    QDBusConnection m_bus;
    // Not a child: once published it lives on the bus's thread; it is
    // brought back and deleted with this item.
    ExportedStatusNotifierItem* m_exported;
    QString m_serviceName;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_shown = false;
};
