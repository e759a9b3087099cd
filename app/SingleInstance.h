#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// One application per user session. The first start takes the bus name
// "com.quillbank.Ondara" and serves a small interface on it; a later start
// finds the name taken, asks the first one to come forward (passing on the
// ondara:// address it was opened with) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quillbank.Ondara")
public:
    static const QString serviceName;

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);

    // True when this process now serves the name (or no bus exists, so there is
    // no one else to defer to).
    bool claim();
    // Asks the instance serving the name to come forward; false when none answers.
    bool activateRunning(const QString& url);

public Q_SLOTS:
    Q_SCRIPTABLE void activate(const QString& url);

Q_SIGNALS:
    void activated(const QString& url);

private:
    QDBusConnection m_bus;
};
