#include "HistoryChartView.h"

#include "NamedAssets.h"

#include <QDateTime>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr qreal kCornerRadius = 4.0;
constexpr int kFontPixels = 11;
constexpr qreal kPadding = 10;
constexpr qint64 minute = 60 * 1000;

// 1, 2, 2.5 or 5 times a power of ten, at least `rough`.
double niceStep(double rough) {
    if (!(rough > 0) || !std::isfinite(rough)) {
        return 1;
    }
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (factor * power >= rough * (1 - 1e-9)) {
            return factor * power;
        }
    }
    return 10 * power;
}

// A line of one device pixel or two lands on whole pixels at ratio 1 and 2.
qreal crisp(qreal coordinate) {
    return std::floor(coordinate) + 0.5;
}

QString tickText(double value, double step) {
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    return QString::number(value, 'f', std::clamp(decimals, 0, 3));
}

} // namespace

HistoryChartView::HistoryChartView(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont small = font();
    small.setPixelSize(kFontPixels);
    setFont(small);
    updateAccessibleTexts();
}

void HistoryChartView::setHistory(const QString& seriesName, const QList<HistoryBucket>& buckets,
                                  qint64 since, qint64 until) {
    const bool sameSeries = seriesName == m_series;
    const qint64 cursorTime = m_cursor >= 0 ? m_buckets.value(m_cursor).time : 0;
    m_series = seriesName;
    const auto parsed = HistorySeries::parse(seriesName);
    m_kind = parsed ? parsed->kind : HistorySeries::Kind::temperature;
    m_buckets = buckets;
    m_since = since;
    m_until = std::max(until, since + 1);
    // A refresh keeps the cursor on the time it was on.
    m_cursor = sameSeries && m_cursor >= 0 ? nearestBucket(m_buckets, cursorTime) : -1;
    updateAccessibleTexts();
    update();
}

void HistoryChartView::setUnits(const UserUnits& units, int maxSpeed) {
    m_units = units;
    m_maxSpeed = maxSpeed;
    updateAccessibleTexts();
    update();
}

void HistoryChartView::setThreshold(std::optional<double> above, bool enabled) {
    m_threshold = above;
    m_thresholdEnabled = enabled;
    update();
}

void HistoryChartView::setCursor(int bucket) {
    const int next = bucket >= 0 && bucket < m_buckets.size() ? bucket : -1;
    if (next == m_cursor) {
        return;
    }
    m_cursor = next;
    updateAccessibleTexts();
    update();
    Q_EMIT cursorChanged(m_cursor);
}

double HistoryChartView::shown(double fixed) const {
    return m_units.shown(m_kind, fixed, m_maxSpeed);
}

QString HistoryChartView::valueText(double fixed) const {
    return m_units.text(m_kind, fixed, m_maxSpeed);
}

QString HistoryChartView::cursorText() const {
    if (m_cursor < 0) {
        return {};
    }
    const HistoryBucket& bucket = m_buckets[m_cursor];
    const QString time =
        QDateTime::fromMSecsSinceEpoch(bucket.time).toString(QStringLiteral("HH:mm:ss"));
    if (bucket.minimum == bucket.maximum) {
        return tr("%1: %2").arg(time, valueText(bucket.mean));
    }
    return tr("%1: %2 (%3 to %4)")
        .arg(time, valueText(bucket.mean), valueText(bucket.minimum), valueText(bucket.maximum));
}

QString HistoryChartView::summaryText() const {
    if (m_buckets.isEmpty()) {
        return tr("No readings in this time");
    }
    double lowest = m_buckets.first().minimum;
    double highest = m_buckets.first().maximum;
    for (const HistoryBucket& bucket : m_buckets) {
        lowest = std::min(lowest, bucket.minimum);
        highest = std::max(highest, bucket.maximum);
    }
    return tr("Latest %1, lowest %2, highest %3")
        .arg(valueText(m_buckets.last().mean), valueText(lowest), valueText(highest));
}

