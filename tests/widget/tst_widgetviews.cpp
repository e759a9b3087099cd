#include "FanBoxView.h"
#include "Gauge.h"
#include "WidgetBoxView.h"
#include "WidgetTabViewItem.h"

#include <QLabel>
#include <QTest>

class TestWidgetViews : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fanBoxShowsSpeed_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<bool>("percent");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qreal>("gaugeValue");
        QTest::newRow("half in RPM") << 1500 << 3000 << false << "1500" << 3.75;
        QTest::newRow("half in percent") << 1500 << 3000 << true << "50%" << 3.75;
        QTest::newRow("truncated, not rounded") << 2999 << 3000 << true << "99%" << 7.425;
        QTest::newRow("no maximum") << 1200 << 0 << true << "0%" << 0.0;
        QTest::newRow("beyond the maximum") << 3300 << 3000 << true << "110%" << 8.25;
        QTest::newRow("no overflow") << 2000000000 << 2100000000 << true << "95%" << 7.125;
    }
    void fanBoxShowsSpeed() {
        QFETCH(int, current);
        QFETCH(int, maximum);
        QFETCH(bool, percent);
        QFETCH(QString, text);
        QFETCH(qreal, gaugeValue);
        FanBoxView box;
        box.resize(92, 92);
        box.setMaxSpeed(maximum);
        box.setCurrentSpeed(current);
        box.setShowsPercentage(percent);
        box.layoutBox();
        QCOMPARE(box.sensorValueLabel()->text(), text);
        QCOMPARE(box.gaugeValue(), gaugeValue);
        QCOMPARE(box.gaugeView()->currentValue(), gaugeValue);
        QCOMPARE(box.sensorValueLabel()->font().pixelSize(), percent ? 16 : 15);
    }

    // The name sits at the bottom of a box, the value above it, as in a view
    // whose y axis points up.
    void nameSitsBelowValue() {
        WidgetBoxView box;
        box.resize(92, 62);
        box.show();
        QCOMPARE(box.sensorNameLabel()->geometry(), QRect(0, 36, 92, 20));
        QCOMPARE(box.sensorValueLabel()->geometry(), QRect(0, 6, 92, 26));
        FanBoxView fan;
        fan.resize(92, 92);
        fan.show();
        QCOMPARE(fan.sensorNameLabel()->geometry(), QRect(0, 72, 92, 20));
        QCOMPARE(fan.gaugeView()->geometry(), QRect(0, 8, 92, 72));
        QVERIFY(fan.sensorValueLabel()->geometry().center().y() < 72);
    }

    void tabLabelIsCentredOnWholePoints_data() {
        QTest::addColumn<int>("textWidth");
        QTest::addColumn<int>("x");
        QTest::newRow("even") << 40 << 113;
        QTest::newRow("odd rounds down") << 41 << 112;
        QTest::newRow("wider than the cell") << 81 << 92;
    }
    void tabLabelIsCentredOnWholePoints() {
        QFETCH(int, textWidth);
        QFETCH(int, x);
        const QRect cell(100, 0, WidgetTabViewItem::sizeOfLabel({200, 24}).width(), 24);
        QCOMPARE(cell.width(), 66);
        QCOMPARE(WidgetTabViewItem::labelRect(cell, textWidth), QRect(x, 0, textWidth, 24));
    }
};

QTEST_MAIN(TestWidgetViews)
#include "tst_widgetviews.moc"
