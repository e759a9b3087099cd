#include "Gauge.h"
#include "GradientLayer.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"
#include "ShapeLayer.h"
#include "TextLayer.h"

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

// Empty when the colours agree channel by channel (un-premultiplied) within
// room for antialiasing; otherwise both, for the failure message.
QString mismatch(const QColor& actual, const QColor& expected, int tolerance = 6) {
    const bool near = std::abs(actual.red() - expected.red()) <= tolerance &&
                      std::abs(actual.green() - expected.green()) <= tolerance &&
                      std::abs(actual.blue() - expected.blue()) <= tolerance &&
                      std::abs(actual.alpha() - expected.alpha()) <= tolerance;
    return near ? QString()
                : actual.name(QColor::HexArgb) + " != " + expected.name(QColor::HexArgb);
}

QColor trackColor(const Gauge& gauge) {
    QColor track = gauge.startLightColor();
    track.setAlphaF(0.25F);
    return track;
}

using Type = Gauge::GaugeType;

// A gauge of this style and size showing a value of 10, or, for the memory
// bar, of 16 across a view 200 × 20.
void setUp(Gauge& gauge, Type type, qreal value, QSize size = {200, 20}) {
    gauge.resize(size);
    gauge.setType(type);
    gauge.setMaxValue(type == Type::bar ? 16 : 10);
    gauge.setCurrentValue(value);
    gauge.layoutGauge();
}

} // namespace

class TestGauge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newGaugeHasItsInitialAndDerivedValues();
    void mirrorsFollowTheTable_data();
    void mirrorsFollowTheTable();
    void ringStrokeFollowsValueWhileTrackStays_data();
    void ringStrokeFollowsValueWhileTrackStays();
    void sameValueTwiceStartsNoSecondAnimation();
    void barAnimatesOnlyWhenPrintedValuesDiffer();
    void barAtZeroHasNoValueLayerUntilDisplayed();
    void formatValue_data();
    void formatValue();
    void barLabelsAndRendering();
    void labelWiderThanItsSegmentIsHidden();
    void halfStylesShowExactlyHalfAtMaximum_data();
    void halfStylesShowExactlyHalfAtMaximum();
    void colourBands_data();
    void colourBands();
    void ringAtHalfRendersTopHalf();
};

void TestGauge::newGaugeHasItsInitialAndDerivedValues() {
    Gauge gauge;
    QCOMPARE(gauge.type(), Type::circle);
    QCOMPARE(gauge.maxValue(), 10.0);
    QCOMPARE(gauge.currentValue(), 0.0);
    QCOMPARE(gauge.lastValue(), 0.0);
    QCOMPARE(gauge.lineWidth(), 8.0);
    QVERIFY(gauge.roundCap());
    QCOMPARE(gauge.bgAlpha(), 0.25);
    QCOMPARE(gauge.rotate(), 0.0);
    QVERIFY(!gauge.colorsArray() && !gauge.reverse() && !gauge.isCircle());
    QCOMPARE(gauge.shadowRadius(), 0.0);
    QCOMPARE(gauge.shadowOpacity(), 0.0F);
    QCOMPARE(gauge.startColor(), QColor::fromRgbF(0.333F, 0.82F, 0.992F));
    QCOMPARE(gauge.startLightColor(), QColor::fromRgbF(0.282F, 0.616F, 0.973F));
    QVERIFY(!gauge.hasEndColor() && !gauge.bgColor().has_value());
    QVERIFY(gauge.ringText().isEmpty() && gauge.backgroundText().isEmpty());
    QVERIFY(!gauge.gaugeLayer() && !gauge.ringLayer() && !gauge.bgLayer());
    QVERIFY(!gauge.ringTextLayer() && !gauge.bgTextLayer());
    QVERIFY(!gauge.ringGradientLayer() && !gauge.bgGradientLayer());
    // Raw styles run from 0 to 5.
    QVERIFY(!Gauge::gaugeTypeFromRawValue(-1) && !Gauge::gaugeTypeFromRawValue(6));
    QCOMPARE(Gauge::gaugeTypeFromRawValue(5).value_or(Type::circle), Type::custom);

    QCOMPARE(gauge.endColor(), gauge.startColor());
    QCOMPARE(gauge.trackStartColor(), trackColor(gauge));
    // Without a track colour the track's gradient ends in the value's end colour.
    QCOMPARE(gauge.bgEndColor().rgb(), gauge.startColor().rgb());

    gauge.setEndColor(Qt::red);
    gauge.setBgAlpha(0.4);
    QCOMPARE(gauge.bgEndColor().rgb(), QColor(Qt::red).rgb());
    QVERIFY(std::abs(gauge.bgEndColor().alphaF() - 0.4) < 0.01);

    gauge.setBgColor(Qt::green);
    QCOMPARE(gauge.trackStartColor().rgb(), QColor(Qt::green).rgb());
    QCOMPARE(gauge.bgEndColor().rgb(), QColor(Qt::green).rgb());

    gauge.setEndColor(QColor());
    QCOMPARE(gauge.endColor(), gauge.startColor());
}

