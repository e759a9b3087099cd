#pragma once

#include "TabSelector.h"

#include <QColor>
#include <QTabWidget>
#include <memory>

class Layer;
class ShapeLayer;

// The setup window's tab view. It hides the standard tab bar and shows its own
// selector instead: a centred row of upper-case titles, a thin line across the
// view along the selector's lower edge, and a small V-shaped notch in that
// line that slides under the selected title.
//
// The selector is built once, when the view is first shown, from the tabs it
// has then; tabs added later get no button. The tab view and the selector are
// y-down views, as their drawing is specified.
class CustomTabView : public QTabWidget {
    Q_OBJECT
public:
    static constexpr qreal kTabWidth = 120.0;
    static constexpr qreal kTabHeight = 24.0;
    static constexpr int kTabSpacing = 8;
    static constexpr qreal kSelectorHeight = 40.0;
    // How fast the notch travels, in points per second.
    static constexpr qreal kNotchSpeed = 600.0;

    explicit CustomTabView(QWidget* parent = nullptr);
    ~CustomTabView() override;

    // The selector's frame for a number of tabs in a view this wide: the
    // cells and their spacing, centred, 40 points tall.
    static QRectF selectorFrame(int tabCount, qreal viewWidth);
    // Centre of the notch under a column when the selector was built with
    // column 0 selected, and the notch layer's position for a column.
    static qreal notchCentreX(int column);
    static QPointF notchPosition(int column);
    // Seconds the notch takes between two x positions.
    static double notchTravelSeconds(qreal fromX, qreal toX);

    bool tabSelectorCreated() const { return m_tabSelectorCreated; }
    TabSelector* tabSelector() const { return m_tabSelector; }
    QRectF tabSelectorFrame() const { return m_tabSelectorFrame; }
    int lastIndex() const { return m_lastIndex; }
    ShapeLayer* arrowLayer() const { return m_arrowLayer.get(); }
    Layer* viewLayer() const { return m_viewLayer.get(); }

    QColor textColor() const { return m_textColor; }
    QColor oldTextColor() const { return m_oldTextColor; }
    QColor lineColor() const { return m_lineColor; }
    QColor containerColor() const { return m_containerColor; }

    // The title attributes of the selected tab and of the others.
    TabSelector::TitleAttributes selectedAttributes() const;
    TabSelector::TitleAttributes normalAttributes() const;

    // Paints the view's own layer (the line beside the selector).
    void draw(QPainter* painter, const QRect& rect) const;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    // The selector's action: switch to the tab of its selected column.
    void tabSelected();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildTabSelector();
    void resolveColors();
    void applyColors();
    void placeSelector();
    QString plainTabText(int index) const;
    QString cellTitleFor(int index) const;
    void followCurrentIndex(int index);

    QColor m_textColor;
    QColor m_oldTextColor;
    QColor m_lineColor;
    QColor m_containerColor;
    bool m_tabSelectorCreated = false;
    TabSelector* m_tabSelector = nullptr;
    QRectF m_tabSelectorFrame;
    int m_lastIndex = 0;
    std::shared_ptr<ShapeLayer> m_arrowLayer;
    std::shared_ptr<Layer> m_viewLayer;
    std::shared_ptr<ShapeLayer> m_viewLineLayer;
    std::shared_ptr<ShapeLayer> m_selectorLineLayer;
};
