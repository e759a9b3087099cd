#include "Popover.h"

#include "NamedAssets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kGap = 4;
constexpr int kBorder = 1;

} // namespace

Popover::Popover(QWidget* parent)
    : QFrame(parent, Qt::Popup) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Popover::setContentWidget(QWidget* content) {
    if (m_content) {
        layout()->removeWidget(m_content);
    }
    m_content = content;
    if (content) {
        layout()->addWidget(content);
    }
}

QPoint Popover::placement(const QRect& anchorOnScreen, const QSize& size, const QRect& screen) {
    int x = anchorOnScreen.x() + (anchorOnScreen.width() - size.width()) / 2;
    int y = anchorOnScreen.bottom() + 1 + kGap;
    if (!screen.isEmpty()) {
        x = std::clamp(x, screen.left(),
                       std::max(screen.left(), screen.right() + 1 - size.width()));
        // No room below: open above the anchor instead.
        if (y + size.height() > screen.bottom() + 1) {
            y = std::max(screen.top(), anchorOnScreen.top() - kGap - size.height());
        }
    }
    return QPoint(x, y);
}

void Popover::showRelativeTo(QWidget* anchor) {
    m_anchor = anchor;
    adjustSize();
    const QRect anchorOnScreen(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    const QScreen* screen = anchor->screen();
    move(placement(anchorOnScreen, size(), screen ? screen->availableGeometry() : QRect()));
    show();
}

void Popover::performClose() {
    hide();
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const NamedAssets& assets = NamedAssets::shared();
    painter.fillRect(rect(), assets.color(QStringLiteral("ContainerColor"), palette()));
    painter.setPen(assets.color(QStringLiteral("UnselectedColor"), palette()));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Popover::mousePressEvent(QMouseEvent* event) {
    // A press on the anchor closes the panel and must not reach the anchor
    // too, or it would open the panel again at once.
    const QPoint global = event->globalPosition().toPoint();
    const bool onAnchor = m_anchor && m_anchor->rect().contains(m_anchor->mapFromGlobal(global));
    setAttribute(Qt::WA_NoMouseReplay, onAnchor);
    QFrame::mousePressEvent(event);
}
