#include "WindowScreenshot.h"

#include "SetupViewController.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

WindowScreenshot::WindowScreenshot(QWidget* window, SetupViewController* controller,
                                   const QString& file, int waitMs, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_controller(controller)
    , m_file(file)
    , m_waitMs(waitMs)
    , m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &WindowScreenshot::readyToShoot);
}

void WindowScreenshot::start() {
    connect(m_controller, &SetupViewController::readingsShown, this, [this] {
        if (m_controller && m_controller->showsReadings()) {
            readyToShoot();
        }
    });
    m_deadline->start(m_waitMs);
}

void WindowScreenshot::readyToShoot() {
    if (m_scheduled) {
        return;
    }
    m_scheduled = true;
    m_deadline->stop();
    QTimer::singleShot(kSettleMs, this, &WindowScreenshot::shoot);
}

void WindowScreenshot::shoot() {
    const bool saved = m_window && m_window->grab().save(m_file);
    Q_EMIT finished(saved);
}
