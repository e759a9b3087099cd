#include "SegmentedControl.h"

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
    }
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
    const QColor tint = assets.color(QStringLiteral("SelectedColor"), palette());
    const QColor text = assets.color(QStringLiteral("ValueColor"), palette());
    const QColor fill = assets.color(QStringLiteral("BoxColor"), palette());

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
        painter->setPen(i == m_selected ? QColor(Qt::white) : text);
        painter->drawText(segmentRect(i).translated(rect.topLeft()), Qt::AlignCenter,
                          m_segments[i]);
    }
    if (hasFocus()) {
        painter->setPen(QPen(tint, 2));
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
    const int segment = segmentAt(event->position().toPoint());
    if (segment < 0) {
        return;
    }
    setSelectedSegment(segment);
    Q_EMIT activated(segment);
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    const int next = m_selected + step;
    if (step == 0 || next < 0 || next >= m_segments.size()) {
        QWidget::keyPressEvent(event);
        return;
    }
    setSelectedSegment(next);
    Q_EMIT activated(next);
}
