#include "AnimationDelegate.h"
#include "BezierPath.h"
#include "GaugeShapes.h"
#include "Layer.h"
#include "LayerAnimation.h"
#include "ShapeLayer.h"

#include <QPointer>
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

LayerAnimation* numberAnimation(double seconds, RecordingDelegate* delegate) {
    auto* animation = new LayerAnimation(QStringLiteral("strokeEnd"));
    animation->setFromValue(0.2);
    animation->setToValue(0.8);
    animation->setDurationSeconds(seconds);
    animation->setDelegate(delegate);
    return animation;
}

} // namespace

class TestLayers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void trimmedPathFollowsLength();
    void quartzPathClosesOpenPaths();
    void frameOfTurnedLayerSwapsBounds();
    void ovalLayerIsMirroredAndKeepsLineInside();
    void animationRunsAndTellsItsDelegate();
    void interruptedAnimationsStopUnfinished();
    void pathsBlendPointByPoint();
};

void TestLayers::trimmedPathFollowsLength() {
    // A square of side 10 walked from its top-left corner: 40 long.
    QPainterPath square;
    square.addRect(0, 0, 10, 10);
    const auto runs = [&square](qreal start, qreal end, QPointF first, QPointF last) {
        const QPainterPath part = ShapeLayer::trimmedPath(square, start, end);
        return !part.isEmpty() && QLineF(part.elementAt(0), first).length() < 0.01 &&
               QLineF(part.elementAt(part.elementCount() - 1), last).length() < 0.01;
    };
    QVERIFY(runs(0.125, 0.625, {5, 0}, {5, 10}));
    QVERIFY(runs(-1.0, 0.5, {0, 0}, {10, 10}));
    QVERIFY(ShapeLayer::trimmedPath(square, 0.6, 0.6).isEmpty());
    QVERIFY(ShapeLayer::trimmedPath(square, 0.7, 0.2).isEmpty());
}

void TestLayers::quartzPathClosesOpenPaths() {
    BezierPath path;
    path.moveTo({0, 0});
    path.lineTo({10, 0});
    path.lineTo({10, 10});
    // Move, two lines, and the closing line back to the start, whether or
    // not the path was closed.
    QCOMPARE(path.quartzPath().elementCount(), 4);
    QCOMPARE(QPointF(path.quartzPath().elementAt(3)), QPointF(0, 0));
    path.closePath();
    QCOMPARE(path.quartzPath().elementCount(), 4);
    // A move after the close draws nothing: nothing more to close.
    path.moveTo({20, 20});
    QCOMPARE(path.quartzPath().elementCount(), 5);
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
    layer.setAnchorPoint(QPointF(0, 0));
    QCOMPARE(layer.position(), QPointF(20, 50));
    // Turned about its corner, the layer now hangs to the left of it.
    QCOMPARE(layer.frame(), QRectF(-20, 50, 40, 100));
    layer.setFrame(QRectF(5, 6, 40, 100));
    QCOMPARE(layer.position(), QPointF(45, 6));
}

void TestLayers::ovalLayerIsMirroredAndKeepsLineInside() {
    GaugeShapes::ShapeStyle style;
    style.lineWidth = 8;
    QCOMPARE(GaugeShapes::ovalRect(QRectF(0, 0, 100, 60), 8, true), QRectF(28, 8, 44, 44));
    const auto layer = GaugeShapes::makeOvalLayer(style, QRectF(0, 0, 100, 60), false);
    QCOMPARE(layer->transform().m11(), -1.0);
    QCOMPARE(layer->transform().m22(), 1.0);
    QCOMPARE(layer->path().boundingRect(), QRectF(4, 4, 92, 52));

    // A rotation is applied after the mirror.
    style.rotation = std::numbers::pi / 2;
    const auto turned = GaugeShapes::makeOvalLayer(style, QRectF(0, 0, 100, 60), false);
    QVERIFY(QLineF(turned->transform().map(QPointF(1, 0)), QPointF(0, -1)).length() < 1e-9);
}

void TestLayers::animationRunsAndTellsItsDelegate() {
    RecordingDelegate delegate;
    ShapeLayer layer;
    layer.setStrokeEnd(0.8);
    QPointer<LayerAnimation> animation = numberAnimation(0.05, &delegate);
    layer.addAnimation(animation, QStringLiteral("grow"));
    QCOMPARE(layer.animationForKey(QStringLiteral("grow")), animation.data());
    QVERIFY(layer.presentedStrokeEnd() < 0.8);
    QTRY_COMPARE(delegate.stops.size(), 1);
    QCOMPARE(delegate.stops.first().second, true);
    QCOMPARE(layer.presentedStrokeEnd(), 0.8);
    // Removed on completion unless told otherwise.
    QVERIFY(!layer.animationForKey(QStringLiteral("grow")));
    QTRY_VERIFY(!animation);
}

void TestLayers::interruptedAnimationsStopUnfinished() {
    RecordingDelegate delegate;
    Layer root;
    auto child = std::make_shared<ShapeLayer>();
    root.addSublayer(child);
    auto* first = numberAnimation(10, &delegate);
    auto* second = numberAnimation(10, &delegate);
    // Another animation under the same key replaces the first.
    child->addAnimation(first, QStringLiteral("key"));
    child->addAnimation(second, QStringLiteral("key"));
    QCOMPARE(delegate.stops, (QList<QPair<LayerAnimation*, bool>>{{first, false}}));
    QCOMPARE(child->animationForKey(QStringLiteral("key")), second);
    // Dropping the layer stops what runs in it.
    root.removeAllSublayers();
    QVERIFY(root.sublayers().empty());
    QCOMPARE(delegate.stops.size(), 2);
    QCOMPARE(delegate.stops.last(), qMakePair(second, false));
    QVERIFY(!child->animationForKey(QStringLiteral("key")));
}

void TestLayers::pathsBlendPointByPoint() {
    const QPainterPath narrow = BezierPath::roundedRect(QRectF(0, 0, 20, 20), 6, 6).quartzPath();
    const QPainterPath wide = BezierPath::roundedRect(QRectF(0, 0, 120, 20), 6, 6).quartzPath();
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
