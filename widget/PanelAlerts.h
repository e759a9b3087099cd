#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class HelperPresence;
class OndaraHistoryProxy;

// Which of the agent's alerts are raised now, for the panel's icon. The
// agent's signals only say that something changed: the rules, with their
// state, are asked again then, at start and when the agent (re)appears, so
// a signal that was missed heals at the next. Never asked per refresh. An
// agent that has no alerts (an error reply) has none raised; one that did
// not answer in time keeps what it had raised and is asked again at the
// next refresh.
class PanelAlerts : public QObject {
    Q_OBJECT
public:
    // history may be null (no alerts); both must outlive this object.
    PanelAlerts(OndaraHistoryProxy* history, HelperPresence* presence, QObject* parent = nullptr);
    ~PanelAlerts() override;

    // The series of the raised alerts, named as the readings' series are:
    // a stopped-fan watch counts for its fan ("fan:0").
    const QSet<QString>& raised() const { return m_raised; }

public Q_SLOTS:
    // One question at a time: asking while one is on its way asks once
    // more when it is answered, however often that was.
    void ask();
    // A refresh came: asks again if the last question went unanswered.
    void refreshed();

Q_SIGNALS:
    void changed();

private:
    void answered(const QSet<QString>& raised);

    OndaraHistoryProxy* m_history;
    QSet<QString> m_raised;
    bool m_asking = false;
    bool m_askAgain = false;
    bool m_unanswered = false;
};
