#pragma once

#include "SpokenReading.h"

#include <QColor>
#include <QString>
#include <QWidget>

class Gauge;
class QLabel;

// One reading of the widget: a value above its name on a rounded box. The
// controller sets the name, the value and what the box stands for; the box
// only draws them in the named colours of the current appearance. A screen
// reader reads the box as one text that says the reading.
class WidgetBoxView : public QWidget {
    Q_OBJECT
public:
    explicit WidgetBoxView(QWidget* parent = nullptr);

    QLabel* sensorNameLabel() const { return m_nameLabel; }
    QLabel* sensorValueLabel() const { return m_valueLabel; }
    QColor nameColor() const { return m_nameColor; }
    QColor valueColor() const { return m_valueColor; }
    QColor backColor() const { return m_backColor; }

    // What the box shows: an SMC key code, a fan number or a memory row index.
    quint32 sensorCode() const { return m_sensorCode; }
    void setSensorCode(quint32 code) { m_sensorCode = code; }
    qreal valueFontSize() const { return m_valueFontSize; }
    // Also sets the value label's font: light, of this size.
    void setValueFontSize(qreal size);
    QString sensorName() const { return m_sensorName; }
    // Sets the name and the name label, which cuts a long name at its end.
    void setSensorName(const QString& name);
    QString sensorValue() const { return m_sensorValue; }
    void setSensorValue(const QString& value);

    // The unit of the shown value, for what a screen reader says.
    SpokenReading::Unit readingUnit() const { return m_readingUnit; }
    void setReadingUnit(SpokenReading::Unit unit);
    // The reading as spoken: "CPU, 61 degrees Celsius".
    virtual QString accessibleReading() const;
    // The children a screen reader sees: none but a fan's ring.
    virtual QList<QWidget*> accessibleChildren() const { return {}; }

    // The layout pass: applies the colours and the labels' geometry. The
    // controller calls it after changing what the box shows.
    virtual void layoutBox();

    static QFont systemFont(qreal pixelSize, QFont::Weight weight);
    // Shows a new value on a gauge of the widget. A step under 1 % of the
    // gauge's maximum is drawn at once: its animation would move the ring or
    // bar by a pixel or two yet cost most of what the widget spends while
    // shown, since readings drift a little at every refresh.
    static void showGaugeValue(Gauge* gauge, qreal value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Label frames in the box's y-down coordinates.
    virtual QRect nameLabelFrame() const;
    virtual QRect valueLabelFrame() const;
    // Named colours for the current palette; a fan box has no background.
    virtual void resolveColors();
    void setBackColor(const QColor& color) { m_backColor = color; }
    // A frame given with y pointing up from the box's bottom edge.
    QRect fromBottom(int x, int y, int width, int height) const;
    void notifyReadingChanged();

private:
    void showName();

    QLabel* m_nameLabel;
    QLabel* m_valueLabel;
    QColor m_nameColor;
    QColor m_valueColor;
    QColor m_backColor;
    quint32 m_sensorCode = 0;
    qreal m_valueFontSize = 22;
    QString m_sensorName;
    QString m_sensorValue;
    SpokenReading::Unit m_readingUnit = SpokenReading::Unit::none;
};
