#include "CustomTabView.h"

#include "AccessibleCustomTabView.h"
#include "AccessibleFactory.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"
#include "ShapeLayer.h"

#include <QEvent>
#include <QPainter>
#include <QTabBar>
#include <QtMath>
#include <cmath>

namespace {

const QString kPositionKey = QStringLiteral("position");

} // namespace

CustomTabView::CustomTabView(QWidget* parent)
    : QTabWidget(parent)
    , m_arrowLayer(std::make_shared<ShapeLayer>())
    , m_viewLayer(std::make_shared<Layer>()) {
    AccessibleFactory::install<CustomTabView, AccessibleCustomTabView>();
    resolveColors();
    m_viewLayer->setAnchorPoint(QPointF(0, 0));
    // No tabs and no border: the selector takes their place, for the
    // keyboard too. The hidden tab bar must not take the focus (Tab would
    // land on it and stay), nor the view itself: the selector stands first
    // in the tab chain once it is built.
    tabBar()->hide();
    tabBar()->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(nullptr);
    setFocusPolicy(Qt::NoFocus);
    setDocumentMode(true);
    connect(this, &QTabWidget::currentChanged, this, &CustomTabView::followCurrentIndex);
}

CustomTabView::~CustomTabView() {
    m_arrowLayer->removeAllAnimations();
}

QRectF CustomTabView::selectorFrame(int tabCount, qreal viewWidth) {
    const qreal width = tabCount * kTabWidth + (kTabSpacing * tabCount - 1);
    return QRectF((viewWidth - width) * 0.5, 0.0, width, kSelectorHeight);
}

qreal CustomTabView::notchCentreX(int column) {
    return column * kTabWidth + kTabWidth / 2.0 + kTabSpacing * column;
}

QPointF CustomTabView::notchPosition(int column) {
    return QPointF(column * kTabWidth + kTabSpacing * column, 0.0);
}

double CustomTabView::notchTravelSeconds(qreal fromX, qreal toX) {
    return std::abs(fromX - toX) / kNotchSpeed;
}

void CustomTabView::resolveColors() {
    const NamedAssets& assets = NamedAssets::shared();
    m_textColor = assets.color(QStringLiteral("CurrentTabColor"), palette());
    m_oldTextColor = assets.color(QStringLiteral("TabColor"), palette());
    m_lineColor = assets.color(QStringLiteral("TabLineColor"), palette());
    m_containerColor = assets.color(QStringLiteral("ContainerColor"), palette());
}

TabSelector::TitleAttributes CustomTabView::selectedAttributes() const {
    return TabSelector::TitleAttributes{m_textColor, true};
}

TabSelector::TitleAttributes CustomTabView::normalAttributes() const {
    return TabSelector::TitleAttributes{m_oldTextColor, false};
}

QString CustomTabView::plainTabText(int index) const {
    QString label = tabText(index);
    // Tab texts may carry a mnemonic marker; a title shows the plain text.
    label.replace(QLatin1String("&&"), QLatin1String("\x01"));
    label.remove(QLatin1Char('&'));
    label.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return label;
}

QString CustomTabView::cellTitleFor(int index) const {
    return plainTabText(index).toUpper();
}

void CustomTabView::buildTabSelector() {
    const int n = count();
    m_tabSelectorFrame = selectorFrame(n, width());
    m_tabSelector = new TabSelector(n, this);
    connect(m_tabSelector, &TabSelector::activated, this, &CustomTabView::tabSelected);
    for (int i = 0; i < n; ++i) {
        m_tabSelector->setCellTitle(i, cellTitleFor(i), normalAttributes());
        m_tabSelector->setCellName(i, plainTabText(i));
    }
    if (n > 0) {
        m_tabSelector->setCellTitle(0, cellTitleFor(0), selectedAttributes());
    }
    placeSelector();

    const int selected = m_tabSelector->selectedColumn();
    const qreal centre = notchCentreX(selected);
    const qreal base = m_tabSelectorFrame.top() + m_tabSelectorFrame.height();

    m_viewLineLayer = std::make_shared<ShapeLayer>();
    m_viewLineLayer->setLineWidth(1.0);
    m_viewLineLayer->setFillColor(Qt::transparent);
    m_viewLayer->addSublayer(m_viewLineLayer);

    m_selectorLineLayer = std::make_shared<ShapeLayer>();
    m_selectorLineLayer->setLineWidth(1.0);
    m_selectorLineLayer->setFillColor(Qt::transparent);
    QPainterPath selectorLine;
    const QRectF selectorBounds(0, 0, m_tabSelectorFrame.width(), m_tabSelectorFrame.height());
    selectorLine.moveTo(selectorBounds.left(), selectorBounds.height() - 0.5);
    selectorLine.lineTo(selectorBounds.width(), selectorBounds.height() - 0.5);
    m_selectorLineLayer->setPath(selectorLine);
    m_tabSelector->layer()->addSublayer(m_selectorLineLayer);

    m_arrowLayer->setLineWidth(1.0);
    m_arrowLayer->setZPosition(100.0);
    QPainterPath arrow;
    arrow.moveTo(centre - 8.0, base);
    arrow.lineTo(centre, base - 12.0);
    arrow.lineTo(centre + 8.0, base);
    m_arrowLayer->setPath(arrow);
    m_tabSelector->layer()->addSublayer(m_arrowLayer);

    placeSelector();
    applyColors();
    m_lastIndex = selected;
    // Built last, the selector would come last in the tab chain; it belongs
    // before the pages it switches.
    QWidget::setTabOrder(this, m_tabSelector);
    m_tabSelector->show();
    m_tabSelectorCreated = true;
    if (currentIndex() > 0) {
        followCurrentIndex(currentIndex());
    }
}

