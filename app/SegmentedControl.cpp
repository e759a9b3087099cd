#include "SegmentedControl.h"

#include "AccessibleChoiceRow.h"
#include "AccessibleFactory.h"
#include "AccessibleSegmentedControl.h"
#include "FocusRing.h"
#include "NamedAssets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kHeight = 24;
constexpr int kMinimumSegmentWidth = 48;
constexpr int kTextPadding = 12;
constexpr int kFontPixels = 12;

} // namespace

SegmentedControl::SegmentedControl(QWidget* parent)
    : QWidget(parent) {
    AccessibleFactory::install<SegmentedControl, AccessibleSegmentedControl>();
    QFont small = font();
    small.setPixelSize(kFontPixels);
    setFont(small);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SegmentedControl::setSegments(const QStringList& segments) {
    m_segments = segments;
    if (m_selected >= m_segments.size()) {
        m_selected = -1;
    }
    updateGeometry();
    update();
}

void SegmentedControl::setSelectedSegment(int segment) {
    const int next = segment >= 0 && segment < m_segments.size() ? segment : -1;
    if (next != m_selected) {
        m_selected = next;
        update();
        if (next >= 0) {
            AccessibleChoiceRow::notifyChosen(this, next);
        }
    }
}

QString SegmentedControl::segmentName(int segment) const {
    const QString name = m_segmentNames.value(segment);
    return name.isEmpty() ? m_segments.value(segment) : name;
}

void SegmentedControl::activateSegment(int segment) {
    if (segment < 0 || segment >= m_segments.size()) {
        return;
    }
    setSelectedSegment(segment);
    Q_EMIT activated(segment);
}

int SegmentedControl::segmentWidth() const {
    int widest = kMinimumSegmentWidth;
    for (const QString& title : m_segments) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(title) + 2 * kTextPadding);
    }
    return widest;
}

QRect SegmentedControl::segmentRect(int segment) const {
    const int width = segmentWidth();
    return QRect(segment * width, 0, width, height());
}

int SegmentedControl::segmentAt(const QPoint& point) const {
    for (int i = 0; i < m_segments.size(); ++i) {
        if (segmentRect(i).contains(point)) {
            return i;
        }
    }
    return -1;
}

QSize SegmentedControl::sizeHint() const {
    return QSize(segmentWidth() * int(std::max<qsizetype>(1, m_segments.size())), kHeight);
}

QSize SegmentedControl::minimumSizeHint() const {
    return sizeHint();
}

void SegmentedControl::draw(QPainter* painter, const QRect& rect) const {
    const NamedAssets& assets = NamedAssets::shared();
    const QColor frame = assets.color(QStringLiteral("UnselectedColor"), palette());
    QColor tint = assets.color(QStringLiteral("SelectedColor"), palette());
    QColor text = assets.color(QStringLiteral("ValueColor"), palette());
    QColor fill = assets.color(QStringLiteral("BoxColor"), palette());
    QColor selectedText = Qt::white;
    if (!isEnabled()) {
        // Greyed the way the palette greys every other control, so a selector
        // that would reach nobody does not look as if a click could take.
        const QPalette& colors = palette();
        tint = colors.color(QPalette::Disabled, QPalette::Highlight);
        text = colors.color(QPalette::Disabled, QPalette::Text);
        fill = colors.color(QPalette::Disabled, QPalette::Base);
        selectedText = colors.color(QPalette::Disabled, QPalette::HighlightedText);
    }

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF outline = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outline, 6, 6);
    painter->fillPath(shape, fill);
    if (m_selected >= 0) {
        painter->save();
        painter->setClipPath(shape);
        painter->fillRect(segmentRect(m_selected).translated(rect.topLeft()), tint);
        painter->restore();
    }
    painter->setPen(QPen(frame, 1));
    painter->drawPath(shape);
    for (int i = 1; i < m_segments.size(); ++i) {
        const qreal x = rect.left() + segmentRect(i).left() + 0.5;
        painter->drawLine(QPointF(x, outline.top()), QPointF(x, outline.bottom()));
    }
    painter->setFont(font());
    for (int i = 0; i < m_segments.size(); ++i) {
        painter->setPen(i == m_selected ? selectedText : text);
        painter->drawText(segmentRect(i).translated(rect.topLeft()), Qt::AlignCenter,
                          m_segments[i]);
    }
    if (FocusRing::isShown(this)) {
        painter->setPen(QPen(FocusRing::color(this), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 6, 6);
    }
    painter->restore();
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    activateSegment(segmentAt(event->position().toPoint()));
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
    const int count = int(m_segments.size());
    int next = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        next = m_selected - 1;
        break;
    case Qt::Key_Right:
        next = m_selected + 1;
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        next = count > 0 ? (m_selected + 1) % count : -1;
        break;
    default:
        break;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (next < 0 || next >= count || !plain) {
        QWidget::keyPressEvent(event);
        return;
    }
    activateSegment(next);
}

void SegmentedControl::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    if (m_selected >= 0) {
        AccessibleChoiceRow::notifyFocus(this, m_selected);
    }
}

void SegmentedControl::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
