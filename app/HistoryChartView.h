#pragma once

#include "HistoryBucket.h"
#include "HistorySeries.h"
#include "UserUnits.h"

#include <QList>
#include <QRectF>
#include <QWidget>
#include <optional>

// A series' history over a window of time, drawn in the tiles' style: the
// mean as a line over a band from each bucket's minimum to its maximum, a
// gap where there were no readings, the alert threshold as a dashed line,
// the values on the left in the user's unit and the times below.
//
// Pointing at the chart (or Left, Right, Home and End while it has focus)
// puts a cursor on the nearest bucket; cursorText says what it reads, and
// the accessible name and description follow what is shown.
class HistoryChartView : public QWidget {
    Q_OBJECT
public:
    // A value axis: from low to high in steps, in the user's unit.
    struct Axis {
        double low = 0;
        double high = 1;
        double step = 1;
        friend bool operator==(const Axis&, const Axis&) = default;
    };

    explicit HistoryChartView(QWidget* parent = nullptr);

    // Buckets of the series from since to until (ms), values in fixed units.
    void setHistory(const QString& seriesName, const QList<HistoryBucket>& buckets, qint64 since,
                    qint64 until);
    // How the values read: the user's units and, for a fan, its maximum speed.
    void setUnits(const UserUnits& units, int maxSpeed);
    // The threshold of the series' alert rule in fixed units; nothing: no rule.
    void setThreshold(std::optional<double> above, bool enabled);

    const QList<HistoryBucket>& buckets() const { return m_buckets; }
    std::optional<double> threshold() const { return m_threshold; }
    // The bucket under the cursor; -1 when there is none.
    int cursor() const { return m_cursor; }
    void setCursor(int bucket);
    // "14:32:05: 61 °C (60 to 63 °C)"; empty without a cursor.
    QString cursorText() const;
    // The latest reading and the range of the whole window, for people.
    QString summaryText() const;

    // The geometry, on its own for the tests.
    static Axis valueAxis(double minimum, double maximum, std::optional<double> threshold);
    static QList<qint64> timeTicks(qint64 since, qint64 until, int maximumTicks);
    static double xFor(qint64 time, qint64 since, qint64 until, const QRectF& plot);
    static double yFor(double value, const Axis& axis, const QRectF& plot);
    // The bucket nearest to a time; -1 for none.
    static int nearestBucket(const QList<HistoryBucket>& buckets, qint64 time);
    // Where the line breaks: between buckets further apart than this.
    static qint64 gapAfter(const QList<HistoryBucket>& buckets);
    // Where the plot lies in a chart of `bounds`.
    QRectF plotRect(const QRectF& bounds) const;

    void draw(QPainter* painter, const QRect& rect) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void cursorChanged(int bucket);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    double shown(double fixed) const;
    QString valueText(double fixed) const;
    Axis axis() const;
    void updateAccessibleTexts();

    QString m_series;
    HistorySeries::Kind m_kind = HistorySeries::Kind::temperature;
    QList<HistoryBucket> m_buckets;
    qint64 m_since = 0;
    qint64 m_until = 1;
    UserUnits m_units;
    int m_maxSpeed = 0;
    std::optional<double> m_threshold;
    bool m_thresholdEnabled = false;
    int m_cursor = -1;
};
