#include "Gauge.h"
#include "GradientLayer.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <cmath>

namespace {

const QString kCircleKey = QStringLiteral("drawCircleAnimation");
const QString kRingKey = QStringLiteral("drawRingAnimation");

QImage rendered(const Gauge& gauge) {
    QImage image(gauge.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    gauge.draw(&painter, image.rect());
    return image;
}

// Colours compared channel by channel (un-premultiplied), with room for
// antialiasing.
bool near(const QColor& actual, const QColor& expected, int tolerance = 6) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance &&
           std::abs(actual.alpha() - expected.alpha()) <= tolerance;
}

QString describe(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

bool waitForAnimationEnd(const LayerAnimation* animation) {
    return QTest::qWaitFor(
        [animation] { return animation->state() == QAbstractAnimation::Stopped; });
}

} // namespace

class TestGauge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newGaugeHasItsInitialValues();
    void typeFromRawValue_data();
    void typeFromRawValue();
    void derivedColours();
    void mirrorsFollowTheTable_data();
    void mirrorsFollowTheTable();
    void ringStrokeFollowsValueWhileTrackStays_data();
    void ringStrokeFollowsValueWhileTrackStays();
    void sameValueTwiceStartsNoSecondAnimation();
    void barAnimatesOnlyWhenPrintedValuesDiffer();
    void barAtZeroHasNoValueLayer();
    void barWithoutValueLayerGetsOneOnNextDisplay();
    void formatValue_data();
    void formatValue();
    void barLabelsAfterAnimation();
    void labelWiderThanItsSegmentIsHidden();
    void halfStylesShowExactlyHalfAtMaximum_data();
    void halfStylesShowExactlyHalfAtMaximum();
    void colourBands_data();
    void colourBands();
    void bandsGoToTheGradientWhereThereIsOne();
    void ringAtHalfRendersTopHalf();
    void barRendersValueTrackAndLabels();
    void labelsFollowThePalette();
};

void TestGauge::newGaugeHasItsInitialValues() {
    Gauge gauge;
    QCOMPARE(gauge.type(), Gauge::GaugeType::circle);
    QCOMPARE(gauge.maxValue(), 10.0);
    QCOMPARE(gauge.currentValue(), 0.0);
    QCOMPARE(gauge.lastValue(), 0.0);
    QCOMPARE(gauge.lineWidth(), 8.0);
    QVERIFY(gauge.roundCap());
    QCOMPARE(gauge.bgAlpha(), 0.25);
    QCOMPARE(gauge.rotate(), 0.0);
    QVERIFY(!gauge.colorsArray());
    QVERIFY(!gauge.reverse());
    QVERIFY(!gauge.isCircle());
    QCOMPARE(gauge.shadowRadius(), 0.0);
    QCOMPARE(gauge.shadowOpacity(), 0.0F);
    QVERIFY(near(gauge.startColor(), QColor::fromRgbF(0.333F, 0.82F, 0.992F), 1));
    QVERIFY(near(gauge.startLightColor(), QColor::fromRgbF(0.282F, 0.616F, 0.973F), 1));
    QVERIFY(!gauge.hasEndColor());
    QVERIFY(!gauge.bgColor().has_value());
    QVERIFY(gauge.ringText().isEmpty());
    QVERIFY(gauge.backgroundText().isEmpty());
    QVERIFY(!gauge.gaugeLayer());
    QVERIFY(!gauge.ringLayer());
    QVERIFY(!gauge.bgLayer());
    QVERIFY(!gauge.ringTextLayer());
    QVERIFY(!gauge.bgTextLayer());
    QVERIFY(!gauge.ringGradientLayer());
    QVERIFY(!gauge.bgGradientLayer());
}

void TestGauge::typeFromRawValue_data() {
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("expected"); // -1: none
    QTest::newRow("below") << -1 << -1;
    QTest::newRow("circle") << 0 << int(Gauge::GaugeType::circle);
    QTest::newRow("bar") << 2 << int(Gauge::GaugeType::bar);
    QTest::newRow("right") << 4 << int(Gauge::GaugeType::right);
    QTest::newRow("custom") << 5 << int(Gauge::GaugeType::custom);
    QTest::newRow("above") << 6 << -1;
}

