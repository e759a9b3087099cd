#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QString>

// The status item's face on the bus: the properties a panel host reads and
// the calls it makes. It is meant to live on the bus library's own thread,
// so that a host's read, which comes at every refresh, is answered where it
// arrives instead of waking the widget's thread and handing the answer
// back. Like any object of Qt's, it is used on its own thread only: the
// bus relays its signals only from there.
class ExportedStatusNotifierItem : public QObject {
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
    explicit ExportedStatusNotifierItem(const QString& menuPath);

    // Both tell the host of what changed, and of nothing else.
    void setIcon(const StatusNotifierImages& images, bool attention);
    void setToolTip(const QString& title, const QString& body);

    QString category() const { return QStringLiteral("Hardware"); }
    QString id() const { return QStringLiteral("OndaraWidget"); }
    QString title() const { return QStringLiteral("Ondara"); }
    QString status() const;
    int windowId() const { return 0; }
    QString emptyName() const { return {}; }
    StatusNotifierImages iconPixmap() const;
    StatusNotifierImages noImages() const { return {}; }
    StatusNotifierImages attentionIconPixmap() const;
    StatusNotifierToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return m_menu; }

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

    // On the thread this object lives on; connect with a queued connection.
    void activated();
    void contextMenuRequested(int x, int y);

private:
    static QString statusOf(bool attention);

    const QDBusObjectPath m_menu;
    StatusNotifierImages m_images;
    bool m_attention = false;
    StatusNotifierToolTip m_toolTip;
};
