#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

class QDBusServiceWatcher;

// The widget's status icon as a panel host sees it on the session bus: an
// item registered with the desktop's status-notifier watcher, whose icon,
// tooltip and state the host reads, and which tells the host of a change
// only when there is one. When the watcher comes back (the panel restarted)
// the item registers again, so the icon does not vanish with the panel.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ emptyName)
    Q_PROPERTY(QString IconName READ emptyName)
    Q_PROPERTY(StatusNotifierImages IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(StatusNotifierImages OverlayIconPixmap READ noImages)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(StatusNotifierImages AttentionIconPixmap READ attentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
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

    QString category() const { return QStringLiteral("Hardware"); }
    QString id() const { return QStringLiteral("OndaraWidget"); }
    QString title() const { return QStringLiteral("Ondara"); }
    QString status() const;
    int windowId() const { return 0; }
    QString emptyName() const { return {}; }
    StatusNotifierImages iconPixmap() const { return m_images; }
    StatusNotifierImages noImages() const { return {}; }
    StatusNotifierImages attentionIconPixmap() const;
    StatusNotifierToolTip toolTip() const { return m_toolTip; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(m_menuPath); }

public Q_SLOTS:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewAttentionIcon();
    Q_SCRIPTABLE void NewStatus(const QString& status);
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewTitle();

    void activated();
    void contextMenuRequested(int x, int y);
    void shownChanged(bool shown);

private:
    void registerWithWatcher();
    void setShown(bool shown);

    QDBusConnection m_bus;
    QString m_menuPath;
    QString m_serviceName;
    QDBusServiceWatcher* m_watcher = nullptr;
    StatusNotifierImages m_images;
    bool m_attention = false;
    StatusNotifierToolTip m_toolTip;
    bool m_shown = false;
};
