#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;
class QWidget;
class SetupViewController;

// Renders the window into a picture once it shows readings of every section
// (or when the wait runs out, with whatever it shows then), after the
// tiles' animations have settled.
class WindowScreenshot : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultWaitMs = 10000;
    static constexpr int kSettleMs = 600;

    WindowScreenshot(QWidget* window, SetupViewController* controller, const QString& file,
                     int waitMs = kDefaultWaitMs, QObject* parent = nullptr);

    void start();

Q_SIGNALS:
    // saved: the picture was written.
    void finished(bool saved);

private:
    void readyToShoot();
    void shoot();

    QPointer<QWidget> m_window;
    QPointer<SetupViewController> m_controller;
    QString m_file;
    int m_waitMs;
    bool m_scheduled = false;
    QTimer* m_deadline;
};
