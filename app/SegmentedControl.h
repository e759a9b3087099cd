#pragma once

#include <QStringList>
#include <QWidget>

// A row of mutually exclusive text segments in one rounded frame, the unit
// selectors of the setup window. A click on a segment selects it and sends
// activated; selecting from code sends nothing.
//
// With the keyboard, Left and Right select the neighbouring segment and Space
// or Enter the next one (round again after the last), each as a click does.
// A screen reader sees a group of radio buttons named by segmentNames (the
// words for what the segments abbreviate), the group by the accessible name.
class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList segments READ segments WRITE setSegments)
    Q_PROPERTY(QStringList segmentNames READ segmentNames WRITE setSegmentNames)
    Q_PROPERTY(int selectedSegment READ selectedSegment WRITE setSelectedSegment)
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    QStringList segments() const { return m_segments; }
    void setSegments(const QStringList& segments);
    QStringList segmentNames() const { return m_segmentNames; }
    void setSegmentNames(const QStringList& names) { m_segmentNames = names; }
    // The spoken name of a segment: its name, else its title.
    QString segmentName(int segment) const;
    // Selects the segment and sends activated, as a click does.
    void activateSegment(int segment);
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
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int segmentWidth() const;

    QStringList m_segments;
    QStringList m_segmentNames;
    int m_selected = -1;
};
