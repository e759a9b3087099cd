#pragma once

#include "AlertRule.h"
#include "SeriesLabels.h"

#include <QDialog>
#include <QList>

class OndaraHelperProtocol;
class OndaraHistoryProtocol;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The alert rules, one row each: whether it is on, the reading, the level
// above which it raises, the level below which it clears and how long the
// reading must stay above, in the user's units. Every change goes to the
// agent at once; what the agent refuses is said below the table and the
// row shows the stored rule again. The agent notifies, whether or not this
// window (or the application) is open.
class AlertRulesViewController : public QDialog {
    Q_OBJECT
public:
    enum Column { OnColumn, ReadingColumn, AboveColumn, ClearColumn, ForColumn };

    AlertRulesViewController(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history,
                             QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QComboBox* newRuleReading() const { return m_newReading; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QLabel* status() const { return m_status; }
    const QList<AlertRule>& rules() const { return m_rules; }

    // The rule a row shows now, thresholds back in the agent's units.
    AlertRule ruleInRow(int row) const;

public Q_SLOTS:
    // Asks the agent for its rules and readings again.
    void reload();

Q_SIGNALS:
    // The rules (and the readings a rule can be added for) are shown.
    void rulesShown();
    // The agent stored a change.
    void rulesChanged();

private:
    void showRules(const QList<AlertRule>& rules, const QStringList& series);
    void store(const AlertRule& rule);
    void addRule();
    void removeRule();
    // A new rule's levels for a reading, in the agent's units.
    AlertRule proposedRule(const QString& series) const;

    OndaraHelperProtocol* m_helper;
    OndaraHistoryProtocol* m_history;
    QTableWidget* m_table;
    QComboBox* m_newReading;
    QPushButton* m_add;
    QPushButton* m_remove;
    QLabel* m_status;
    QList<AlertRule> m_rules;
    QList<int> m_units;
    SeriesLabels m_labels;
    bool m_filling = false;
};