void CustomTabView::placeSelector() {
    if (!m_tabSelector) {
        return;
    }
    // Kept centred when the view changes width; the frame is whole pixels.
    m_tabSelectorFrame = selectorFrame(m_tabSelector->columnCount(), width());
    m_tabSelector->setGeometry(qFloor(m_tabSelectorFrame.x()), qRound(m_tabSelectorFrame.y()),
                               qCeil(m_tabSelectorFrame.width()),
                               qRound(m_tabSelectorFrame.height()));
    m_tabSelector->raise();
    m_viewLayer->setBounds(QRectF(0, 0, width(), height()));
    if (m_viewLineLayer) {
        const QRect placed = m_tabSelector->geometry();
        QPainterPath line;
        line.moveTo(0, 39.5);
        line.lineTo(placed.x(), 39.5);
        line.moveTo(placed.x() + placed.width(), 39.5);
        line.lineTo(width(), 39.5);
        m_viewLineLayer->setPath(line);
    }
    update();
}

void CustomTabView::applyColors() {
    if (m_viewLineLayer) {
        m_viewLineLayer->setStrokeColor(m_lineColor);
    }
    if (m_selectorLineLayer) {
        m_selectorLineLayer->setStrokeColor(m_lineColor);
    }
    m_arrowLayer->setStrokeColor(m_lineColor);
    m_arrowLayer->setFillColor(m_containerColor);
    if (m_tabSelector) {
        for (int i = 0; i < m_tabSelector->columnCount(); ++i) {
            m_tabSelector->setCellTitle(i, m_tabSelector->cellTitle(i),
                                        i == m_tabSelector->selectedColumn() ? selectedAttributes()
                                                                             : normalAttributes());
        }
    }
    update();
}

void CustomTabView::tabSelected() {
    if (!m_tabSelector) {
        return;
    }
    const int selected = m_tabSelector->selectedColumn();
    if (selected == m_lastIndex) {
        return;
    }
    m_tabSelector->setCellTitle(selected, cellTitleFor(selected), selectedAttributes());
    m_tabSelector->setCellTitle(m_lastIndex, cellTitleFor(m_lastIndex), normalAttributes());
    setCurrentIndex(selected);
    m_lastIndex = selected;

    const QPointF target = notchPosition(selected);
    const QPointF current = m_arrowLayer->position();
    auto* animation = new LayerAnimation(kPositionKey);
    animation->setFromValue(current);
    animation->setToValue(target);
    animation->setDurationSeconds(notchTravelSeconds(current.x(), target.x()));
    TabSelector* selector = m_tabSelector;
    connect(animation, &QVariantAnimation::valueChanged, selector,
            [selector] { selector->update(); });
    m_arrowLayer->setPosition(target);
    m_arrowLayer->addAnimation(animation, kPositionKey);
    m_tabSelector->update();
}

void CustomTabView::followCurrentIndex(int index) {
    // A tab chosen from code moves the selector along, as a click would.
    if (!m_tabSelector || index < 0 || index >= m_tabSelector->columnCount() ||
        index == m_tabSelector->selectedColumn()) {
        return;
    }
    m_tabSelector->selectCellAtColumn(index);
    tabSelected();
}

void CustomTabView::draw(QPainter* painter, const QRect& rect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.topLeft());
    m_viewLayer->render(painter);
    painter->restore();
}

void CustomTabView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
}

void CustomTabView::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    if (!m_tabSelectorCreated) {
        buildTabSelector();
    }
}

void CustomTabView::resizeEvent(QResizeEvent* event) {
    QTabWidget::resizeEvent(event);
    placeSelector();
}

void CustomTabView::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        resolveColors();
        applyColors();
    }
}

QSize CustomTabView::minimumSizeHint() const {
    const QSize pages = QTabWidget::minimumSizeHint();
    const QRectF selector = selectorFrame(count(), 0.0);
    return QSize(std::max(pages.width(), qCeil(selector.width())),
                 std::max(pages.height(), qCeil(kSelectorHeight)));
}