void HistoryChartView::updateAccessibleTexts() {
    setAccessibleName(tr("History chart"));
    const QString cursor = cursorText();
    setAccessibleDescription(cursor.isEmpty() ? summaryText() : cursor);
}

HistoryChartView::Axis HistoryChartView::valueAxis(double minimum, double maximum,
                                                   std::optional<double> threshold) {
    if (threshold && std::isfinite(*threshold)) {
        minimum = std::min(minimum, *threshold);
        maximum = std::max(maximum, *threshold);
    }
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || minimum > maximum) {
        return {};
    }
    // Four or five steps, never finer than the readings warrant.
    const double step = niceStep(std::max((maximum - minimum) / 4, 0.25));
    Axis axis{std::floor(minimum / step) * step, std::ceil(maximum / step) * step, step};
    if (axis.high - axis.low < step / 2) {
        axis.high = axis.low + step;
    }
    return axis;
}

QList<qint64> HistoryChartView::timeTicks(qint64 since, qint64 until, int maximumTicks) {
    static const qint64 steps[] = {minute,       2 * minute,   5 * minute,   10 * minute,
                                   15 * minute,  30 * minute,  60 * minute,  120 * minute,
                                   180 * minute, 360 * minute, 720 * minute, 1440 * minute};
    QList<qint64> ticks;
    if (until <= since || maximumTicks < 1) {
        return ticks;
    }
    qint64 step = steps[std::size(steps) - 1];
    for (const qint64 candidate : steps) {
        if ((until - since) / candidate <= maximumTicks) {
            step = candidate;
            break;
        }
    }
    // On the local clock's whole minutes and hours.
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(since).offsetFromUtc()) * 1000;
    qint64 tick = ((since + offset + step - 1) / step) * step - offset;
    for (; tick <= until && ticks.size() <= maximumTicks; tick += step) {
        ticks.append(tick);
    }
    return ticks;
}

double HistoryChartView::xFor(qint64 time, qint64 since, qint64 until, const QRectF& plot) {
    const double share = until > since ? double(time - since) / double(until - since) : 0;
    return plot.left() + share * plot.width();
}

double HistoryChartView::yFor(double value, const Axis& axis, const QRectF& plot) {
    const double share = axis.high > axis.low ? (value - axis.low) / (axis.high - axis.low) : 0;
    return plot.bottom() - share * plot.height();
}

int HistoryChartView::nearestBucket(const QList<HistoryBucket>& buckets, qint64 time) {
    if (buckets.isEmpty()) {
        return -1;
    }
    const auto after =
        std::lower_bound(buckets.cbegin(), buckets.cend(), time,
                         [](const HistoryBucket& bucket, qint64 t) { return bucket.time < t; });
    if (after == buckets.cbegin()) {
        return 0;
    }
    if (after == buckets.cend()) {
        return int(buckets.size() - 1);
    }
    const auto before = after - 1;
    return int((time - before->time <= after->time - time ? before : after) - buckets.cbegin());
}

