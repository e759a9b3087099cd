#pragma once

#include <QFrame>
#include <QPointer>

// A small pop-up panel anchored under a control; a click anywhere outside it
// closes it. The content widget is shown and hidden with it, so the content
// learns of both through its own show and hide events.
class Popover : public QFrame {
    Q_OBJECT
public:
    explicit Popover(QWidget* parent = nullptr);

    QWidget* contentWidget() const { return m_content; }
    void setContentWidget(QWidget* content);

    bool isShown() const { return isVisible(); }
    // Opens under the anchor, centred on it, kept on the anchor's screen.
    void showRelativeTo(QWidget* anchor);
    void performClose();

    // Where the panel's top-left corner goes for an anchor at this place on
    // the screen.
    static QPoint placement(const QRect& anchorOnScreen, const QSize& size, const QRect& screen);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QWidget* m_content = nullptr;
    QPointer<QWidget> m_anchor;
};