void TestGauge::mirrorsFollowTheTable_data() {
    QTest::addColumn<Type>("type");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<qreal>("scaleX");
    QTest::addColumn<qreal>("scaleY");
    QTest::newRow("circle") << Type::circle << false << 1.0 << 1.0;
    QTest::newRow("circle reversed") << Type::circle << true << 1.0 << -1.0;
    QTest::newRow("line reversed") << Type::line << true << -1.0 << 1.0;
    QTest::newRow("left reversed") << Type::left << true << 1.0 << -1.0;
    QTest::newRow("right") << Type::right << false << -1.0 << 1.0;
    QTest::newRow("right reversed") << Type::right << true << -1.0 << -1.0;
}

void TestGauge::mirrorsFollowTheTable() {
    QFETCH(Type, type);
    QFETCH(bool, reverse);
    QFETCH(qreal, scaleX);
    QFETCH(qreal, scaleY);
    Gauge gauge;
    gauge.setReverse(reverse);
    setUp(gauge, type, 5, {80, 80});
    QCOMPARE(gauge.gaugeLayer()->transform(), QTransform::fromScale(scaleX, scaleY));
}

void TestGauge::ringStrokeFollowsValueWhileTrackStays_data() {
    QTest::addColumn<qreal>("value");
    QTest::addColumn<qreal>("strokeEnd");
    QTest::newRow("empty") << 0.0 << 0.0;
    QTest::newRow("fan at half speed") << 3.75 << 0.375;
    QTest::newRow("maximum") << 10.0 << 1.0;
}

void TestGauge::ringStrokeFollowsValueWhileTrackStays() {
    QFETCH(qreal, value);
    QFETCH(qreal, strokeEnd);
    Gauge gauge;
    setUp(gauge, Type::circle, value, {60, 60});
    QCOMPARE(gauge.ringLayer()->strokeEnd(), strokeEnd);
    QCOMPARE(gauge.bgLayer()->strokeEnd(), 0.75);
    QCOMPARE(gauge.ringLayer()->fillColor().alpha(), 0);
    QCOMPARE(gauge.ringLayer()->strokeColor(), gauge.startLightColor());
    QCOMPARE(gauge.ringLayer()->lineCap(), Qt::RoundCap);
}