qint64 HistoryChartView::gapAfter(const QList<HistoryBucket>& buckets) {
    if (buckets.size() < 2) {
        return std::numeric_limits<qint64>::max();
    }
    // The usual spacing is the median one (a bucket's time is its first
    // sample's, so neighbours of a gap sit closer); a reading or two
    // missing is no gap yet.
    std::vector<qint64> spacings;
    spacings.reserve(size_t(buckets.size() - 1));
    for (qsizetype i = 1; i < buckets.size(); ++i) {
        spacings.push_back(std::max<qint64>(1, buckets[i].time - buckets[i - 1].time));
    }
    const auto middle = spacings.begin() + qsizetype(spacings.size() / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    return *middle * 5 / 2;
}

HistoryChartView::Axis HistoryChartView::axis() const {
    if (m_buckets.isEmpty()) {
        return valueAxis(0, 1,
                         m_threshold ? std::optional<double>(shown(*m_threshold)) : std::nullopt);
    }
    double low = shown(m_buckets.first().minimum);
    double high = shown(m_buckets.first().maximum);
    for (const HistoryBucket& bucket : m_buckets) {
        low = std::min(low, shown(bucket.minimum));
        high = std::max(high, shown(bucket.maximum));
    }
    return valueAxis(low, high,
                     m_threshold ? std::optional<double>(shown(*m_threshold)) : std::nullopt);
}

QRectF HistoryChartView::plotRect(const QRectF& bounds) const {
    const QFontMetricsF metrics(font());
    const Axis values = axis();
    qreal labels = metrics.horizontalAdvance(m_units.unit(m_kind, m_maxSpeed));
    for (double v = values.low; v <= values.high + values.step / 2; v += values.step) {
        labels = std::max(labels, metrics.horizontalAdvance(tickText(v, values.step)));
    }
    return bounds.adjusted(kPadding + labels + 6, kPadding + metrics.height(), -kPadding - 4,
                           -kPadding - metrics.height() - 4);
}

void HistoryChartView::draw(QPainter* painter, const QRect& rect) const {
    const NamedAssets& assets = NamedAssets::shared();
    const QColor back = assets.color(QStringLiteral("BoxColor"), palette());
    const QColor frame = assets.color(QStringLiteral("UnselectedColor"), palette());
    const QColor grid = assets.color(QStringLiteral("TabLineColor"), palette());
    const QColor text = assets.color(QStringLiteral("NameColor"), palette());
    const QColor value = assets.color(QStringLiteral("ValueColor"), palette());
    const QColor line = assets.color(QStringLiteral("SelectedColor"), palette());
    QColor alert = assets.color(QStringLiteral("AlertColor"), palette());

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(font());
    const QRectF bounds = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
    painter->fillPath(outline, back);
    painter->setPen(QPen(frame, 1));
    painter->drawPath(outline);

    const QRectF plot = plotRect(QRectF(rect));
    const Axis values = axis();
    const QFontMetricsF metrics(font());

    // Values on the left, the unit above them; times below.
    painter->setPen(text);
    painter->drawText(QRectF(bounds.left() + kPadding, bounds.top() + kPadding / 2,
                             plot.left() - bounds.left() - kPadding - 6, metrics.height()),
                      Qt::AlignRight | Qt::AlignVCenter, m_units.unit(m_kind, m_maxSpeed));
    for (double v = values.low; v <= values.high + values.step / 2; v += values.step) {
        const qreal y = crisp(yFor(v, values, plot));
        painter->setPen(QPen(grid, 1));
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter->setPen(text);
        painter->drawText(QRectF(bounds.left(), y - metrics.height() / 2,
                                 plot.left() - bounds.left() - 6, metrics.height()),
                          Qt::AlignRight | Qt::AlignVCenter, tickText(v, values.step));
    }
    const int maximumTicks =
        std::max(1, int(plot.width() / (metrics.horizontalAdvance(QStringLiteral("00:00")) * 2.2)));
    for (const qint64 tick : timeTicks(m_since, m_until, maximumTicks)) {
        const qreal x = crisp(xFor(tick, m_since, m_until, plot));
        painter->setPen(QPen(grid, 1, Qt::DotLine));
        painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter->setPen(text);
        const QString label =
            QDateTime::fromMSecsSinceEpoch(tick).toString(QStringLiteral("HH:mm"));
        const qreal width = metrics.horizontalAdvance(label);
        painter->drawText(QPointF(std::clamp(x - width / 2, plot.left() - width / 2,
                                             bounds.right() - kPadding - width),
                                  plot.bottom() + 4 + metrics.ascent()),
                          label);
    }

    if (m_buckets.isEmpty()) {
        painter->setPen(text);
        painter->drawText(plot, Qt::AlignCenter, tr("No readings in this time"));
    }

    painter->save();
    painter->setClipRect(plot.adjusted(-2, -2, 2, 2));
    // One stretch of line and band between gaps.
    const qint64 gap = gapAfter(m_buckets);
    QColor band = line;
    band.setAlphaF(0.22F);
    qsizetype start = 0;
    for (qsizetype i = 1; i <= m_buckets.size(); ++i) {
        if (i < m_buckets.size() && m_buckets[i].time - m_buckets[i - 1].time <= gap) {
            continue;
        }
        const auto point = [&](qsizetype index, double HistoryBucket::*field) {
            return QPointF(xFor(m_buckets[index].time, m_since, m_until, plot),
                           yFor(shown(m_buckets[index].*field), values, plot));
        };
        if (i - start == 1) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(line);
            painter->drawEllipse(point(start, &HistoryBucket::mean), 2.0, 2.0);
        } else {
            QPainterPath area(point(start, &HistoryBucket::maximum));
            QPainterPath mean(point(start, &HistoryBucket::mean));
            for (qsizetype j = start + 1; j < i; ++j) {
                area.lineTo(point(j, &HistoryBucket::maximum));
                mean.lineTo(point(j, &HistoryBucket::mean));
            }
            for (qsizetype j = i - 1; j >= start; --j) {
                area.lineTo(point(j, &HistoryBucket::minimum));
            }
            area.closeSubpath();
            painter->fillPath(area, band);
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(line, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->drawPath(mean);
        }
        start = i;
    }
    painter->restore();

    if (m_threshold) {
        if (!m_thresholdEnabled) {
            alert.setAlphaF(0.45F);
        }
        const qreal y = crisp(yFor(shown(*m_threshold), values, plot));
        painter->setPen(QPen(alert, 1, Qt::DashLine));
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        const QString label = m_thresholdEnabled
                                  ? tr("Alert above %1").arg(valueText(*m_threshold))
                                  : tr("Alert above %1 (off)").arg(valueText(*m_threshold));
        painter->setPen(alert);
        painter->drawText(
            QRectF(plot.left(), y - metrics.height() - 1, plot.width() - 4, metrics.height()),
            Qt::AlignRight | Qt::AlignBottom, label);
    }

    if (m_cursor >= 0) {
        const HistoryBucket& bucket = m_buckets[m_cursor];
        const qreal x = crisp(xFor(bucket.time, m_since, m_until, plot));
        painter->setPen(QPen(value, 1));
        painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter->setBrush(back);
        painter->setPen(QPen(line, 2));
        painter->drawEllipse(QPointF(x, yFor(shown(bucket.mean), values, plot)), 3.5, 3.5);
    }
    if (hasFocus()) {
        QPen focus(palette().color(QPalette::Highlight), 2);
        painter->setPen(focus);
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(bounds.adjusted(1, 1, -1, -1), kCornerRadius, kCornerRadius);
    }
    painter->restore();
}

void HistoryChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(&painter, rect());
}

