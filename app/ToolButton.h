#pragma once

#include <QAbstractButton>

class ToolButtonDelegate;

// The small gear inside a tile: an image without title or border that turns
// fully opaque while the mouse is over it.
class ToolButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToolButton(QWidget* parent = nullptr);

    // Not owned; the tile that creates the button outlives it.
    ToolButtonDelegate* delegate() const { return m_delegate; }
    void setDelegate(ToolButtonDelegate* delegate) { m_delegate = delegate; }

    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);
    qreal originalAlpha() const { return m_originalAlpha; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ToolButtonDelegate* m_delegate = nullptr;
    qreal m_opacity = 1.0;
    qreal m_originalAlpha = 0.0;
};
