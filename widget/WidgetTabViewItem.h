#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class QFont;
class QPainter;

// One tab of the widget: the page the tab shows, with the identifier the
// controller finds it by and the label its tab cell draws. Every tab cell is
// 66 points wide whatever its label, so the tabs line up as a fixed row.
class WidgetTabViewItem : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier)
    Q_PROPERTY(QString label READ label WRITE setLabel)
public:
    static constexpr int kLabelWidth = 66;

    explicit WidgetTabViewItem(QWidget* parent = nullptr);

    QString identifier() const { return m_identifier; }
    void setIdentifier(const QString& identifier) { m_identifier = identifier; }
    QString label() const { return m_label; }
    void setLabel(const QString& label) { m_label = label; }

    // The label cell's size: the height the tab bar asks for, 66 wide.
    static QSize sizeOfLabel(QSize proposed);
    // Where a label this wide is drawn inside its cell: centred on whole points.
    static QRect labelRect(const QRect& cell, int textWidth);
    // Draws the label centred in the cell with the tab view's font.
    void drawLabel(QPainter* painter, const QRect& cell, const QFont& font) const;

private:
    QString m_identifier;
    QString m_label;
};
