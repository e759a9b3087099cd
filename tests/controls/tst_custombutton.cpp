#include "CustomButton.h"
#include "CustomButtonDelegate.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

class RecordingDelegate : public CustomButtonDelegate {
public:
    // Each call with whether the button showed itself pressed at the time.
    void customButtonPressed(CustomButton* button) override {
        calls.append({QStringLiteral("pressed"), button->isSelected()});
    }
    void customButtonReleased(CustomButton* button) override {
        calls.append({QStringLiteral("released"), button->isSelected()});
    }
    QList<QPair<QString, bool>> calls;
};

QImage rendered(const CustomButton& button) {
    QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    button.draw(&painter, image.rect());
    return image;
}

// The first column from the left with ink of the title in it.
int firstTitleColumn(const QImage& image) {
    for (int x = 2; x < image.width() - 2; ++x) {
        for (int y = 4; y < image.height() - 4; ++y) {
            if (image.pixelColor(x, y).lightness() < 160) {
                return x;
            }
        }
    }
    return -1;
}

} // namespace

class TestCustomButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void titleOrigin_data();
    void titleOrigin();
    void titleIsDrawnFifteenPointsIn();
    void delegateHearsPressedThenReleased();
};

void TestCustomButton::titleOrigin_data() {
    QTest::addColumn<CustomButton::TitleAlignment>("alignment");
    QTest::addColumn<QPointF>("origin");
    // A 100 × 30 button and a title 40 × 18.
    QTest::newRow("left") << CustomButton::TitleAlignment::left << QPointF(15, 6);
    QTest::newRow("right") << CustomButton::TitleAlignment::right << QPointF(45, 6);
    QTest::newRow("center") << CustomButton::TitleAlignment::center << QPointF(30, 6);
}

void TestCustomButton::titleOrigin() {
    QFETCH(CustomButton::TitleAlignment, alignment);
    QFETCH(QPointF, origin);
    QCOMPARE(CustomButton::titleOrigin(QSizeF(100, 30), QSizeF(40, 18), alignment), origin);
}

void TestCustomButton::titleIsDrawnFifteenPointsIn() {
    CustomButton button;
    QCOMPARE(button.alignment(), CustomButton::TitleAlignment::center);
    button.resize(100, 30);
    button.setTitle(QStringLiteral("Hi"));
    button.setAlignment(CustomButton::TitleAlignment::left);
    const int left = firstTitleColumn(rendered(button));
    // The glyph's own side bearing may add a point or two.
    QVERIFY2(left >= 15 && left <= 18, qPrintable(QString::number(left)));

    button.setAlignment(CustomButton::TitleAlignment::right);
    const int right = firstTitleColumn(rendered(button));
    const qreal expected = 100 - button.titleSize().width() - 15;
    QVERIFY2(right >= expected && right <= expected + 3, qPrintable(QString::number(right)));
}

void TestCustomButton::delegateHearsPressedThenReleased() {
    CustomButton button;
    button.resize(100, 30);
    RecordingDelegate delegate;
    button.setDelegate(&delegate);
    QSignalSpy pressed(&button, &CustomButton::pressed);
    QSignalSpy released(&button, &CustomButton::released);
    const QImage normal = rendered(button);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(50, 15));
    const QImage pressedLook = rendered(button);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 15));
    QCOMPARE(delegate.calls, (QList<QPair<QString, bool>>{{"pressed", true}, {"released", false}}));
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(released.size(), 1);
    // Pressed, the lower part of the face (near the start colour of each
    // pair) is darker; the light edge along the top and the grey border stay.
    QVERIFY(pressedLook.pixelColor(50, 26).lightness() + 20 <
            normal.pixelColor(50, 26).lightness());
    QCOMPARE(normal.pixelColor(50, 1), QColor(Qt::white));
    QVERIFY(normal.pixelColor(50, 0).lightness() < 230);
    // Without a delegate a click only redraws and signals.
    button.setDelegate(nullptr);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(50, 15));
    QVERIFY(!button.isSelected());
    QCOMPARE(released.size(), 2);
    QCOMPARE(delegate.calls.size(), 2);
}

QTEST_MAIN(TestCustomButton)
#include "tst_custombutton.moc"
