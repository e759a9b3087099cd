#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

class QImage;

// The values a panel's status-icon host reads over the bus, in the layouts
// it expects: images as width, height and ARGB32 bytes in network order;
// tooltips as icon name, images, title and body; menus as nested items of
// an id, its properties and its children.
struct StatusNotifierImage {
    int width = 0;
    int height = 0;
    QByteArray argb;

    static StatusNotifierImage fromImage(const QImage& image);
    QImage toImage() const;
    bool operator==(const StatusNotifierImage&) const = default;
};
using StatusNotifierImages = QList<StatusNotifierImage>;

struct StatusNotifierToolTip {
    QString iconName;
    StatusNotifierImages images;
    QString title;
    QString body;
};

struct MenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<MenuLayoutItem> children;
};

struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

// One of the events a host sends at once: the item, what happened to it
// ("clicked", "opened"...), its data and when.
struct MenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
// Slots take QList<MenuEvent>: the bus adaptor knows no typedef names.
using MenuEvents = QList<MenuEvent>;

Q_DECLARE_METATYPE(StatusNotifierImage)
Q_DECLARE_METATYPE(StatusNotifierToolTip)
Q_DECLARE_METATYPE(MenuLayoutItem)
Q_DECLARE_METATYPE(MenuItemProperties)
Q_DECLARE_METATYPE(MenuEvent)

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierImage& image);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuEvent& event);

namespace StatusNotifierTypes {
// Makes the types above known to the bus; safe to call more than once.
void registerTypes();
} // namespace StatusNotifierTypes
