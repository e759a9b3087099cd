#include "AlertRulesViewController.h"
#include "HistoryChartView.h"
#include "HistoryViewController.h"
#include "OndaraHistoryProtocol.h"
#include "ScriptedHelper.h"
#include "SegmentedControl.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cmath>

namespace {

// The agent's history and rules, answering on the event loop as the bus
// proxy does; what the windows asked and stored is recorded.
class FakeHistory : public OndaraHistoryProtocol {
public:
    QStringList names{QStringLiteral("temp:TC0D"), QStringLiteral("fan:0")};
    QList<HistoryBucket> buckets;
    QList<AlertRule> stored;
    QString refusal; // non-empty: samples and setRule fail with it

    struct Asked {
        QString series;
        qint64 span;
        quint32 maxPoints;
    };
    QList<Asked> asked;
    QList<AlertRule> setRules;
    int rulesAsked = 0;

    void series(SeriesReply reply, Failure) override {
        later([reply, answer = names] { reply(answer); });
    }
    void samples(const QString& series, qint64 since, qint64 until, quint32 maxPoints,
                 SamplesReply reply, Failure failed) override {
        asked.append({series, until - since, maxPoints});
        const QString why = refusal;
        later([reply, failed, why, answer = buckets] {
            why.isEmpty() ? reply(answer) : failed(why);
        });
    }
    void interval(IntervalReply reply, Failure) override {
        later([=] { reply(5); });
    }
    void rules(RulesReply reply, Failure) override {
        ++rulesAsked;
        later([reply, answer = stored] { reply(answer); });
    }
    void setRule(const AlertRule& rule, DoneReply done, Failure failed) override {
        setRules.append(rule);
        const QString why = refusal;
        later([done, failed, why] { why.isEmpty() ? done() : failed(why); });
    }
    void removeRule(const QString&, DoneReply done, Failure) override { later(done); }

private:
    template <typename F> static void later(F f) { QTimer::singleShot(0, qApp, f); }
};

QList<HistoryBucket> bucketsAt(const QList<qint64>& times) {
    QList<HistoryBucket> buckets;
    for (const qint64 time : times) {
        buckets.append({time, 50, 48, 53});
    }
    return buckets;
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Four or five steps of 1, 2, 2.5 or 5 times a power of ten that hold the
    // readings and the threshold; never a flat or broken axis.
    void valueAxis_data() {
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("threshold"); // NaN: none
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("step");
        const double none = std::nan("");
        QTest::newRow("temperatures") << 41.0 << 59.0 << none << 40.0 << 60.0 << 5.0;
        QTest::newRow("threshold above") << 41.0 << 59.0 << 80.0 << 40.0 << 80.0 << 10.0;
        QTest::newRow("flat line") << 50.0 << 50.0 << none << 50.0 << 50.25 << 0.25;
        QTest::newRow("memory, never finer than a quarter")
            << 2.1 << 2.9 << none << 2.0 << 3.0 << 0.25;
        QTest::newRow("fan speeds") << 1200.0 << 4800.0 << none << 1000.0 << 5000.0 << 1000.0;
        QTest::newRow("not a number") << none << 3.0 << none << 0.0 << 1.0 << 1.0;
    }
    void valueAxis() {
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(double, threshold);
        const auto axis = HistoryChartView::valueAxis(
            minimum, maximum, std::isnan(threshold) ? std::nullopt : std::optional(threshold));
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, step);
        QCOMPARE(axis.low, low);
        QCOMPARE(axis.high, high);
        QCOMPARE(axis.step, step);
    }

    // The cursor lands on the nearest bucket; the line breaks where buckets
    // are much further apart than usual, not where one reading is missing.
    void nearestBucketAndGaps_data() {
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<qint64>("pointedAt");
        QTest::addColumn<int>("nearest");
        QTest::addColumn<qint64>("gapAfter");
        const qint64 never = std::numeric_limits<qint64>::max();
        QTest::newRow("none") << QList<qint64>{} << qint64(5) << -1 << never;
        QTest::newRow("one") << QList<qint64>{100} << qint64(0) << 0 << never;
        QTest::newRow("before the first")
            << QList<qint64>{10, 20, 30} << qint64(-5) << 0 << qint64(25);
        QTest::newRow("between, nearer the later")
            << QList<qint64>{10, 20, 30} << qint64(16) << 1 << qint64(25);
        QTest::newRow("half way takes the earlier")
            << QList<qint64>{10, 20, 30} << qint64(25) << 1 << qint64(25);
        QTest::newRow("after the last")
            << QList<qint64>{10, 20, 30} << qint64(99) << 2 << qint64(25);
        QTest::newRow("a gap does not widen the spacing")
            << QList<qint64>{0, 10, 20, 30, 500, 510} << qint64(300) << 4 << qint64(25);
    }
    void nearestBucketAndGaps() {
        QFETCH(QList<qint64>, times);
        QFETCH(qint64, pointedAt);
        QFETCH(int, nearest);
        QFETCH(qint64, gapAfter);
        QCOMPARE(HistoryChartView::nearestBucket(bucketsAt(times), pointedAt), nearest);
        QCOMPARE(HistoryChartView::gapAfter(bucketsAt(times)), gapAfter);
    }