void TestGauge::typeFromRawValue() {
    QFETCH(int, raw);
    QFETCH(int, expected);
    const auto type = Gauge::gaugeTypeFromRawValue(raw);
    QCOMPARE(type.has_value(), expected >= 0);
    if (type) {
        QCOMPARE(int(*type), expected);
    }
}

void TestGauge::derivedColours() {
    Gauge gauge;
    QCOMPARE(gauge.endColor(), gauge.startColor());
    QCOMPARE(gauge.trackStartColor().rgb(), gauge.startLightColor().rgb());
    QVERIFY(std::abs(gauge.trackStartColor().alphaF() - 0.25) < 0.001);
    // Without a track colour the track's gradient ends in the value's end colour.
    QCOMPARE(gauge.bgEndColor().rgb(), gauge.startColor().rgb());

    gauge.setEndColor(Qt::red);
    gauge.setBgAlpha(0.4);
    QCOMPARE(gauge.endColor(), QColor(Qt::red));
    QCOMPARE(gauge.bgEndColor().rgb(), QColor(Qt::red).rgb());
    QVERIFY(std::abs(gauge.bgEndColor().alphaF() - 0.4) < 0.01);

    gauge.setBgColor(Qt::green);
    QCOMPARE(gauge.trackStartColor().rgb(), QColor(Qt::green).rgb());
    QCOMPARE(gauge.bgEndColor().rgb(), QColor(Qt::green).rgb());

    gauge.setEndColor(QColor());
    QCOMPARE(gauge.endColor(), gauge.startColor());
}

void TestGauge::mirrorsFollowTheTable_data() {
    QTest::addColumn<Gauge::GaugeType>("type");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<qreal>("scaleX");
    QTest::addColumn<qreal>("scaleY");
    QTest::newRow("circle") << Gauge::GaugeType::circle << false << 1.0 << 1.0;
    QTest::newRow("circle reversed") << Gauge::GaugeType::circle << true << 1.0 << -1.0;
    QTest::newRow("custom reversed") << Gauge::GaugeType::custom << true << 1.0 << -1.0;
    QTest::newRow("bar reversed") << Gauge::GaugeType::bar << true << 1.0 << -1.0;
    QTest::newRow("line reversed") << Gauge::GaugeType::line << true << -1.0 << 1.0;
    QTest::newRow("left") << Gauge::GaugeType::left << false << 1.0 << 1.0;
    QTest::newRow("left reversed") << Gauge::GaugeType::left << true << 1.0 << -1.0;
    QTest::newRow("right") << Gauge::GaugeType::right << false << -1.0 << 1.0;
    QTest::newRow("right reversed") << Gauge::GaugeType::right << true << -1.0 << -1.0;
}

void TestGauge::mirrorsFollowTheTable() {
    QFETCH(Gauge::GaugeType, type);
    QFETCH(bool, reverse);
    QFETCH(qreal, scaleX);
    QFETCH(qreal, scaleY);
    Gauge gauge;
    gauge.resize(80, 80);
    gauge.setType(type);
    gauge.setReverse(reverse);
    gauge.setCurrentValue(5);
    gauge.layoutGauge();
    QVERIFY(gauge.gaugeLayer());
    const QTransform transform = gauge.gaugeLayer()->transform();
    QCOMPARE(transform.m11(), scaleX);
    QCOMPARE(transform.m22(), scaleY);
    QCOMPARE(transform.m12(), 0.0);
}

void TestGauge::ringStrokeFollowsValueWhileTrackStays_data() {
    QTest::addColumn<qreal>("value");
    QTest::addColumn<qreal>("strokeEnd");
    QTest::newRow("empty") << 0.0 << 0.0;
    QTest::newRow("fan at half speed") << 3.75 << 0.375;
    QTest::newRow("half") << 5.0 << 0.5;
    QTest::newRow("full fan") << 7.5 << 0.75;
    QTest::newRow("maximum") << 10.0 << 1.0;
}

