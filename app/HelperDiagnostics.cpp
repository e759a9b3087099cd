#include "HelperDiagnostics.h"

#include "AppLogging.h"
#include "HelperBanner.h"
#include "HelperStarter.h"

#include <QLabel>

HelperDiagnostics::HelperDiagnostics(HelperPresence* presence, HelperStarter* starter,
                                     const HelperBanner* banner,
                                     std::function<QString()> installationText, QObject* parent)
    : QObject(parent)
    , m_presence(presence)
    , m_banner(banner)
    , m_installationText(std::move(installationText)) {
    connect(starter, &HelperStarter::finished, this, &HelperDiagnostics::startFinished);
    connect(presence, &HelperPresence::stateChanged, this, &HelperDiagnostics::stateChanged);
}

void HelperDiagnostics::startFinished(bool came, const QString& why) {
    if (m_startChecked) {
        // A start from the banner or after a crash: its outcome shows as the
        // state it leads to.
        return;
    }
    m_startChecked = true;
    m_reported = m_presence->state();
    m_startLine = came ? QStringLiteral("Helper is on the bus.")
                       : QStringLiteral("ERROR: Helper is not on the bus: %1.").arg(why);
    log(m_startLine, !came);
    Q_EMIT startCheckFinished();
}

void HelperDiagnostics::stateChanged(HelperPresence::State state) {
    // Before the start is checked its line tells; the same state twice is one line.
    if (!m_startChecked || state == m_reported) {
        return;
    }
    m_reported = state;
    switch (state) {
    case HelperPresence::State::connected:
        append(QStringLiteral("Helper is on the bus again."), false);
        break;
    case HelperPresence::State::away:
        append(QStringLiteral("ERROR: Helper went away: it left the bus or stopped answering."),
               true);
        break;
    case HelperPresence::State::stopped: {
        const auto stop = m_presence->stop();
        append(QStringLiteral("ERROR: Helper stopped: %1.")
                   .arg(stop ? stop->message : QStringLiteral("no reason given")),
               true);
        break;
    }
    }
}

void HelperDiagnostics::log(const QString& line, bool problem) {
    if (problem) {
        qCWarning(lcSetupWindow).noquote() << line;
    } else {
        qCInfo(lcSetupWindow).noquote() << line;
    }
}

void HelperDiagnostics::append(const QString& line, bool problem) {
    log(line, problem);
    m_events.append(line);
    while (m_events.size() > kKeptEvents) {
        m_events.removeFirst();
    }
}

QString HelperDiagnostics::text() const {
    QString text = m_installationText();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    if (!m_startLine.isEmpty()) {
        text += m_startLine + QLatin1Char('\n');
    }
    for (const QString& line : m_events) {
        text += line + QLatin1Char('\n');
    }
    if (m_banner && !m_banner->isHidden()) {
        text += QStringLiteral("Window says: %1 %2\n")
                    .arg(m_banner->message()->text(), m_banner->advice()->text());
    }
    return text;
}
