#include "PanelAlerts.h"

#include "HistorySeries.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHistoryProxy.h"

#include <QDBusError>
#include <QPointer>

PanelAlerts::PanelAlerts(OndaraHistoryProxy* history, HelperPresence* presence, QObject* parent)
    : QObject(parent)
    , m_history(history) {
    if (m_history == nullptr) {
        return;
    }
    connect(m_history, &OndaraHistoryProxy::alertRaised, this, &PanelAlerts::ask);
    connect(m_history, &OndaraHistoryProxy::alertCleared, this, &PanelAlerts::ask);
    connect(presence, &HelperPresence::helperAppeared, this, &PanelAlerts::ask);
}

PanelAlerts::~PanelAlerts() = default;

void PanelAlerts::ask() {
    if (m_history == nullptr) {
        return;
    }
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = true;
    m_unanswered = false;
    const QPointer<PanelAlerts> self(this);
    m_history->rulesNamingFailure(
        [self](const QList<AlertRule>& rules) {
            if (!self) {
                return;
            }
            QSet<QString> raised;
            for (const AlertRule& rule : rules) {
                const auto series = HistorySeries::parse(rule.series);
                if (!rule.raised || !series) {
                    continue;
                }
                raised.insert(series->kind == HistorySeries::Kind::stoppedFan
                                  ? series->watchedSeries()
                                  : series->name());
            }
            self->answered(raised);
        },
        [self](const QString& errorName, const QString&) {
            if (!self) {
                return;
            }
            // A busy agent may still have its alerts raised: the red stays
            // until it says otherwise.
            if (errorName == QDBusError::errorString(QDBusError::NoReply) ||
                errorName == QDBusError::errorString(QDBusError::Timeout) ||
                errorName == QDBusError::errorString(QDBusError::TimedOut)) {
                self->m_unanswered = true;
                self->answered(self->m_raised);
            } else {
                self->answered({});
            }
        });
}

void PanelAlerts::refreshed() {
    if (m_unanswered && !m_asking) {
        ask();
    }
}

void PanelAlerts::answered(const QSet<QString>& raised) {
    m_asking = false;
    if (raised != m_raised) {
        m_raised = raised;
        Q_EMIT changed();
    }
    if (m_askAgain) {
        m_askAgain = false;
        ask();
    }
}
