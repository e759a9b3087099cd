#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <memory>

class Layer;

// The row of tab buttons of CustomTabView: one row of borderless text cells,
// 120 × 24 points with 8 points between them, of which exactly one is
// selected (radio behaviour). Clicking a cell selects it and sends activated,
// also when it was selected already. The cells carry their titles with
// attributes (colour, weight) set by the tab view.
//
// The widget's own layer (layer()) holds what the tab view adds: the line and
// the notch. It uses the widget's y-down coordinates.
//
// With the keyboard, Left and Right (Home and End) choose the neighbouring
// (first, last) cell as a click does; a ring in the palette's highlight marks
// the selected cell while the selector has the focus.
class TabSelector : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kCellWidth = 120.0;
    static constexpr qreal kCellHeight = 24.0;
    static constexpr qreal kCellSpacing = 8.0;
    static constexpr qreal kTitleFontSize = 14.0;

    struct TitleAttributes {
        QColor color;
        bool bold = false;
    };

    explicit TabSelector(int columns, QWidget* parent = nullptr);
    ~TabSelector() override;

    int columnCount() const { return int(m_titles.size()); }
    int selectedColumn() const { return m_selectedColumn; }
    void selectCellAtColumn(int column);

    QString cellTitle(int column) const;
    TitleAttributes cellAttributes(int column) const;
    void setCellTitle(int column, const QString& title, const TitleAttributes& attributes);
    // What a screen reader calls the cell; its title unless set.
    QString cellName(int column) const;
    void setCellName(int column, const QString& name);
    // Selects the cell and sends activated, as a click on it does.
    void activateColumn(int column);

    // Where a cell lies in the selector, and which cell is at a point (-1: none).
    static QRectF cellFrame(int column);
    int columnAt(QPointF point) const;

    Layer* layer() const { return m_layer.get(); }

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;

Q_SIGNALS:
    void activated(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QStringList m_titles;
    QStringList m_names;
    QList<TitleAttributes> m_attributes;
    int m_selectedColumn = 0;
    int m_pressedColumn = -1;
    std::shared_ptr<Layer> m_layer;
};
