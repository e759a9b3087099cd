#include "TabSelector.h"

#include "AccessibleChoiceRow.h"
#include "AccessibleFactory.h"
#include "AccessibleTabSelector.h"
#include "FocusRing.h"
#include "Layer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TabSelector::TabSelector(int columns, QWidget* parent)
    : QWidget(parent)
    , m_layer(std::make_shared<Layer>()) {
    const int count = std::max(0, columns);
    AccessibleFactory::install<TabSelector, AccessibleTabSelector>();
    for (int i = 0; i < count; ++i) {
        m_titles.append(QString());
        m_names.append(QString());
        m_attributes.append(TitleAttributes{});
    }
    m_layer->setAnchorPoint(QPointF(0, 0));
    m_layer->setBounds(QRectF(0, 0, width(), height()));
    setFocusPolicy(Qt::TabFocus);
}

TabSelector::~TabSelector() {
    m_layer->removeAllAnimationsInTree();
}

void TabSelector::selectCellAtColumn(int column) {
    if (column < 0 || column >= columnCount() || column == m_selectedColumn) {
        return;
    }
    m_selectedColumn = column;
    update();
    AccessibleChoiceRow::notifyChosen(this, column);
}

QString TabSelector::cellTitle(int column) const {
    return m_titles.value(column);
}

TabSelector::TitleAttributes TabSelector::cellAttributes(int column) const {
    return m_attributes.value(column);
}

void TabSelector::setCellTitle(int column, const QString& title,
                               const TitleAttributes& attributes) {
    if (column < 0 || column >= columnCount()) {
        return;
    }
    m_titles[column] = title;
    m_attributes[column] = attributes;
    update();
}

QRectF TabSelector::cellFrame(int column) {
    return QRectF(column * (kCellWidth + kCellSpacing), 0.0, kCellWidth, kCellHeight);
}

int TabSelector::columnAt(QPointF point) const {
    for (int column = 0; column < columnCount(); ++column) {
        if (cellFrame(column).contains(point)) {
            return column;
        }
    }
    return -1;
}

QString TabSelector::cellName(int column) const {
    const QString name = m_names.value(column);
    return name.isEmpty() ? cellTitle(column) : name;
}

void TabSelector::setCellName(int column, const QString& name) {
    if (column >= 0 && column < columnCount()) {
        m_names[column] = name;
    }
}

void TabSelector::activateColumn(int column) {
    if (column < 0 || column >= columnCount()) {
        return;
    }
    selectCellAtColumn(column);
    Q_EMIT activated(column);
}

void TabSelector::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->translate(rect.topLeft());
    for (int column = 0; column < columnCount(); ++column) {
        const TitleAttributes& attributes = m_attributes.at(column);
        QFont titleFont = font();
        titleFont.setPixelSize(int(kTitleFontSize));
        titleFont.setBold(attributes.bold);
        painter->setFont(titleFont);
        painter->setPen(attributes.color.isValid() ? attributes.color
                                                   : palette().color(QPalette::ButtonText));
        painter->drawText(cellFrame(column), Qt::AlignCenter | Qt::TextSingleLine,
                          m_titles.at(column));
    }
    m_layer->render(painter);
    painter->restore();
}

void TabSelector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
    if (FocusRing::isShown(this) && m_selectedColumn < columnCount()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(FocusRing::color(this), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(cellFrame(m_selectedColumn).adjusted(1, 1, -1, -1), 6, 6);
    }
}

void TabSelector::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    if (m_selectedColumn < columnCount()) {
        AccessibleChoiceRow::notifyFocus(this, m_selectedColumn);
    }
}

void TabSelector::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TabSelector::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_layer->setBounds(QRectF(0, 0, width(), height()));
}

void TabSelector::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressedColumn = columnAt(event->position());
}

void TabSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int pressed = m_pressedColumn;
    m_pressedColumn = -1;
    if (pressed >= 0 && columnAt(event->position()) == pressed) {
        activateColumn(pressed);
    }
}

void TabSelector::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        activateColumn(m_selectedColumn - 1);
        break;
    case Qt::Key_Right:
        activateColumn(m_selectedColumn + 1);
        break;
    case Qt::Key_Home:
        activateColumn(0);
        break;
    case Qt::Key_End:
        activateColumn(columnCount() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}

QSize TabSelector::sizeHint() const {
    const int n = columnCount();
    return QSize(qRound(n * kCellWidth + (kCellSpacing * n - 1)), 40);
}
