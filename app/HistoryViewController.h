#pragma once

#include "SeriesLabels.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class HistoryChartView;
class OndaraHelperProtocol;
class OndaraHistoryProtocol;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class SegmentedControl;

// The history window: one recorded series (chosen from every series the
// agent keeps) over the last 15 minutes, hour, 6 hours or day, with its
// alert threshold, refreshed at the agent's interval while shown. Values
// read in the user's units; below the chart a line says what the cursor
// (or, without one, the whole window) reads.
class HistoryViewController : public QWidget {
    Q_OBJECT
public:
    // The windows of time offered, in ms: 15 minutes, an hour, 6 hours, a day.
    static const QList<qint64>& rangesMs();

    HistoryViewController(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history,
                          QWidget* parent = nullptr);

    // Shows a series once the agent has named its series; empty: the first
    // temperature it records.
    void showSeries(const QString& series);
    QString series() const { return m_series; }
    void setRange(int index);
    int range() const { return m_range; }

    HistoryChartView* chart() const { return m_chart; }
    QComboBox* seriesChooser() const { return m_chooser; }
    SegmentedControl* rangeSelector() const { return m_ranges; }
    QLabel* readout() const { return m_readout; }
    QPushButton* rulesButton() const { return m_rulesButton; }
    // What the agent said last when it refused or did not answer; empty otherwise.
    QString problem() const { return m_problem; }

public Q_SLOTS:
    // Asks the agent for the series' samples, units and rule again.
    void refresh();

Q_SIGNALS:
    // A history (or that there is none) has been drawn.
    void historyShown();
    void alertRulesRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void fillChooser(const QStringList& series);
    void updateReadout();
    void failed(const QString& reason);
    // Runs a reply only while the window lives.

    OndaraHelperProtocol* m_helper;
    OndaraHistoryProtocol* m_history;
    HistoryChartView* m_chart;
    QComboBox* m_chooser;
    SegmentedControl* m_ranges;
    QLabel* m_readout;
    QPushButton* m_rulesButton;
    QTimer* m_timer;
    QString m_series;
    QString m_wanted;
    int m_range = 1;
    int m_round = 0;
    QList<int> m_units;
    SeriesLabels m_labels;
    QString m_problem;
};
