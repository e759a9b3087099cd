#include "StatusNotifierTypes.h"

#include <QDBusMetaType>
#include <QImage>
#include <QtEndian>

namespace {

// A host can send anything back (a menu's layout in a test); nothing larger
// than this is taken apart.
constexpr int kMaxImageSide = 1024;
constexpr int kMaxMenuDepth = 8;

} // namespace

StatusNotifierImage StatusNotifierImage::fromImage(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    // The sizes held in locals: the panel's icon goes through here nine
    // images at a time, and calling out for them at every pixel was a fifth
    // of drawing a new figure.
    const int width = argb.width();
    const int height = argb.height();
    StatusNotifierImage result;
    result.width = width;
    result.height = height;
    result.argb.resize(qsizetype(width) * height * 4);
    auto* out = reinterpret_cast<uchar*>(result.argb.data());
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            qToBigEndian(line[x], out);
            out += 4;
        }
    }
    return result;
}

QImage StatusNotifierImage::toImage() const {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        argb.size() != qsizetype(width) * height * 4) {
        return {};
    }
    QImage image(width, height, QImage::Format_ARGB32);
    const auto* in = reinterpret_cast<const uchar*>(argb.constData());
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qFromBigEndian<quint32>(in);
            in += 4;
        }
    }
    return image;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierImage& image) {
    argument.beginStructure();
    argument << image.width << image.height << image.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierImage& image) {
    argument.beginStructure();
    argument >> image.width >> image.height >> image.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.images << toolTip.title << toolTip.body;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.images >> toolTip.title >> toolTip.body;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const MenuLayoutItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const MenuLayoutItem& child : item.children) {
        argument << QDBusVariant(QVariant::fromValue(child));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

namespace {

void readLayout(const QDBusArgument& argument, MenuLayoutItem& item, int depth) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        const QVariant value = child.variant();
        if (depth < kMaxMenuDepth && value.canConvert<QDBusArgument>()) {
            MenuLayoutItem inner;
            readLayout(value.value<QDBusArgument>(), inner, depth + 1);
            item.children.append(inner);
        }
    }
    argument.endArray();
    argument.endStructure();
}

} // namespace

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuLayoutItem& item) {
    readLayout(argument, item, 0);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const MenuItemProperties& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuItemProperties& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const MenuEvent& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuEvent& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

void StatusNotifierTypes::registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<StatusNotifierImage>();
        qDBusRegisterMetaType<StatusNotifierImages>();
        qDBusRegisterMetaType<StatusNotifierToolTip>();
        qDBusRegisterMetaType<MenuLayoutItem>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<MenuItemPropertiesList>();
        qDBusRegisterMetaType<MenuEvent>();
        qDBusRegisterMetaType<MenuEvents>();
        return true;
    }();
    Q_UNUSED(registered);
}