void TestGauge::ringStrokeFollowsValueWhileTrackStays() {
    QFETCH(qreal, value);
    QFETCH(qreal, strokeEnd);
    Gauge gauge;
    gauge.resize(60, 60);
    gauge.layoutGauge();
    QVERIFY(gauge.ringLayer());
    gauge.setCurrentValue(value);
    gauge.updateGauge();
    QCOMPARE(gauge.ringLayer()->strokeEnd(), strokeEnd);
    QCOMPARE(gauge.bgLayer()->strokeEnd(), 0.75);
    QCOMPARE(gauge.ringLayer()->fillColor().alpha(), 0);
    QCOMPARE(gauge.ringLayer()->strokeColor(), gauge.startLightColor());
    QCOMPARE(gauge.ringLayer()->lineCap(), Qt::RoundCap);
}

void TestGauge::sameValueTwiceStartsNoSecondAnimation() {
    Gauge gauge;
    gauge.resize(60, 60);
    gauge.layoutGauge();
    QVERIFY(!gauge.ringLayer()->animationForKey(kCircleKey));

    gauge.setCurrentValue(5);
    gauge.updateGauge();
    QPointer<LayerAnimation> first = gauge.ringLayer()->animationForKey(kCircleKey);
    QVERIFY(first);
    QCOMPARE(first->keyPath(), QStringLiteral("strokeEnd"));
    QCOMPARE(first->fromValue().toDouble(), 0.0);
    QCOMPARE(first->toValue().toDouble(), 0.5);
    QCOMPARE(first->durationSeconds(), 0.3);
    QCOMPARE(first->timingFunction().type(), QEasingCurve::Linear);
    QVERIFY(!first->isRemovedOnCompletion());
    QCOMPARE(gauge.lastValue(), 5.0);
    QVERIFY(waitForAnimationEnd(first));

    gauge.setCurrentValue(5);
    gauge.updateGauge();
    QVERIFY(first);
    QCOMPARE(gauge.ringLayer()->animationForKey(kCircleKey), first.data());
    QCOMPARE(first->state(), QAbstractAnimation::Stopped);

    gauge.setCurrentValue(6);
    gauge.updateGauge();
    LayerAnimation* second = gauge.ringLayer()->animationForKey(kCircleKey);
    QVERIFY(second && second != first.data());
    QCOMPARE(second->state(), QAbstractAnimation::Running);
    QCOMPARE(second->fromValue().toDouble(), 0.5);
    QCOMPARE(second->toValue().toDouble(), 0.6);
}

void TestGauge::barAnimatesOnlyWhenPrintedValuesDiffer() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.setCurrentValue(8);
    gauge.layoutGauge();
    QPointer<LayerAnimation> grow = gauge.ringLayer()->animationForKey(kRingKey);
    QVERIFY(grow);
    QCOMPARE(grow->keyPath(), QStringLiteral("path"));
    QCOMPARE(grow->fromValue().value<QPainterPath>().boundingRect().width(), 1.0);
    QCOMPARE(grow->toValue().value<QPainterPath>().boundingRect().width(), 100.0);
    QVERIFY(grow->isRemovedOnCompletion());
    QTRY_VERIFY(!grow);
    QVERIFY(!gauge.ringLayer()->animationForKey(kRingKey));

    gauge.setCurrentValue(8.001);
    gauge.updateGauge();
    QVERIFY(!gauge.ringLayer()->animationForKey(kRingKey));
    const qreal width = 200 * 8.001 / 16;
    QCOMPARE(gauge.ringLayer()->frame(), QRectF(0, 0, width, 20));
    QCOMPARE(gauge.ringLayer()->path().boundingRect(), QRectF(0, 0, width, 20));
    QCOMPARE(gauge.lastValue(), 8.001);

    gauge.setCurrentValue(9.7);
    gauge.updateGauge();
    LayerAnimation* move = gauge.ringLayer()->animationForKey(kRingKey);
    QVERIFY(move);
    // From the old width, one point wider, to the new one.
    QCOMPARE(move->fromValue().value<QPainterPath>().boundingRect().width(), width + 1);
    QCOMPARE(move->toValue().value<QPainterPath>().boundingRect().width(), 200 * 9.7 / 16);
}

