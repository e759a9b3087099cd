#include "AlertRulesViewController.h"

#include "GuardedReply.h"
#include "HistorySeries.h"
#include "OndaraHelperProtocol.h"
#include "OndaraHistoryProtocol.h"
#include "UserUnits.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

namespace {

HistorySeries::Kind kindOf(const QString& name) {
    const auto series = HistorySeries::parse(name);
    return series ? series->kind : HistorySeries::Kind::temperature;
}

} // namespace

AlertRulesViewController::AlertRulesViewController(OndaraHelperProtocol* helper,
                                                   OndaraHistoryProtocol* history, QWidget* parent)
    : QDialog(parent)
    , m_helper(helper)
    , m_history(history)
    , m_table(new QTableWidget(0, 5, this))
    , m_newReading(new QComboBox(this))
    , m_add(new QPushButton(tr("&Add Rule"), this))
    , m_remove(new QPushButton(tr("&Remove Rule"), this))
    , m_status(new QLabel(this)) {
    setWindowTitle(tr("Alert Rules"));
    m_table->setHorizontalHeaderLabels(
        {tr("On"), tr("Reading"), tr("Alert above"), tr("Clears below"), tr("For (s)")});
    m_table->setAccessibleName(tr("Alert rules"));
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(ReadingColumn, QHeaderView::Stretch);
    m_table->setMinimumSize(560, 220);
    m_newReading->setAccessibleName(tr("Reading of a new rule"));
    m_status->setWordWrap(true);
    auto* explanation = new QLabel(
        tr("An alert is raised when a reading stays above its level for the time given, and "
           "cleared once it falls below the lower level. The agent sends a desktop "
           "notification for each, also while Ondara is closed."),
        this);
    explanation->setWordWrap(true);
    auto* close = new QPushButton(tr("Close"), this);
    auto* adding = new QHBoxLayout;
    auto* addLabel = new QLabel(tr("New rule for:"), this);
    addLabel->setBuddy(m_newReading);
    adding->addWidget(addLabel);
    adding->addWidget(m_newReading, 1);
    adding->addWidget(m_add);
    adding->addWidget(m_remove);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(m_table, 1);
    layout->addLayout(adding);
    layout->addLayout(bottom);

    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_filling && item->column() == OnColumn) {
            store(ruleInRow(item->row()));
        }
    });
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(!m_table->selectedItems().isEmpty()); });
    connect(m_add, &QPushButton::clicked, this, &AlertRulesViewController::addRule);
    connect(m_remove, &QPushButton::clicked, this, &AlertRulesViewController::removeRule);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    m_remove->setEnabled(false);
    reload();
}

void AlertRulesViewController::reload() {
    if (!m_history) {
        return;
    }
    // The names, units and series first, then the rules: one picture of them
    // all. The agent's two interfaces answer in no fixed order between them,
    // so the rules are asked for once the names are in.
    const auto askRules = [](AlertRulesViewController& window) {
        auto series = std::make_shared<QStringList>();
        const auto failed =
            guardedReply(&window, [](AlertRulesViewController& self, const QString& reason) {
                self.m_status->setText(tr("The agent did not answer: %1").arg(reason));
            });
        window.m_history->series(
            guardedReply(&window, [series](AlertRulesViewController&,
                                           const QStringList& names) { *series = names; }),
            failed);
        window.m_history->rules(
            guardedReply(&window,
                         [series](AlertRulesViewController& self, const QList<AlertRule>& rules) {
                             self.showRules(rules, *series);
                         }),
            failed);
    };
    if (!m_helper) {
        askRules(*this);
        return;
    }
    m_helper->sensorUnits(
        guardedReply(this, [](AlertRulesViewController& window, const QList<int>& units) {
            window.m_units = units;
        }));
    SeriesLabels::fetch(*m_helper, guardedReply(this, [askRules](AlertRulesViewController& window,
                                                                 const SeriesLabels& labels) {
        window.m_labels = labels;
        askRules(window);
    }));
}

