#include "ToolButton.h"

#include "ToolButtonDelegate.h"

#include <QPainter>

ToolButton::ToolButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void ToolButton::setOpacity(qreal opacity) {
    if (qFuzzyCompare(m_opacity, opacity)) {
        return;
    }
    m_opacity = opacity;
    update();
}

QSize ToolButton::sizeHint() const {
    return QSize(20, 20);
}

void ToolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    // The icon picks its high-resolution file on screens that scale.
    icon().paint(&painter, rect(), Qt::AlignCenter, isDown() ? QIcon::Active : QIcon::Normal);
}

void ToolButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    m_originalAlpha = m_opacity;
    setOpacity(1.0);
    if (m_delegate) {
        m_delegate->toolButtonEntered(this);
    }
}

void ToolButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    setOpacity(m_originalAlpha);
    if (m_delegate) {
        m_delegate->toolButtonExited(this);
    }
}