void TestGauge::sameValueTwiceStartsNoSecondAnimation() {
    Gauge gauge;
    setUp(gauge, Type::circle, 0, {60, 60});
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
    QTRY_COMPARE(first->state(), QAbstractAnimation::Stopped);

    gauge.setCurrentValue(5);
    gauge.updateGauge();
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
    setUp(gauge, Type::bar, 8);
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

void TestGauge::barAtZeroHasNoValueLayerUntilDisplayed() {
    Gauge gauge;
    setUp(gauge, Type::bar, 0);
    QVERIFY(gauge.bgLayer());
    QVERIFY(!gauge.ringLayer());
    // Nothing to update: the track keeps its clear fill.
    QCOMPARE(gauge.bgLayer()->fillColor().alpha(), 0);

    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
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
    QTest::newRow("negative zero") << (16.0 - 16.0000001) << "0";
}

void TestGauge::formatValue() {
    QFETCH(qreal, value);
    QFETCH(QString, text);
    QCOMPARE(Gauge::formatValue(value), text);
}

void TestGauge::barLabelsAndRendering() {
    Gauge gauge;
    setUp(gauge, Type::bar, 9.7);
    // Labels come when the bar's animation ends.
    QVERIFY(!gauge.ringTextLayer());
    QTRY_VERIFY(gauge.ringTextLayer() && gauge.bgTextLayer());
    const TextLayer* ring = gauge.ringTextLayer();
    const TextLayer* background = gauge.bgTextLayer();
    QCOMPARE(ring->string(), QStringLiteral("9.70"));
    QCOMPARE(background->string(), QStringLiteral("6.30"));
    const qreal filled = 200 * 9.7 / 16;
    QCOMPARE(ring->frame(), QRectF(0, 3, filled, 16));
    QCOMPARE(background->frame(), QRectF(filled, 3, 200 - filled, 16));
    QVERIFY(!ring->isHidden() && !background->isHidden());
    QCOMPARE(ring->foregroundColor(), QColor(Qt::white));
    const QColor dark =
        NamedAssets::shared().color(QStringLiteral("MemDarkColor"), gauge.palette());
    QCOMPARE(background->foregroundColor(), dark);
    QCOMPARE(ring->fontSize(), 14.0);

    // Filled up to 121.25, the track beyond, labels in the middle of each part.
    const QImage image = rendered(gauge);
    for (const int x : {3, 20, 110, 119}) {
        QCOMPARE(mismatch(image.pixelColor(x, 10), gauge.startLightColor()), QString());
    }
    for (const int x : {124, 135, 188, 196}) {
        QCOMPARE(mismatch(image.pixelColor(x, 10), trackColor(gauge)), QString());
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
    QVERIFY(count(40, 80, [](const QColor& c) { return c.lightness() > 235; }) > 20);
    QVERIFY(count(140, 180, [&](const QColor& c) { return mismatch(c, dark, 40).isEmpty(); }) > 20);
    // The bar is as tall as the view.
    QCOMPARE(image.pixelColor(100, 0).alpha(), 255);
    QCOMPARE(image.pixelColor(100, 19).alpha(), 255);

    // The labels are made again in the colours of a new palette.
    QPalette darkPalette = gauge.palette();
    darkPalette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x22));
    gauge.setPalette(darkPalette);
    (void)gauge.grab();
    QVERIFY(gauge.bgTextLayer());
    QCOMPARE(gauge.bgTextLayer()->foregroundColor(),
             NamedAssets::shared().color(QStringLiteral("MemDarkColor"), darkPalette));
}

void TestGauge::labelWiderThanItsSegmentIsHidden() {
    Gauge gauge;
    setUp(gauge, Type::bar, 15.9);
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
    QTest::addColumn<Type>("type");
    QTest::addColumn<qreal>("value");
    QTest::addColumn<qreal>("strokeEnd");
    QTest::newRow("left at maximum") << Type::left << 10.0 << 0.5;
    QTest::newRow("left above") << Type::left << 14.0 << 0.5;
    QTest::newRow("right far above") << Type::right << 25.0 << 0.5;
    QTest::newRow("left half way") << Type::left << 5.0 << 0.25;
}

