#include "PanelAlerts.h"

#include "HistorySeries.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHistoryProxy.h"

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
    const QPointer<PanelAlerts> self(this);
    m_history->rules(
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
        [self](const QString&) {
            if (self) {
                self->answered({});
            }
        });
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
