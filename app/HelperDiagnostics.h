#pragma once

#include "ipc/HelperPresence.h"

#include <QObject>
#include <QStringList>
#include <functional>

class HelperBanner;
class HelperStarter;

// What Help → Copy Diagnostics copies: the installation's own lines, then what
// became of the agent: whether it took its name after the start, each later
// stop or return (a stop with the agent's own reason), and what the window's
// banner says now. Each line also goes to the log as it happens. The start
// line says only what was seen: a name on the bus is not yet an answer, so an
// agent that stops at its first call is reported as stopped right after it.
class HelperDiagnostics : public QObject {
    Q_OBJECT
public:
    // At most this many lines about later stops and returns are kept, the
    // newest; an agent that comes and goes all day must not grow the text.
    static constexpr int kKeptEvents = 20;

    HelperDiagnostics(HelperPresence* presence, HelperStarter* starter, const HelperBanner* banner,
                      std::function<QString()> installationText, QObject* parent = nullptr);

    QString text() const;
    // The start has been checked: the agent came, stopped or did not answer.
    bool startChecked() const { return m_startChecked; }

Q_SIGNALS:
    void startCheckFinished();

private:
    void startFinished(bool came, const QString& why);
    void stateChanged(HelperPresence::State state);
    void append(const QString& line, bool problem);
    static void log(const QString& line, bool problem);

    HelperPresence* m_presence;
    const HelperBanner* m_banner;
    std::function<QString()> m_installationText;
    QString m_startLine;
    QStringList m_events;
    HelperPresence::State m_reported = HelperPresence::State::connected;
    bool m_startChecked = false;
};