void TestGauge::halfStylesShowExactlyHalfAtMaximum() {
    QFETCH(Type, type);
    QFETCH(qreal, value);
    QFETCH(qreal, strokeEnd);
    Gauge gauge;
    setUp(gauge, type, value, {40, 100});
    QCOMPARE(gauge.ringLayer()->strokeEnd(), strokeEnd);
    QCOMPARE(gauge.bgLayer()->strokeEnd(), 0.5);
    QVERIFY(gauge.ringGradientLayer() && gauge.bgGradientLayer());
    QCOMPARE(gauge.ringGradientLayer()->mask(), gauge.ringLayer());
    if (strokeEnd != 0.5) {
        return;
    }
    // Half of the oval lies inside the view: at the maximum the value covers
    // its whole side, top to bottom, and nothing of the other side.
    // Coordinates for the left style; the right one is its mirror image.
    const QImage image = rendered(gauge);
    const auto at = [&image, type](int x, int y) {
        return image.pixelColor(type == Type::left ? x : 39 - x, y);
    };
    for (const QPoint& onStroke : {QPoint(4, 50), QPoint(30, 5), QPoint(30, 95)}) {
        QCOMPARE(mismatch(at(onStroke.x(), onStroke.y()), gauge.startColor()), QString());
    }
    // The oval's centre sits a half line width inside the far edge.
    QCOMPARE(at(36, 50).alpha(), 0);
}

void TestGauge::colourBands_data() {
    QTest::addColumn<qreal>("value");
    QTest::addColumn<QColor>("expected");
    const QColor red = QColor::fromHsvF(359.0F / 360.0F, 0.48F, 0.63F, 1.0F);
    const QColor yellow = QColor::fromHsvF(40.0F / 360.0F, 0.39F, 0.85F, 1.0F);
    const QColor blue = QColor::fromHsvF(208.0F / 360.0F, 0.51F, 0.75F, 1.0F);
    const QColor green = QColor::fromHsvF(112.0F / 360.0F, 0.39F, 0.85F, 1.0F);
    QTest::newRow("0.24") << 2.4 << red;
    QTest::newRow("0.25") << 2.5 << yellow;
    QTest::newRow("0.5") << 5.0 << blue;
    QTest::newRow("0.74") << 7.4 << blue;
    QTest::newRow("0.75") << 7.5 << green;
}

void TestGauge::colourBands() {
    QFETCH(qreal, value);
    QFETCH(QColor, expected);
    QCOMPARE(Gauge::bandColor(value / 10.0), expected);
    Gauge gauge;
    gauge.setColorsArray(true);
    setUp(gauge, Type::circle, value, {60, 60});
    QCOMPARE(gauge.ringLayer()->strokeColor(), expected);
    // Where there is a gradient, the band colours it.
    gauge.setType(Type::line);
    gauge.layoutGauge();
    QCOMPARE(gauge.ringGradientLayer()->colors(), QList<QColor>({expected, expected}));
}

void TestGauge::ringAtHalfRendersTopHalf() {
    Gauge gauge;
    setUp(gauge, Type::circle, 5, {100, 100});
    const LayerAnimation* animation = gauge.ringLayer()->animationForKey(kCircleKey);
    QTRY_COMPARE(animation->state(), QAbstractAnimation::Stopped);
    const QImage image = rendered(gauge);
    // The ring's centre line: radius 42 around the middle (a line width clear
    // of the edges). The value runs clockwise from nine o'clock to three; the
    // track on to six o'clock; the quarter from six to nine stays empty.
    const qreal d = 42.0 / std::sqrt(2.0);
    const auto at = [&image](qreal x, qreal y) { return image.pixelColor(int(x), int(y)); };
    QCOMPARE(mismatch(at(50, 8), gauge.startLightColor()), QString());
    QCOMPARE(mismatch(at(50 - d, 50 - d), gauge.startLightColor()), QString());
    QCOMPARE(mismatch(at(50 + d, 50 - d), gauge.startLightColor()), QString());
    QCOMPARE(mismatch(at(50 + d, 50 + d), trackColor(gauge)), QString());
    QCOMPARE(at(50 - d, 50 + d).alpha(), 0);
    QCOMPARE(at(50, 50).alpha(), 0);
    QCOMPARE(at(2, 2).alpha(), 0);
}

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
