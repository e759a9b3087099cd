#pragma once

#include <QStringList>
#include <QWidget>

// A row of mutually exclusive text segments in one rounded frame, the unit
// selectors of the setup window. A click on a segment selects it and sends
// activated; selecting from code sends nothing.
class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList segments READ segments WRITE setSegments)
    Q_PROPERTY(int selectedSegment READ selectedSegment WRITE setSelectedSegment)
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    QStringList segments() const { return m_segments; }
    void setSegments(const QStringList& segments);
    // -1 when none is selected.
    int selectedSegment() const { return m_selected; }
    void setSelectedSegment(int segment);

    QRect segmentRect(int segment) const;
    int segmentAt(const QPoint& point) const;

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void activated(int segment);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int segmentWidth() const;

    QStringList m_segments;
    int m_selected = -1;
};