void TestGauge::barAtZeroHasNoValueLayer() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.layoutGauge();
    QVERIFY(gauge.gaugeLayer());
    QVERIFY(gauge.bgLayer());
    QVERIFY(!gauge.ringLayer());
    QCOMPARE(gauge.gaugeLayer()->sublayers().size(), size_t(1));
    // Nothing to update: the track keeps its clear fill.
    gauge.updateGauge();
    QVERIFY(!gauge.ringLayer());
    QCOMPARE(gauge.bgLayer()->fillColor().alpha(), 0);
}

void TestGauge::barWithoutValueLayerGetsOneOnNextDisplay() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    QVERIFY(gauge.bgLayer());
    QVERIFY(!gauge.ringLayer());
    gauge.setCurrentValue(4);
    gauge.updateGauge();
    QVERIFY(!gauge.ringLayer());
    // The next paint is a display pass, which builds it.
    QTRY_VERIFY(gauge.ringLayer());
    QCOMPARE(gauge.ringLayer()->frame().width(), 50.0);
}

void TestGauge::formatValue_data() {
    QTest::addColumn<qreal>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 12.0 << "12";
    QTest::newRow("rounded up") << 3.456 << "3.46";
    QTest::newRow("trailing zero kept") << 3.5 << "3.50";
    QTest::newRow("rounds to whole") << 2.999 << "3";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << (16.0 - 16.0000001) << "0";
    QTest::newRow("memory") << 9.7 << "9.70";
}

void TestGauge::formatValue() {
    QFETCH(qreal, value);
    QFETCH(QString, text);
    QCOMPARE(Gauge::formatValue(value), text);
}

void TestGauge::barLabelsAfterAnimation() {
    Gauge gauge;
    gauge.resize(240, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.setCurrentValue(9.7);
    gauge.layoutGauge();
    // Labels come when the bar's animation ends.
    QVERIFY(!gauge.ringTextLayer());
    QTRY_VERIFY(gauge.ringTextLayer() && gauge.bgTextLayer());
    QCOMPARE(gauge.ringText(), QStringLiteral("9.70"));
    QCOMPARE(gauge.backgroundText(), QStringLiteral("6.30"));
    const TextLayer* ring = gauge.ringTextLayer();
    const TextLayer* background = gauge.bgTextLayer();
    QCOMPARE(ring->string(), QStringLiteral("9.70"));
    QCOMPARE(background->string(), QStringLiteral("6.30"));
    const qreal filled = 240 * 9.7 / 16;
    QCOMPARE(ring->frame(), QRectF(0, 3, filled, 16));
    QCOMPARE(background->frame(), QRectF(filled, 3, 240 - filled, 16));
    QVERIFY(!ring->isHidden());
    QVERIFY(!background->isHidden());
    QCOMPARE(ring->foregroundColor(), QColor(Qt::white));
    QCOMPARE(background->foregroundColor(),
             NamedAssets::shared().color(QStringLiteral("MemDarkColor"), gauge.palette()));
    QCOMPARE(ring->fontSize(), 14.0);
}

void TestGauge::labelWiderThanItsSegmentIsHidden() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.setCurrentValue(15.9);
    gauge.layoutGauge();
    QTRY_VERIFY(gauge.bgTextLayer());
    // 1.25 points are left for "0.10".
    QVERIFY(gauge.bgTextLayer()->isHidden());
    QVERIFY(!gauge.ringTextLayer()->isHidden());

    gauge.setCurrentValue(0.2);
    gauge.updateGauge();
    QTRY_COMPARE(gauge.ringText(), QStringLiteral("0.20"));
    QVERIFY(gauge.ringTextLayer()->isHidden());
    QVERIFY(!gauge.bgTextLayer()->isHidden());
}

void TestGauge::halfStylesShowExactlyHalfAtMaximum_data() {
    QTest::addColumn<Gauge::GaugeType>("type");
    QTest::addColumn<qreal>("value");
    QTest::addColumn<qreal>("strokeEnd");
    QTest::newRow("left at maximum") << Gauge::GaugeType::left << 10.0 << 0.5;
    QTest::newRow("left above") << Gauge::GaugeType::left << 14.0 << 0.5;
    QTest::newRow("right at maximum") << Gauge::GaugeType::right << 10.0 << 0.5;
    QTest::newRow("right far above") << Gauge::GaugeType::right << 25.0 << 0.5;
    QTest::newRow("left half way") << Gauge::GaugeType::left << 5.0 << 0.25;
    QTest::newRow("right empty") << Gauge::GaugeType::right << 0.0 << 0.0;
}

