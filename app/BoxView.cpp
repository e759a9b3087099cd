#include "BoxView.h"

#include "AccessibleFactory.h"
#include "AccessibleTile.h"
#include "BoxViewDelegate.h"
#include "FocusRing.h"
#include "NamedAssets.h"
#include "Popover.h"
#include "SensorListViewController.h"
#include "SetupViewController.h"
#include "ToolButton.h"

#include <QAccessible>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

// The system's neutral grey, the outline of a hovered tile that is not selected.
const QColor kHoverGrey(0x8E, 0x8E, 0x93);
constexpr qreal kCornerRadius = 4.0;
// The focus ring runs inside the border, clear of it, so it reads as a mark
// of its own whatever the border's colour.
constexpr qreal kFocusRingInset = 4.0;
constexpr qreal kFocusRingWidth = 2.0;

QLabel* makeLabel(QWidget* parent, int pixelSize, QFont::Weight weight) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    // The tile paints its own fill; the labels only add their text.
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

BoxView::BoxView(QWidget* parent)
    : QWidget(parent) {
    AccessibleFactory::install<BoxView, AccessibleTile>();
    resolveColors();
    m_borderColor = m_unselectedColor;
    setAttribute(Qt::WA_Hover);
    // The panel's focus group lets one tile at a time into the tab chain.
    setFocusPolicy(Qt::NoFocus);

    m_sensorNameLabel = makeLabel(this, 13, QFont::Normal);
    m_sensorValueLabel = makeLabel(this, int(m_valueFontSize), QFont::Light);
    setTextColor(m_sensorNameLabel, m_nameColor);
    setTextColor(m_sensorValueLabel, m_valueColor);

    m_gearButton = new ToolButton(this);
    m_gearButton->setIcon(NamedAssets::shared().image(QStringLiteral("gear-tiny")));
    m_gearButton->setOpacity(0.8);
    m_gearButton->setToolTip(tr("Sensors"));
    m_gearButton->hide();
    m_gearButton->setDelegate(this);
    connect(m_gearButton, &QAbstractButton::clicked, this, &BoxView::gearButtonPressed);

    m_sensorListVC = new SensorListViewController({});
    m_popover = new Popover(this);
    m_popover->setContentWidget(m_sensorListVC);
    layoutContents();
}

BoxView::~BoxView() {
    // The chooser's timer must not outlive the tile it reports to.
    m_popover->hide();
}

void BoxView::setSetupVC(SetupViewController* controller) {
    m_setupVC = controller;
}

void BoxView::removeGearButton() {
    m_gearRemoved = true;
    m_gearButton->hide();
}

void BoxView::restoreGearButton() {
    m_gearRemoved = false;
    m_gearButton->setVisible(m_hovered);
}

void BoxView::setSensorName(const QString& name) {
    m_sensorName = name;
    m_sensorNameLabel->setText(name);
    m_gearButton->setAccessibleName(showSensorsText(name));
    notifyReadingChanged();
}

void BoxView::setSensorValue(const QString& value) {
    if (value == m_sensorValue) {
        return;
    }
    m_sensorValue = value;
    m_sensorValueLabel->setText(value);
    notifyReadingChanged();
}

