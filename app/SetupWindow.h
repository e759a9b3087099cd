#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QSize>

class QScrollArea;
class SetupViewController;

// The application's window around the setup view. The panels keep the
// geometry they are designed with: the window may grow or be maximised, and
// the panels then stay centred on the window's background colour; where the
// screen is too small for them (a 1080-line screen at twice the scale) the
// window opens as large as the screen allows and the panels scroll.
//
// Until the user resizes it, the window follows the panels' size (a panel
// that shows a third row of tiles makes it taller).
class SetupWindow : public QMainWindow {
    Q_OBJECT
public:
    // What window frames take beyond the window's own area, when the window
    // manager has not said yet: a title bar and thin borders.
    static constexpr QMargins kAssumedFrame{4, 32, 4, 4};

    explicit SetupWindow(SetupViewController* controller, QWidget* parent = nullptr);

    SetupViewController* controller() const { return m_controller; }
    QScrollArea* scrollArea() const { return m_scrollArea; }

    // The window's size for panels of this size under a menu bar this tall:
    // all of them where the screen's free area allows, else as much as it
    // does once the frame is counted.
    static QSize fittedSize(QSize panels, int menuBarHeight, const QRect& available,
                            const QMargins& frame);
    // The frame the window manager draws, or the assumed one before it said.
    QMargins frameMargins() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitToPanels();
    void applyBackground();

    SetupViewController* m_controller;
    QScrollArea* m_scrollArea;
    QSize m_fitted;
};
