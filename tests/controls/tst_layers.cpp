#include "AnimationDelegate.h"
#include "BezierPath.h"
#include "GaugeShapes.h"
#include "Layer.h"
#include "LayerAnimation.h"
#include "ShapeLayer.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <numbers>

namespace {

class RecordingDelegate : public AnimationDelegate {
public:
    void animationDidStop(LayerAnimation* animation, bool finished) override {
        stops.append({animation, finished});
    }
    QList<QPair<LayerAnimation*, bool>> stops;
};

LayerAnimation* numberAnimation(double from, double to, double seconds) {
    auto* animation = new LayerAnimation(QStringLiteral("strokeEnd"));
    animation->setFromValue(from);
    animation->setToValue(to);
    animation->setDurationSeconds(seconds);
    return animation;
}

} // namespace

class TestLayers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void trimmedPathFollowsLength_data();
    void trimmedPathFollowsLength();
    void strokeEndLimitsWhatIsPainted();
    void quartzPathClosesOpenPaths_data();
    void quartzPathClosesOpenPaths();
    void frameOfTurnedLayerSwapsBounds();
    void ovalLayerIsMirroredAndKeepsLineInside();
    void animationRunsAndTellsItsDelegate();
    void replacedAnimationStopsAsInterrupted();
    void removedSublayersStopTheirAnimations();
    void pathsBlendPointByPoint();
};

void TestLayers::trimmedPathFollowsLength_data() {
    QTest::addColumn<qreal>("start");
    QTest::addColumn<qreal>("end");
    QTest::addColumn<QPointF>("first");
    QTest::addColumn<QPointF>("last");
    // A square of side 10 walked from its top-left corner: 40 long.
    QTest::newRow("whole") << 0.0 << 1.0 << QPointF(0, 0) << QPointF(0, 0);
    QTest::newRow("first side") << 0.0 << 0.25 << QPointF(0, 0) << QPointF(10, 0);
    QTest::newRow("middle") << 0.125 << 0.625 << QPointF(5, 0) << QPointF(5, 10);
    QTest::newRow("clamped") << -1.0 << 0.5 << QPointF(0, 0) << QPointF(10, 10);
}

void TestLayers::trimmedPathFollowsLength() {
    QFETCH(qreal, start);
    QFETCH(qreal, end);
    QFETCH(QPointF, first);
    QFETCH(QPointF, last);
    QPainterPath square;
    square.addRect(0, 0, 10, 10);
    const QPainterPath part = ShapeLayer::trimmedPath(square, start, end);
    QVERIFY(!part.isEmpty());
    const QPointF a = part.elementAt(0);
    const QPointF b = part.elementAt(part.elementCount() - 1);
    QVERIFY2(QLineF(a, first).length() < 0.01,
             qPrintable(QStringLiteral("%1,%2").arg(a.x()).arg(a.y())));
    QVERIFY2(QLineF(b, last).length() < 0.01,
             qPrintable(QStringLiteral("%1,%2").arg(b.x()).arg(b.y())));
    QVERIFY(ShapeLayer::trimmedPath(square, 0.6, 0.6).isEmpty());
    QVERIFY(ShapeLayer::trimmedPath(square, 0.7, 0.2).isEmpty());
}

void TestLayers::strokeEndLimitsWhatIsPainted() {
    ShapeLayer line;
    QPainterPath path;
    path.moveTo(10, 10);
    path.lineTo(90, 10);
    line.setPath(path);
    line.setFrame(QRectF(0, 0, 100, 20));
    line.setStrokeColor(Qt::red);
    line.setFillColor(Qt::transparent);
    line.setLineWidth(6);
    line.setStrokeEnd(0.5);
    QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        line.render(&painter);
    }
    QCOMPARE(image.pixelColor(20, 10), QColor(Qt::red));
    QCOMPARE(image.pixelColor(48, 10), QColor(Qt::red));
    QCOMPARE(image.pixelColor(52, 10).alpha(), 0);
    QCOMPARE(image.pixelColor(80, 10).alpha(), 0);
}

void TestLayers::quartzPathClosesOpenPaths_data() {
    QTest::addColumn<bool>("closeAtEnd");
    QTest::addColumn<bool>("drawAfterClose");
    QTest::addColumn<int>("expectedElements");
    // move, two lines, and the closing line back to the start.
    QTest::newRow("open") << false << false << 4;
    QTest::newRow("closed") << true << false << 4;
    // A move after the close draws nothing: nothing to close.
    QTest::newRow("closed then moved") << true << true << 5;
}

void TestLayers::quartzPathClosesOpenPaths() {
    QFETCH(bool, closeAtEnd);
    QFETCH(bool, drawAfterClose);
    QFETCH(int, expectedElements);
    BezierPath path;
    path.moveTo({0, 0});
    path.lineTo({10, 0});
    path.lineTo({10, 10});
    if (closeAtEnd) {
        path.closePath();
    }
    if (drawAfterClose) {
        path.moveTo({20, 20});
    }
    const QPainterPath converted = path.quartzPath();
    QCOMPARE(converted.elementCount(), expectedElements);
    const QPainterPath::Element closing = converted.elementAt(3);
    QCOMPARE(QPointF(closing), QPointF(0, 0));
    QVERIFY(BezierPath().quartzPath().isEmpty());
}

