#pragma once

#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QAction;
class QMenu;
class QTimer;

// A menu as panel hosts read it over the bus (the dbusmenu layout that
// Plasma and GNOME's indicator extension both ask for): the actions of a
// QMenu, their texts, checks and submenus, laid out on request, and a
// "clicked" event triggers the action. Hosts draw the menu themselves,
// which is the only way under Wayland, where a client cannot place a
// popup at a panel's position.
class StatusNotifierMenu : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    static constexpr const char* objectPath = "/MenuBar";

    // menu must outlive this object.
    explicit StatusNotifierMenu(QMenu* menu, QObject* parent = nullptr);
    ~StatusNotifierMenu() override;

    // Exports the menu on this connection.
    bool publish(QDBusConnection bus);
    // The menu's actions changed: hosts are told to read its layout again.
    void menuChanged();

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                MenuLayoutItem& layout);
    Q_SCRIPTABLE MenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                           const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    Q_SCRIPTABLE bool AboutToShow(int id);
    // The same for many items at once, as hosts built on the common
    // client library send them; each answers the ids it does not know.
    Q_SCRIPTABLE QList<int> EventGroup(const QList<MenuEvent>& events);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);

private:
    int idOf(QAction* action);
    QAction* actionOf(int id) const;
    QVariantMap propertiesOf(QAction* action, const QStringList& names) const;
    static QVariantMap rootProperties(const QStringList& names);
    MenuLayoutItem layoutOf(int id, QMenu* menu, int depth, const QStringList& names);
    bool knows(int id) const;

    QMenu* m_menu;
    QHash<QAction*, int> m_ids;
    QHash<int, QPointer<QAction>> m_actions;
    int m_nextId = 1;
    uint m_revision = 1;
    QTimer* m_changeTimer;
};