    // The keyboard moves the cursor as the mouse does; what it reads is in
    // the user's unit, and screen readers hear it.
    void cursorFromTheKeyboardInTheUsersUnit() {
        HistoryChartView chart;
        chart.setUnits(UserUnits({1, 0}), 0);
        chart.setHistory(QStringLiteral("temp:TC0D"), bucketsAt({1000, 6000, 11000}), 0, 12000);
        QCOMPARE(chart.cursor(), -1);
        QVERIFY(chart.accessibleDescription().contains(QStringLiteral("122 °F")));
        QTest::keyClick(&chart, Qt::Key_Left);
        QCOMPARE(chart.cursor(), 2);
        QTest::keyClick(&chart, Qt::Key_Left);
        QCOMPARE(chart.cursor(), 1);
        QTest::keyClick(&chart, Qt::Key_Home);
        QCOMPARE(chart.cursor(), 0);
        QTest::keyClick(&chart, Qt::Key_Right);
        QCOMPARE(chart.cursor(), 1);
        QVERIFY2(chart.cursorText().endsWith(QStringLiteral("122 °F (118 °F to 127 °F)")),
                 qPrintable(chart.cursorText()));
        QCOMPARE(chart.accessibleDescription(), chart.cursorText());
        QTest::keyClick(&chart, Qt::Key_Escape);
        QCOMPARE(chart.cursor(), -1);
        // A refresh of the same series keeps the cursor on its time.
        chart.setCursor(1);
        chart.setHistory(QStringLiteral("temp:TC0D"), bucketsAt({2000, 5500, 12000}), 0, 13000);
        QCOMPARE(chart.cursor(), 1);
        chart.setHistory(QStringLiteral("fan:0"), bucketsAt({2000, 5500}), 0, 13000);
        QCOMPARE(chart.cursor(), -1);
    }

    // The window opens on the series asked for, over the range chosen, with
    // the series' threshold; a refusal is said, not drawn as an empty chart.
    void windowShowsTheChosenSeriesAndRange() {
        FakeHistory history;
        history.buckets = bucketsAt({1000, 6000});
        history.stored = {{QStringLiteral("fan:0"), 4000, 3500, 30, true}};
        HistoryViewController window(nullptr, &history);
        QSignalSpy shown(&window, &HistoryViewController::historyShown);
        window.resize(700, 420);
        window.show();
        window.showSeries(QStringLiteral("fan:0"));
        QTRY_COMPARE(window.seriesChooser()->count(), 2);
        QTRY_VERIFY(!history.asked.isEmpty() && history.asked.last().series == "fan:0");
        QTRY_VERIFY(shown.count() > 0);
        QCOMPARE(window.seriesChooser()->currentData().toString(), QStringLiteral("fan:0"));
        QCOMPARE(history.asked.last().span, HistoryViewController::rangesMs().at(1));
        QVERIFY(history.asked.last().maxPoints >= 60 && history.asked.last().maxPoints <= 1200);
        QTRY_COMPARE(window.chart()->threshold(), std::optional<double>(4000));
        QTRY_COMPARE(window.chart()->buckets().size(), 2);

        window.rangeSelector()->setSelectedSegment(0);
        Q_EMIT window.rangeSelector()->activated(0);
        QCOMPARE(history.asked.last().span, HistoryViewController::rangesMs().at(0));

        history.refusal = QStringLiteral("No series \"fan:0\" is recorded");
        shown.clear();
        window.refresh();
        QTRY_VERIFY(shown.count() > 0);
        QCOMPARE(window.problem(), history.refusal);
        QVERIFY(window.readout()->text().contains(history.refusal));
    }

    // Levels are edited in the user's unit and stored in the agent's; what
    // the agent refuses is said and the stored rule shown again.
    void rulesAreEditedInTheUsersUnit() {
        ScriptedHelper helper;
        helper.units = {1, 0};
        FakeHistory history;
        history.stored = {{QStringLiteral("temp:TC0D"), 80, 75, 30, true}};
        AlertRulesViewController dialog(&helper, &history);
        QSignalSpy shown(&dialog, &AlertRulesViewController::rulesShown);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(dialog.table()->rowCount(), 1);
        auto* above = qobject_cast<QDoubleSpinBox*>(
            dialog.table()->cellWidget(0, AlertRulesViewController::AboveColumn));
        QVERIFY(above);
        QCOMPARE(above->value(), 176.0);
        QCOMPARE(above->suffix(), QStringLiteral(" °F"));
        QVERIFY(!above->accessibleName().isEmpty());

        above->setValue(185);
        QCOMPARE(history.setRules.size(), 1);
        QCOMPARE(history.setRules.last().above, 85.0);
        QCOMPARE(history.setRules.last().clearBelow, 75.0);
        dialog.table()->item(0, AlertRulesViewController::OnColumn)->setCheckState(Qt::Unchecked);
        QCOMPARE(history.setRules.size(), 2);
        QCOMPARE(history.setRules.last().enabled, false);

        // Only readings without a rule are offered, and every fan's stop watch.
        QStringList offered;
        for (int i = 0; i < dialog.newRuleReading()->count(); ++i) {
            offered.append(dialog.newRuleReading()->itemData(i).toString());
        }
        QCOMPARE(offered, QStringList({"fan:0", "fan:0:stopped"}));

        history.refusal = QStringLiteral("clearBelow must not be above above");
        const int asked = history.rulesAsked;
        above->setValue(20);
        QTRY_VERIFY(dialog.status()->text().contains(history.refusal));
        QTRY_VERIFY(history.rulesAsked > asked);
        QTRY_COMPARE(qobject_cast<QDoubleSpinBox*>(
                         dialog.table()->cellWidget(0, AlertRulesViewController::AboveColumn))
                         ->value(),
                     176.0);
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