void BoxView::setIsSelected(bool selected) {
    if (selected == m_isSelected) {
        return;
    }
    m_isSelected = selected;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void BoxView::setReadingUnit(SpokenReading::Unit unit) {
    if (unit != m_readingUnit) {
        m_readingUnit = unit;
        notifyReadingChanged();
    }
}

void BoxView::notifyReadingChanged() {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QString BoxView::accessibleReading() const {
    return SpokenReading::text(m_sensorName, m_sensorValue, m_readingUnit);
}

QString BoxView::clickDescription() const {
    return m_isSelected ? removeText(m_sensorName) : addText(m_sensorName);
}

QList<QWidget*> BoxView::accessibleChildren() const {
    if (m_gearRemoved) {
        return {};
    }
    return {m_gearButton};
}

QString BoxView::addText(const QString& name) {
    return tr("Add %1 to widget").arg(name);
}

QString BoxView::removeText(const QString& name) {
    return tr("Remove %1 from widget").arg(name);
}

QString BoxView::showSensorsText(const QString& name) {
    return tr("Show available %1 sensors").arg(name);
}

void BoxView::setValueFontSize(qreal size) {
    m_valueFontSize = size;
    QFont font = m_sensorValueLabel->font();
    font.setPixelSize(qRound(size));
    font.setWeight(QFont::Light);
    m_sensorValueLabel->setFont(font);
    m_valueLabelBottom = 40;
    layoutContents();
}

QRect BoxView::flipped(const QRect& fromBottom, int boxHeight) {
    return QRect(fromBottom.x(), boxHeight - fromBottom.y() - fromBottom.height(),
                 fromBottom.width(), fromBottom.height());
}

void BoxView::layoutContents() {
    const int w = width();
    const int h = height();
    m_sensorNameLabel->setGeometry(flipped(QRect(0, 15, w, 20), h));
    m_sensorValueLabel->setGeometry(flipped(QRect(0, m_valueLabelBottom, w, 29), h));
    m_gearButton->setGeometry(flipped(
        QRect(w - kGearSize - kGearInset, h - kGearSize - kGearInset, kGearSize, kGearSize), h));
}

void BoxView::resolveColors() {
    const NamedAssets& assets = NamedAssets::shared();
    m_selectedColor = assets.color(QStringLiteral("SelectedColor"), palette());
    m_unselectedColor = assets.color(QStringLiteral("UnselectedColor"), palette());
    m_nameColor = assets.color(QStringLiteral("NameColor"), palette());
    m_valueColor = assets.color(QStringLiteral("ValueColor"), palette());
    m_backColor = assets.color(QStringLiteral("BackColor"), palette());
}

void BoxView::setBorder(const QColor& color, qreal width) {
    if (m_borderColor == color && qFuzzyCompare(m_borderWidth, width)) {
        return;
    }
    m_borderColor = color;
    m_borderWidth = width;
    update();
}

void BoxView::updateBorder() {
    setBorder(m_isSelected ? m_selectedColor : m_unselectedColor, 1.0);
}

void BoxView::openChooser() {
    if (hasChooser()) {
        gearButtonPressed();
    }
}

void BoxView::gearButtonPressed() {
    if (!isEnabled()) {
        return;
    }
    m_sensorListVC->setHelper(m_helper);
    m_sensorListVC->setSetupVC(m_setupVC);
    m_sensorListVC->setData(m_sensors);
    m_sensorListVC->setComponentName(m_componentName);
    if (m_popover->isShown()) {
        m_popover->performClose();
    } else {
        m_popover->showRelativeTo(m_gearButton);
    }
}

void BoxView::toolButtonEntered(ToolButton*) {
    if (m_delegate) {
        m_delegate->gearEntered(this);
    }
}

void BoxView::toolButtonExited(ToolButton*) {
    if (m_delegate) {
        m_delegate->boxEntered(this);
    }
}

void BoxView::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // The border lies inside the tile, as a layer's border does.
    const qreal inset = m_borderWidth / 2.0;
    const QRectF outline = QRectF(rect).adjusted(inset, inset, -inset, -inset);
    QPainterPath shape;
    shape.addRoundedRect(outline, kCornerRadius - inset, kCornerRadius - inset);
    painter->fillPath(shape, m_backColor);
    painter->setPen(QPen(m_borderColor, m_borderWidth));
    painter->drawPath(shape);
    if (FocusRing::isShown(this)) {
        const qreal in = kFocusRingInset;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect).adjusted(in, in, -in, -in), kCornerRadius - 1.0,
                            kCornerRadius - 1.0);
        painter->setPen(QPen(FocusRing::color(this), kFocusRingWidth));
        painter->drawPath(ring);
    }
    painter->restore();
}

void BoxView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
}

void BoxView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContents();
}

void BoxView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        resolveColors();
        setTextColor(m_sensorNameLabel, m_nameColor);
        setTextColor(m_sensorValueLabel, m_valueColor);
        if (m_hovered) {
            setBorder(m_isSelected ? m_selectedColor : kHoverGrey, 2.0);
        } else {
            updateBorder();
        }
        update();
    } else if (event->type() == QEvent::EnabledChange) {
        // The pointer may rest on the tile while the agent goes or comes.
        if (!isEnabled() && m_hovered) {
            endHover();
        } else if (isEnabled() && !m_hovered && underMouse()) {
            beginHover();
        }
    }
}

void BoxView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    // A disabled tile would only promise a click it refuses.
    if (isEnabled()) {
        beginHover();
    }
}

void BoxView::beginHover() {
    m_hovered = true;
    setBorder(m_isSelected ? m_borderColor : kHoverGrey, 2.0);
    if (!m_gearRemoved) {
        m_gearButton->show();
    }
    if (m_delegate) {
        m_delegate->boxEntered(this);
    }
}

void BoxView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    endHover();
}

void BoxView::endHover() {
    m_hovered = false;
    updateBorder();
    m_gearButton->hide();
    if (m_delegate) {
        m_delegate->boxExited(this);
    }
}

void BoxView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    performClick();
}

void BoxView::performClick() {
    // A disabled tile (no agent to tell) takes no click, from a screen reader neither.
    if (!isEnabled()) {
        return;
    }
    if (m_isSelectable) {
        setIsSelected(!m_isSelected);
        updateBorder();
    }
    if (m_delegate) {
        m_delegate->boxClicked(this);
    }
}

void BoxView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (modifiers == Qt::NoModifier && (enter || event->key() == Qt::Key_Space)) {
        performClick();
    } else if ((modifiers == Qt::NoModifier && event->key() == Qt::Key_Menu) ||
               (modifiers == Qt::ControlModifier && enter)) {
        openChooser();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void BoxView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    // The help line says what Space will do, as it does for the mouse.
    if (m_delegate && FocusRing::isShown(this)) {
        m_delegate->boxEntered(this);
    }
}

void BoxView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
    if (m_delegate && !m_hovered) {
        m_delegate->boxExited(this);
    }
}

QSize BoxView::sizeHint() const {
    return QSize(104, 84);
}

QSize BoxView::minimumSizeHint() const {
    return QSize(64, 76);
}
