#include "ExportedStatusNotifierItem.h"

ExportedStatusNotifierItem::ExportedStatusNotifierItem(const QString& menuPath)
    : m_menu(menuPath) {
    m_toolTip.title = title();
}

QString ExportedStatusNotifierItem::statusOf(bool attention) {
    return attention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

QString ExportedStatusNotifierItem::status() const {
    return statusOf(m_attention);
}

StatusNotifierImages ExportedStatusNotifierItem::iconPixmap() const {
    return m_images;
}

StatusNotifierImages ExportedStatusNotifierItem::attentionIconPixmap() const {
    return m_attention ? m_images : StatusNotifierImages();
}

StatusNotifierToolTip ExportedStatusNotifierItem::toolTip() const {
    return m_toolTip;
}

void ExportedStatusNotifierItem::setIcon(const StatusNotifierImages& images, bool attention) {
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
        Q_EMIT NewStatus(statusOf(attention));
    }
}

void ExportedStatusNotifierItem::setToolTip(const QString& title, const QString& body) {
    if (title == m_toolTip.title && body == m_toolTip.body) {
        return;
    }
    m_toolTip.title = title;
    m_toolTip.body = body;
    Q_EMIT NewToolTip();
}

void ExportedStatusNotifierItem::Activate(int /*x*/, int /*y*/) {
    Q_EMIT activated();
}

void ExportedStatusNotifierItem::SecondaryActivate(int /*x*/, int /*y*/) {
    Q_EMIT activated();
}

void ExportedStatusNotifierItem::ContextMenu(int x, int y) {
    Q_EMIT contextMenuRequested(x, y);
}

void ExportedStatusNotifierItem::Scroll(int /*delta*/, const QString& /*orientation*/) {}