void AlertRulesViewController::showRules(const QList<AlertRule>& rules, const QStringList& series) {
    m_filling = true;
    m_rules = rules;
    const UserUnits units(m_units);
    m_table->setRowCount(int(rules.size()));
    for (int row = 0; row < rules.size(); ++row) {
        const AlertRule& rule = rules[row];
        const HistorySeries::Kind kind = kindOf(rule.series);
        const int maxSpeed = m_labels.maxSpeed(rule.series);
        const bool stopped = kind == HistorySeries::Kind::stoppedFan;
        QString name =
            stopped ? tr("%1 stops").arg(m_labels.name(rule.series)) : m_labels.name(rule.series);
        if (rule.raised) {
            name = tr("%1 (raised)").arg(name);
        }
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        on->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
        on->setData(Qt::AccessibleTextRole, tr("Alert for %1 on").arg(name));
        m_table->setItem(row, OnColumn, on);
        auto* reading = new QTableWidgetItem(name);
        reading->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        reading->setToolTip(rule.series);
        m_table->setItem(row, ReadingColumn, reading);

        m_table->removeCellWidget(row, AboveColumn);
        m_table->removeCellWidget(row, ClearColumn);
        if (m_table->columnSpan(row, AboveColumn) > 1) {
            m_table->setSpan(row, AboveColumn, 1, 1);
        }
        if (stopped) {
            m_table->setSpan(row, AboveColumn, 1, 2);
            auto* text = new QTableWidgetItem(tr("when it stands although it should turn"));
            text->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_table->setItem(row, AboveColumn, text);
        } else {
            const int decimals = kind == HistorySeries::Kind::memory ? 2 : 0;
            for (const auto& [column, fixed, label] :
                 {std::tuple{AboveColumn, rule.above, tr("Alert above")},
                  std::tuple{ClearColumn, rule.clearBelow, tr("Clears below")}}) {
                auto* level = new QDoubleSpinBox;
                level->setDecimals(decimals);
                level->setRange(-1e6, 1e6);
                level->setSuffix(QLatin1Char(' ') + units.unit(kind, maxSpeed));
                level->setValue(units.shown(kind, fixed, maxSpeed));
                level->setAccessibleName(tr("%1, %2").arg(label, name));
                level->setKeyboardTracking(false);
                connect(level, &QDoubleSpinBox::valueChanged, this, [this, row] {
                    if (!m_filling) {
                        store(ruleInRow(row));
                    }
                });
                m_table->setCellWidget(row, column, level);
            }
        }
        auto* seconds = new QSpinBox;
        seconds->setRange(0, int(AlertRule::maximumForSeconds));
        seconds->setValue(int(rule.forSeconds));
        seconds->setAccessibleName(tr("Seconds above, %1").arg(name));
        seconds->setKeyboardTracking(false);
        connect(seconds, &QSpinBox::valueChanged, this, [this, row] {
            if (!m_filling) {
                store(ruleInRow(row));
            }
        });
        m_table->setCellWidget(row, ForColumn, seconds);
    }
    m_table->resizeColumnToContents(OnColumn);

    // Readings without a rule, and the stopped-fan watch of every fan.
    m_newReading->clear();
    QStringList candidates;
    for (const QString& name : series) {
        candidates.append(name);
        if (const auto parsed = HistorySeries::parse(name);
            parsed && parsed->kind == HistorySeries::Kind::fan) {
            candidates.append(HistorySeries::stoppedFan(parsed->fan));
        }
    }
    for (const QString& name : std::as_const(candidates)) {
        const bool taken =
            std::any_of(rules.cbegin(), rules.cend(),
                        [&name](const AlertRule& rule) { return rule.series == name; });
        if (!taken) {
            m_newReading->addItem(kindOf(name) == HistorySeries::Kind::stoppedFan
                                      ? tr("%1 stops").arg(m_labels.name(name))
                                      : m_labels.name(name),
                                  name);
        }
    }
    m_add->setEnabled(m_newReading->count() > 0);
    m_filling = false;
    Q_EMIT rulesShown();
}

AlertRule AlertRulesViewController::ruleInRow(int row) const {
    AlertRule rule = m_rules.value(row);
    rule.raised = false;
    rule.raisedValue = 0;
    const UserUnits units(m_units);
    const HistorySeries::Kind kind = kindOf(rule.series);
    const int maxSpeed = m_labels.maxSpeed(rule.series);
    if (const QTableWidgetItem* on = m_table->item(row, OnColumn)) {
        rule.enabled = on->checkState() == Qt::Checked;
    }
    if (auto* above = qobject_cast<QDoubleSpinBox*>(m_table->cellWidget(row, AboveColumn))) {
        rule.above = units.fixed(kind, above->value(), maxSpeed);
    }
    if (auto* clear = qobject_cast<QDoubleSpinBox*>(m_table->cellWidget(row, ClearColumn))) {
        rule.clearBelow = units.fixed(kind, clear->value(), maxSpeed);
    }
    if (auto* seconds = qobject_cast<QSpinBox*>(m_table->cellWidget(row, ForColumn))) {
        rule.forSeconds = quint32(seconds->value());
    }
    return rule;
}

void AlertRulesViewController::store(const AlertRule& rule) {
    if (!m_history || rule.series.isEmpty()) {
        return;
    }
    m_history->setRule(
        rule,
        guardedReply(this,
                     [rule](AlertRulesViewController& window) {
                         // The rows stay as they are, so the one being edited keeps its focus.
                         for (AlertRule& shown : window.m_rules) {
                             if (shown.series == rule.series) {
                                 shown = rule;
                             }
                         }
                         const bool added =
                             std::none_of(window.m_rules.cbegin(), window.m_rules.cend(),
                                          [&rule](const AlertRule& shown) {
                                              return shown.series == rule.series;
                                          });
                         window.m_status->setText(tr("Saved."));
                         Q_EMIT window.rulesChanged();
                         if (added) {
                             window.reload();
                         }
                     }),
        guardedReply(this, [](AlertRulesViewController& window, const QString& reason) {
            window.m_status->setText(tr("Not saved: %1").arg(reason));
            window.reload();
        }));
}

AlertRule AlertRulesViewController::proposedRule(const QString& series) const {
    switch (kindOf(series)) {
    case HistorySeries::Kind::temperature:
        return {series, 80, 75, 30, true};
    case HistorySeries::Kind::fan: {
        const int maxSpeed = m_labels.maxSpeed(series);
        const double above = maxSpeed > 0 ? maxSpeed : 6000;
        return {series, above, above * 0.9, 30, true};
    }
    case HistorySeries::Kind::stoppedFan:
        return {series, 0, 0, 30, true};
    case HistorySeries::Kind::memory:
        return {series, 8, 7, 120, true};
    }
    return {series, 0, 0, 30, true};
}

void AlertRulesViewController::addRule() {
    const QString series = m_newReading->currentData().toString();
    if (!series.isEmpty()) {
        store(proposedRule(series));
    }
}

void AlertRulesViewController::removeRule() {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty() || !m_history) {
        return;
    }
    const QString series = m_rules.value(selected.first()->row()).series;
    m_history->removeRule(
        series,
        guardedReply(this,
                     [](AlertRulesViewController& window) {
                         window.m_status->setText(tr("Removed."));
                         Q_EMIT window.rulesChanged();
                         window.reload();
                     }),
        guardedReply(this, [](AlertRulesViewController& window, const QString& reason) {
            window.m_status->setText(tr("Not removed: %1").arg(reason));
        }));
}