void TestGauge::halfStylesShowExactlyHalfAtMaximum() {
    QFETCH(Gauge::GaugeType, type);
    QFETCH(qreal, value);
    QFETCH(qreal, strokeEnd);
    Gauge gauge;
    gauge.resize(40, 100);
    gauge.setType(type);
    gauge.setCurrentValue(value);
    gauge.layoutGauge();
    QCOMPARE(gauge.ringLayer()->strokeEnd(), strokeEnd);
    QCOMPARE(gauge.bgLayer()->strokeEnd(), 0.5);
    QVERIFY(gauge.ringGradientLayer() && gauge.bgGradientLayer());
    QCOMPARE(gauge.ringGradientLayer()->mask(), gauge.ringLayer());

    // Half of the oval lies inside the view: at the maximum the value covers
    // its whole side, top to bottom, and nothing of the other side.
    if (strokeEnd == 0.5) {
        const QImage image = rendered(gauge);
        // Coordinates for the left style; the right one is its mirror image.
        const auto at = [&image, type](int x, int y) {
            return image.pixelColor(type == Gauge::GaugeType::left ? x : 39 - x, y);
        };
        for (const QPoint& onStroke : {QPoint(4, 50), QPoint(30, 5), QPoint(30, 95)}) {
            QVERIFY2(near(at(onStroke.x(), onStroke.y()), gauge.startColor()),
                     qPrintable(describe(at(onStroke.x(), onStroke.y()))));
        }
        // The oval's centre sits a half line width inside the far edge.
        QCOMPARE(at(36, 50).alpha(), 0);
    }
}

void TestGauge::colourBands_data() {
    QTest::addColumn<qreal>("value");
    QTest::addColumn<float>("hue");
    QTest::addColumn<float>("saturation");
    QTest::addColumn<float>("brightness");
    QTest::newRow("0.24") << 2.4 << 359.0F << 0.48F << 0.63F;
    QTest::newRow("0.25") << 2.5 << 40.0F << 0.39F << 0.85F;
    QTest::newRow("0.49") << 4.9 << 40.0F << 0.39F << 0.85F;
    QTest::newRow("0.5") << 5.0 << 208.0F << 0.51F << 0.75F;
    QTest::newRow("0.74") << 7.4 << 208.0F << 0.51F << 0.75F;
    QTest::newRow("0.75") << 7.5 << 112.0F << 0.39F << 0.85F;
    QTest::newRow("1.0") << 10.0 << 112.0F << 0.39F << 0.85F;
}

void TestGauge::colourBands() {
    QFETCH(qreal, value);
    QFETCH(float, hue);
    QFETCH(float, saturation);
    QFETCH(float, brightness);
    const QColor expected = QColor::fromHsvF(hue / 360.0F, saturation, brightness, 1.0F);
    QCOMPARE(Gauge::bandColor(value / 10.0), expected);

    Gauge gauge;
    gauge.resize(60, 60);
    gauge.setColorsArray(true);
    gauge.setCurrentValue(value);
    gauge.layoutGauge();
    QCOMPARE(gauge.ringLayer()->strokeColor(), expected);
}

void TestGauge::bandsGoToTheGradientWhereThereIsOne() {
    Gauge gauge;
    gauge.resize(160, 20);
    gauge.setType(Gauge::GaugeType::line);
    gauge.setColorsArray(true);
    gauge.setCurrentValue(8);
    gauge.layoutGauge();
    const QColor band = Gauge::bandColor(0.8);
    QCOMPARE(gauge.ringGradientLayer()->colors(), QList<QColor>({band, band}));
    QCOMPARE(gauge.ringLayer()->strokeEnd(), 0.8);
    // The value shows through its gradient in the band's colour.
    const QImage image = rendered(gauge);
    QVERIFY2(near(image.pixelColor(30, 10), band), qPrintable(describe(image.pixelColor(30, 10))));
    QVERIFY(!near(image.pixelColor(150, 10), band));
}

