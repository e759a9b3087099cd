#include "BackgroundView.h"

#include "NamedAssets.h"

#include <QPaintEvent>
#include <QPainter>

BackgroundView::BackgroundView(QWidget* parent)
    : QWidget(parent) {}

void BackgroundView::setColorName(const QString& name) {
    m_colorName = name;
    update();
}

void BackgroundView::paintEvent(QPaintEvent* event) {
    if (m_colorName.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(event->rect(), NamedAssets::shared().color(m_colorName, palette()));
}