void TestLayers::frameOfTurnedLayerSwapsBounds() {
    Layer layer;
    QTransform turned;
    turned.rotateRadians(std::numbers::pi / 2);
    layer.setTransform(turned);
    layer.setFrame(QRectF(0, 0, 40, 100));
    QCOMPARE(layer.bounds().size(), QSizeF(100, 40));
    QCOMPARE(layer.position(), QPointF(20, 50));
    QCOMPARE(layer.frame(), QRectF(0, 0, 40, 100));

    Layer cornerAnchored;
    cornerAnchored.setAnchorPoint(QPointF(0, 0));
    cornerAnchored.setFrame(QRectF(5, 6, 30, 20));
    QCOMPARE(cornerAnchored.position(), QPointF(5, 6));
    QCOMPARE(cornerAnchored.frame(), QRectF(5, 6, 30, 20));
}

void TestLayers::ovalLayerIsMirroredAndKeepsLineInside() {
    GaugeShapes::ShapeStyle style;
    style.lineWidth = 8;
    QCOMPARE(GaugeShapes::ovalRect(QRectF(0, 0, 100, 60), 8, true), QRectF(28, 8, 44, 44));
    QCOMPARE(GaugeShapes::ovalRect(QRectF(0, 0, 100, 60), 8, false), QRectF(4, 4, 92, 52));
    const auto layer = GaugeShapes::makeOvalLayer(style, QRectF(0, 0, 100, 60), false);
    QCOMPARE(layer->transform().m11(), -1.0);
    QCOMPARE(layer->transform().m22(), 1.0);
    QCOMPARE(layer->path().boundingRect(), QRectF(4, 4, 92, 52));

    // A rotation is applied after the mirror.
    style.rotation = std::numbers::pi / 2;
    const auto turned = GaugeShapes::makeOvalLayer(style, QRectF(0, 0, 100, 60), false);
    const QPointF right = turned->transform().map(QPointF(1, 0));
    QVERIFY(QLineF(right, QPointF(0, -1)).length() < 1e-9);
}

void TestLayers::animationRunsAndTellsItsDelegate() {
    RecordingDelegate delegate;
    ShapeLayer layer;
    layer.setStrokeEnd(0.8);
    auto* animation = numberAnimation(0.2, 0.8, 0.05);
    animation->setDelegate(&delegate);
    QPointer<LayerAnimation> watched = animation;
    layer.addAnimation(animation, QStringLiteral("grow"));
    QCOMPARE(layer.animationForKey(QStringLiteral("grow")), animation);
    QVERIFY(layer.presentedStrokeEnd() < 0.8);
    QTRY_COMPARE(delegate.stops.size(), 1);
    QCOMPARE(delegate.stops.first().second, true);
    QCOMPARE(layer.presentedStrokeEnd(), 0.8);
    // Removed on completion unless told otherwise.
    QVERIFY(!layer.animationForKey(QStringLiteral("grow")));
    QTRY_VERIFY(!watched);
}

void TestLayers::replacedAnimationStopsAsInterrupted() {
    RecordingDelegate delegate;
    ShapeLayer layer;
    auto* first = numberAnimation(0, 1, 10);
    first->setDelegate(&delegate);
    layer.addAnimation(first, QStringLiteral("key"));
    auto* second = numberAnimation(0, 1, 10);
    second->setDelegate(&delegate);
    layer.addAnimation(second, QStringLiteral("key"));
    QCOMPARE(delegate.stops.size(), 1);
    QCOMPARE(delegate.stops.first().first, first);
    QCOMPARE(delegate.stops.first().second, false);
    QCOMPARE(layer.animationForKey(QStringLiteral("key")), second);
}

void TestLayers::removedSublayersStopTheirAnimations() {
    RecordingDelegate delegate;
    Layer root;
    auto child = std::make_shared<ShapeLayer>();
    root.addSublayer(child);
    auto* animation = numberAnimation(0, 1, 10);
    animation->setDelegate(&delegate);
    child->addAnimation(animation, QStringLiteral("key"));
    root.removeAllSublayers();
    QVERIFY(root.sublayers().empty());
    QCOMPARE(delegate.stops.size(), 1);
    QCOMPARE(delegate.stops.first().second, false);
    QVERIFY(!child->animationForKey(QStringLiteral("key")));
}

void TestLayers::pathsBlendPointByPoint() {
    const QPainterPath narrow = BezierPath::roundedRect(QRectF(0, 0, 20, 20), 6, 6).quartzPath();
    const QPainterPath wide = BezierPath::roundedRect(QRectF(0, 0, 120, 20), 6, 6).quartzPath();
    QCOMPARE(narrow.elementCount(), wide.elementCount());
    const QPainterPath halfway = LayerAnimation::interpolatedPath(narrow, wide, 0.5);
    QCOMPARE(halfway.elementCount(), narrow.elementCount());
    QCOMPARE(halfway.boundingRect(), QRectF(0, 0, 70, 20));
    QCOMPARE(LayerAnimation::interpolatedPath(narrow, wide, 0.0), narrow);
    QCOMPARE(LayerAnimation::interpolatedPath(narrow, wide, 1.0), wide);

    // A bar one point wide has lost its straight pieces; it still grows
    // smoothly rather than jumping at the end.
    const QPainterPath sliver = BezierPath::roundedRect(QRectF(0, 0, 1, 20), 6, 6).quartzPath();
    QVERIFY(sliver.elementCount() != wide.elementCount());
    const QRectF blended = LayerAnimation::interpolatedPath(sliver, wide, 0.5).boundingRect();
    QVERIFY2(std::abs(blended.width() - 60.5) < 1.0, qPrintable(QString::number(blended.width())));
    QVERIFY(std::abs(blended.height() - 20) < 1.0);
}

QTEST_MAIN(TestLayers)
#include "tst_layers.moc"