void TestGauge::ringAtHalfRendersTopHalf() {
    Gauge gauge;
    gauge.resize(100, 100);
    gauge.layoutGauge();
    gauge.setCurrentValue(5);
    gauge.updateGauge();
    QVERIFY(waitForAnimationEnd(gauge.ringLayer()->animationForKey(kCircleKey)));
    const QImage image = rendered(gauge);
    // The ring's centre line: radius 42 around the middle (a line width clear
    // of the edges). The value runs clockwise from nine o'clock to three; the
    // track on to six o'clock; the quarter from six to nine stays empty.
    const QColor value = gauge.startLightColor();
    QColor track = gauge.startLightColor();
    track.setAlphaF(0.25F);
    const qreal d = 42.0 / std::sqrt(2.0);
    const auto at = [&image](qreal x, qreal y) { return image.pixelColor(int(x), int(y)); };
    QVERIFY2(near(at(50, 8), value), qPrintable(describe(at(50, 8))));
    QVERIFY2(near(at(50 - d, 50 - d), value), qPrintable(describe(at(50 - d, 50 - d))));
    QVERIFY2(near(at(50 + d, 50 - d), value), qPrintable(describe(at(50 + d, 50 - d))));
    QVERIFY2(near(at(50 + d, 50 + d), track), qPrintable(describe(at(50 + d, 50 + d))));
    QCOMPARE(at(50 - d, 50 + d).alpha(), 0);
    QCOMPARE(at(50, 50).alpha(), 0);
    QCOMPARE(at(2, 2).alpha(), 0);
}

void TestGauge::barRendersValueTrackAndLabels() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.setCurrentValue(9.7);
    gauge.layoutGauge();
    QTRY_VERIFY(gauge.bgTextLayer());
    const QImage image = rendered(gauge);
    const QColor value = gauge.startLightColor();
    QColor track = gauge.startLightColor();
    track.setAlphaF(0.25F);
    // Filled up to 200 × 9.7 / 16 = 121.25, the track beyond, labels in the
    // middle of each part.
    for (const int x : {3, 20, 110, 119}) {
        QVERIFY2(near(image.pixelColor(x, 10), value),
                 qPrintable(QString::number(x) + ": " + describe(image.pixelColor(x, 10))));
    }
    for (const int x : {124, 135, 188, 196}) {
        QVERIFY2(near(image.pixelColor(x, 10), track),
                 qPrintable(QString::number(x) + ": " + describe(image.pixelColor(x, 10))));
    }
    const auto count = [&image](int left, int right, auto predicate) {
        int found = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = left; x < right; ++x) {
                found += predicate(image.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return found;
    };
    const QColor dark =
        NamedAssets::shared().color(QStringLiteral("MemDarkColor"), gauge.palette());
    QVERIFY(count(40, 80, [](const QColor& c) { return c.lightness() > 235; }) > 20);
    QVERIFY(count(140, 180, [&dark](const QColor& c) { return near(c, dark, 40); }) > 20);
    // The bar is as tall as the view.
    QCOMPARE(image.pixelColor(100, 0).alpha(), 255);
    QCOMPARE(image.pixelColor(100, 19).alpha(), 255);
}

void TestGauge::labelsFollowThePalette() {
    Gauge gauge;
    gauge.resize(200, 20);
    gauge.setType(Gauge::GaugeType::bar);
    gauge.setMaxValue(16);
    gauge.setCurrentValue(6);
    gauge.layoutGauge();
    QTRY_VERIFY(gauge.bgTextLayer());
    QPalette dark = gauge.palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x22));
    gauge.setPalette(dark);
    (void)gauge.grab();
    QVERIFY(gauge.bgTextLayer());
    QCOMPARE(gauge.bgTextLayer()->foregroundColor(),
             NamedAssets::shared().color(QStringLiteral("MemDarkColor"), dark));
    QCOMPARE(gauge.backgroundText(), QStringLiteral("10"));
}

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
