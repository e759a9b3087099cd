#include "HistoryViewController.h"

#include "GuardedReply.h"
#include "HistoryChartView.h"
#include "HistorySeries.h"
#include "NamedAssets.h"
#include "OndaraHelperProtocol.h"
#include "OndaraHistoryProtocol.h"
#include "SegmentedControl.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kDefaultIntervalSeconds = 5;

} // namespace

const QList<qint64>& HistoryViewController::rangesMs() {
    static const QList<qint64> ranges{15LL * 60 * 1000, 60LL * 60 * 1000, 6LL * 60 * 60 * 1000,
                                      24LL * 60 * 60 * 1000};
    return ranges;
}

HistoryViewController::HistoryViewController(OndaraHelperProtocol* helper,
                                             OndaraHistoryProtocol* history, QWidget* parent)
    : QWidget(parent)
    , m_helper(helper)
    , m_history(history)
    , m_chart(new HistoryChartView(this))
    , m_chooser(new QComboBox(this))
    , m_ranges(new SegmentedControl(this))
    , m_readout(new QLabel(this))
    , m_rulesButton(new QPushButton(tr("Alert Rules…"), this))
    , m_timer(new QTimer(this)) {
    setWindowTitle(tr("History"));
    auto* chooserLabel = new QLabel(tr("&Reading:"), this);
    chooserLabel->setBuddy(m_chooser);
    m_chooser->setAccessibleName(tr("Reading"));
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_ranges->setSegments({tr("15 min"), tr("1 hour"), tr("6 hours"), tr("1 day")});
    m_ranges->setSelectedSegment(m_range);
    m_ranges->setAccessibleName(tr("Time shown"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readout->setMinimumHeight(m_readout->fontMetrics().height() + 4);
    auto* close = new QPushButton(tr("Close"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(chooserLabel);
    top->addWidget(m_chooser);
    top->addStretch();
    top->addWidget(m_ranges);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_rulesButton);
    bottom->addStretch();
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addLayout(top);
    layout->addWidget(m_chart, 1);
    layout->addWidget(m_readout);
    layout->addLayout(bottom);
    setTabOrder(m_chooser, m_ranges);
    setTabOrder(m_ranges, m_chart);
    setTabOrder(m_chart, m_rulesButton);
    setTabOrder(m_rulesButton, close);

    connect(m_chooser, &QComboBox::activated, this, [this](int index) {
        m_series = m_chooser->itemData(index).toString();
        m_wanted = m_series;
        m_chart->setCursor(-1);
        refresh();
    });
    connect(m_ranges, &SegmentedControl::activated, this, &HistoryViewController::setRange);
    connect(m_chart, &HistoryChartView::cursorChanged, this, &HistoryViewController::updateReadout);
    connect(m_rulesButton, &QPushButton::clicked, this,
            &HistoryViewController::alertRulesRequested);
    connect(close, &QPushButton::clicked, this, [this] { window()->close(); });
    connect(m_timer, &QTimer::timeout, this, &HistoryViewController::refresh);
    m_timer->setInterval(kDefaultIntervalSeconds * 1000);

    if (m_history) {
        m_history->interval(guardedReply(this,
                                         [](HistoryViewController& window, quint32 seconds) {
                                             if (seconds > 0) {
                                                 window.m_timer->setInterval(int(seconds) * 1000);
                                             }
                                         }),
                            {});
        m_history->series(
            guardedReply(this, [](HistoryViewController& window,
                                  const QStringList& series) { window.fillChooser(series); }),
            guardedReply(this, [](HistoryViewController& window, const QString& reason) {
                window.failed(reason);
            }));
    }
}

void HistoryViewController::showSeries(const QString& series) {
    m_wanted = series;
    const int index = m_chooser->findData(series);
    if (index >= 0) {
        m_chooser->setCurrentIndex(index);
        m_series = series;
        refresh();
    }
}

void HistoryViewController::setRange(int index) {
    if (index < 0 || index >= rangesMs().size()) {
        return;
    }
    m_range = index;
    m_ranges->setSelectedSegment(index);
    refresh();
}

void HistoryViewController::fillChooser(const QStringList& series) {
    const auto fill = [this, series] {
        const QStringList ordered = m_labels.ordered(series);
        m_chooser->clear();
        for (const QString& name : ordered) {
            m_chooser->addItem(m_labels.name(name), name);
        }
        QString chosen = m_wanted;
        if (m_chooser->findData(chosen) < 0) {
            chosen = ordered.isEmpty() ? QString() : ordered.first();
        }
        m_series = chosen;
        m_chooser->setCurrentIndex(std::max(0, m_chooser->findData(chosen)));
        refresh();
    };
    if (!m_helper) {
        fill();
        return;
    }
    // Names as the setup window shows them.
    SeriesLabels::fetch(*m_helper, guardedReply(this, [fill](HistoryViewController& window,
                                                             const SeriesLabels& labels) {
        window.m_labels = labels;
        fill();
    }));
}

void HistoryViewController::refresh() {
    if (!m_history || m_series.isEmpty()) {
        if (m_history && m_chooser->count() == 0) {
            m_chart->setHistory(QString(), {}, 0, 1);
            updateReadout();
            Q_EMIT historyShown();
        }
        return;
    }
    const int round = ++m_round;
    const QString series = m_series;
    const qint64 until = QDateTime::currentMSecsSinceEpoch();
    const qint64 since = until - rangesMs().value(m_range);
    if (m_helper) {
        m_helper->sensorUnits(
            guardedReply(this, [](HistoryViewController& window, const QList<int>& units) {
                window.m_units = units;
            }));
    }
    m_history->rules(
        guardedReply(this,
                     [series](HistoryViewController& window, const QList<AlertRule>& rules) {
                         std::optional<double> above;
                         bool enabled = false;
                         for (const AlertRule& rule : rules) {
                             if (rule.series == series) {
                                 above = rule.above;
                                 enabled = rule.enabled;
                             }
                         }
                         if (window.m_series == series) {
                             window.m_chart->setThreshold(above, enabled);
                         }
                     }),
        {});
    // About a bucket per pixel of the plot, so bands show what each pixel covers.
    const quint32 points =
        quint32(std::clamp(int(m_chart->plotRect(QRectF(m_chart->rect())).width()), 60, 1200));
    m_history->samples(
        series, since, until, points,
        guardedReply(this,
                     [round, series, since, until](HistoryViewController& window,
                                                   const QList<HistoryBucket>& buckets) {
                         if (round != window.m_round) {
                             return;
                         }
                         window.m_problem.clear();
                         window.m_chart->setUnits(UserUnits(window.m_units),
                                                  window.m_labels.maxSpeed(series));
                         window.m_chart->setHistory(series, buckets, since, until);
                         window.m_chart->setAccessibleName(
                             tr("History of %1").arg(window.m_labels.name(series)));
                         window.updateReadout();
                         Q_EMIT window.historyShown();
                     }),
        guardedReply(this, [round](HistoryViewController& window, const QString& reason) {
            if (round == window.m_round) {
                window.failed(reason);
            }
        }));
}

void HistoryViewController::failed(const QString& reason) {
    m_problem = reason;
    m_readout->setText(tr("The agent gave no history: %1").arg(reason));
    Q_EMIT historyShown();
}

void HistoryViewController::updateReadout() {
    const QString cursor = m_chart->cursorText();
    m_readout->setText(cursor.isEmpty() ? m_chart->summaryText() : cursor);
}

void HistoryViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer->start();
    refresh();
}

void HistoryViewController::hideEvent(QHideEvent* event) {
    m_timer->stop();
    QWidget::hideEvent(event);
}

void HistoryViewController::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), NamedAssets::shared().color(QStringLiteral("BackColor"), palette()));
}
