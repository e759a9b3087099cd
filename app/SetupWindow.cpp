#include "SetupWindow.h"

#include "NamedAssets.h"
#include "SetupViewController.h"

#include <QEvent>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

SetupWindow::SetupWindow(SetupViewController* controller, QWidget* parent)
    : QMainWindow(parent)
    , m_controller(controller)
    , m_scrollArea(new QScrollArea(this)) {
    setWindowTitle(controller->windowTitle());
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The panels' controls are the tab stops, not the area around them.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setAlignment(Qt::AlignCenter);
    m_scrollArea->setWidgetResizable(false);
    m_scrollArea->setWidget(controller);
    setCentralWidget(m_scrollArea);
    controller->installEventFilter(this);
    applyBackground();
    fitToPanels();
}

QSize SetupWindow::fittedSize(QSize panels, int menuBarHeight, const QRect& available,
                              const QMargins& frame) {
    QSize wanted(panels.width(), panels.height() + menuBarHeight);
    if (available.isEmpty()) {
        return wanted;
    }
    const QSize room = available.marginsRemoved(frame).size();
    return wanted.boundedTo(room);
}

QMargins SetupWindow::frameMargins() const {
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins told(inner.left() - frame.left(), inner.top() - frame.top(),
                        frame.right() - inner.right(), frame.bottom() - inner.bottom());
    return told.isNull() ? kAssumedFrame : told;
}

void SetupWindow::fitToPanels() {
    // A window the user sized or maximised keeps its size.
    if (isMaximized() || isFullScreen() || (m_fitted.isValid() && size() != m_fitted)) {
        return;
    }
    const QScreen* shownOn = screen();
    const QRect available = shownOn ? shownOn->availableGeometry() : QRect();
    const int menu = menuBar()->isVisible() || !isVisible() ? menuBar()->sizeHint().height() : 0;
    m_fitted = fittedSize(m_controller->size(), menu, available, frameMargins());
    resize(m_fitted);
    if (isVisible() && !available.isEmpty()) {
        // Keep the whole frame on the screen, the title bar above all.
        const QRect frame = frameGeometry();
        QPoint corner = frame.topLeft();
        corner.setX(std::clamp(corner.x(), available.left(),
                               std::max(available.left(), available.right() - frame.width() + 1)));
        corner.setY(std::clamp(corner.y(), available.top(),
                               std::max(available.top(), available.bottom() - frame.height() + 1)));
        if (corner != frame.topLeft()) {
            move(corner);
        }
    }
}

bool SetupWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_controller && event->type() == QEvent::Resize) {
        fitToPanels();
    }
    return QMainWindow::eventFilter(watched, event);
}

void SetupWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window manager tells its frame only once the window is mapped;
    // what it tells may leave less room than was assumed.
    QTimer::singleShot(0, this, &SetupWindow::fitToPanels);
}

void SetupWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyBackground();
    }
}

void SetupWindow::applyBackground() {
    // Around the panels, the window's own colour: no band of another grey
    // where the panels end.
    QPalette background = m_scrollArea->palette();
    background.setColor(QPalette::Window,
                        NamedAssets::shared().color(QStringLiteral("BackColor"), palette()));
    m_scrollArea->setPalette(background);
    m_scrollArea->viewport()->setAutoFillBackground(true);
    m_scrollArea->viewport()->setBackgroundRole(QPalette::Window);
}
