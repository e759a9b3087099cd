#pragma once

#include "SensorRecords.h"
#include "SetupViewController.h"
#include "SpokenReading.h"
#include "ToolButtonDelegate.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

class BoxViewDelegate;
class OndaraHelperProtocol;
class Popover;
class QLabel;
class SensorListViewController;

class ToolButton;

// One reading of the setup window as a rounded tile: a large value over a
// name. Hovering outlines it, a click selects or deselects the reading for
// the widget, and temperature tiles with alternative sensors carry a gear
// that opens the sensor chooser.
//
// Positions follow the tile's own drawing, which is laid out from the bottom
// edge up (y grows upward); labelFrame and friends turn them into widget
// coordinates for the current size.
//
// With the keyboard, Space or Enter does what a click does, and the Menu key
// or Ctrl+Enter opens the chooser where the tile has a gear; a ring in the
// palette's highlight, inside the tile's outline, shows the focus. Which tile
// of a panel the Tab key reaches, and the arrow keys between tiles, are the
// panel's (BoxFocusGroup). A screen reader sees the tile as a check box.
class BoxView : public QWidget, public ToolButtonDelegate {
    Q_OBJECT
public:
    static constexpr qreal kDefaultValueFontSize = 24.0;
    static constexpr int kGearSize = 20;
    static constexpr int kGearInset = 5;

    explicit BoxView(QWidget* parent = nullptr);
    ~BoxView() override;

    // Not owned: the window that owns the tile.
    BoxViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(BoxViewDelegate* delegate) { m_delegate = delegate; }

    QLabel* sensorNameLabel() const { return m_sensorNameLabel; }
    QLabel* sensorValueLabel() const { return m_sensorValueLabel; }
    // Null once the window has taken the gear away from this tile.
    ToolButton* gearButton() const { return m_gearRemoved ? nullptr : m_gearButton; }
    void removeGearButton();
    void restoreGearButton();

    QString sensorName() const { return m_sensorName; }
    void setSensorName(const QString& name);
    QString sensorValue() const { return m_sensorValue; }
    void setSensorValue(const QString& value);
    qreal valueFontSize() const { return m_valueFontSize; }
    void setValueFontSize(qreal size);
    quint32 sensorCode() const { return m_sensorCode; }
    void setSensorCode(quint32 code) { m_sensorCode = code; }
    QString sensorKey() const { return m_sensorKey; }
    void setSensorKey(const QString& key) { m_sensorKey = key; }

    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected);
    bool isSelectable() const { return m_isSelectable; }
    void setIsSelectable(bool selectable) { m_isSelectable = selectable; }

    // Passed on to the chooser when the gear is pressed; neither is owned.
    OndaraHelperProtocol* helper() const { return m_helper; }
    void setHelper(OndaraHelperProtocol* helper) { m_helper = helper; }
    SetupViewController* setupVC() const { return m_setupVC; }
    void setSetupVC(SetupViewController* controller);
    QList<SensorCandidate> sensors() const { return m_sensors; }
    void setSensors(const QList<SensorCandidate>& sensors) { m_sensors = sensors; }
    QString componentName() const { return m_componentName; }
    void setComponentName(const QString& name) { m_componentName = name; }

    Popover* popover() const { return m_popover; }
    SensorListViewController* sensorListVC() const { return m_sensorListVC; }

    QColor selectedColor() const { return m_selectedColor; }
    QColor unselectedColor() const { return m_unselectedColor; }
    QColor borderColor() const { return m_borderColor; }
    qreal borderWidth() const { return m_borderWidth; }
    bool isHovered() const { return m_hovered; }

    // Border from the selection, one point wide.
    void updateBorder();
    // Opens the chooser under the gear, or closes it when it is open.
    void gearButtonPressed();

    // What a click does: toggles the selection when selectable, then tells
    // the delegate either way.
    void performClick();
    // The tile has a gear, so it can open the chooser.
    bool hasChooser() const { return !m_gearRemoved; }
    // Opens the chooser (the gear's press) where the tile has one.
    void openChooser();

    // The unit the shown value is in, for what a screen reader says.
    SpokenReading::Unit readingUnit() const { return m_readingUnit; }
    void setReadingUnit(SpokenReading::Unit unit);
    // The reading as spoken: "CPU, 61 degrees Celsius".
    virtual QString accessibleReading() const;
    // What a click does, in the words of the help line.
    QString clickDescription() const;
    // The children a screen reader sees: the gear where the tile has one.
    virtual QList<QWidget*> accessibleChildren() const;

    // The help line's words for a tile and its gear.
    static QString addText(const QString& name);
    static QString removeText(const QString& name);
    static QString showSensorsText(const QString& name);

    void toolButtonEntered(ToolButton* button) override;
    void toolButtonExited(ToolButton* button) override;

    // A frame given from the bottom edge up, in widget coordinates.
    static QRect flipped(const QRect& fromBottom, int boxHeight);

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // Places the labels and the gear for the current size.
    virtual void layoutContents();
    // Named colours for the current palette.
    virtual void resolveColors();
    QColor nameColor() const { return m_nameColor; }
    QColor valueColor() const { return m_valueColor; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tells a screen reader that what the tile reads has changed.
    void notifyReadingChanged();

private:
    void setBorder(const QColor& color, qreal width);
    // The outline, the gear and the help line of a tile under the pointer.
    void beginHover();
    void endHover();

    BoxViewDelegate* m_delegate = nullptr;
    QLabel* m_sensorNameLabel = nullptr;
    QLabel* m_sensorValueLabel = nullptr;
    ToolButton* m_gearButton = nullptr;
    bool m_gearRemoved = false;
    QString m_sensorName;
    QString m_sensorValue;
    qreal m_valueFontSize = kDefaultValueFontSize;
    int m_valueLabelBottom = 42;
    quint32 m_sensorCode = 0;
    QString m_sensorKey = QStringLiteral("0");
    QColor m_selectedColor;
    QColor m_unselectedColor;
    QColor m_nameColor;
    QColor m_valueColor;
    QColor m_backColor;
    QColor m_borderColor;
    qreal m_borderWidth = 1.0;
    bool m_isSelected = false;
    bool m_isSelectable = true;
    bool m_hovered = false;
    SpokenReading::Unit m_readingUnit = SpokenReading::Unit::none;
    Popover* m_popover = nullptr;
    SensorListViewController* m_sensorListVC = nullptr;
    OndaraHelperProtocol* m_helper = nullptr;
    QPointer<SetupViewController> m_setupVC;
    QList<SensorCandidate> m_sensors;
    QString m_componentName;
};