QSize HistoryChartView::sizeHint() const {
    return {560, 260};
}

QSize HistoryChartView::minimumSizeHint() const {
    return {320, 160};
}

void HistoryChartView::mouseMoveEvent(QMouseEvent* event) {
    const QRectF plot = plotRect(QRectF(rect()));
    if (!plot.adjusted(-8, -8, 8, 8).contains(event->position())) {
        setCursor(-1);
        return;
    }
    const double share = (event->position().x() - plot.left()) / std::max(1.0, plot.width());
    setCursor(nearestBucket(m_buckets, m_since + qint64(share * double(m_until - m_since))));
}

void HistoryChartView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (!hasFocus()) {
        setCursor(-1);
    }
}

void HistoryChartView::keyPressEvent(QKeyEvent* event) {
    const int last = int(m_buckets.size()) - 1;
    switch (event->key()) {
    case Qt::Key_Left:
        setCursor(m_cursor < 0 ? last : std::max(0, m_cursor - 1));
        break;
    case Qt::Key_Right:
        setCursor(m_cursor < 0 ? last : std::min(last, m_cursor + 1));
        break;
    case Qt::Key_Home:
        setCursor(0);
        break;
    case Qt::Key_End:
        setCursor(last);
        break;
    case Qt::Key_Escape:
        if (m_cursor >= 0) {
            setCursor(-1);
            break;
        }
        QWidget::keyPressEvent(event);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void HistoryChartView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void HistoryChartView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void HistoryChartView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        update();
    }
}
