#include "BoxFanView.h"
#include "BoxView.h"
#include "BoxViewDelegate.h"
#include "FanShare.h"
#include "NamedAssets.h"
#include "Popover.h"
#include "ScriptedHelper.h"
#include "SegmentedControl.h"
#include "SensorListViewController.h"
#include "SensorRecordCodec.h"
#include "SetupViewController.h"
#include "ToolButton.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

namespace {

class RecordingDelegate : public BoxViewDelegate {
public:
    QStringList events;
    void boxClicked(BoxView* box) override { events.append("clicked " + box->sensorName()); }
    void boxEntered(BoxView* box) override { events.append("entered " + box->sensorName()); }
    void boxExited(BoxView* box) override { events.append("exited " + box->sensorName()); }
    void gearEntered(BoxView* box) override { events.append("gear " + box->sensorName()); }
};

void send(QWidget* widget, QEvent::Type type) {
    const QPointF inside(5, 5);
    if (type == QEvent::Enter) {
        QEnterEvent enter(inside, inside, inside);
        QApplication::sendEvent(widget, &enter);
    } else if (type == QEvent::Leave) {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    } else {
        QMouseEvent press(type, inside, widget->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
    }
}

QVariantList candidate(qlonglong code, const QString& text, const QString& name, bool inUse) {
    return {code, text, name, inUse};
}

// A chooser's rows as the agent sends them for the CPU.
const QVariantList cpuCandidates{candidate(1, "TC0P", "CPU_PROXIMITY", true),
                                 candidate(2, "TC0D", "CPU_DIE", false),
                                 candidate(3, "TCXC", "PECI", false)};

} // namespace

class TestSensorBoxes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Hover and clicks as the tile shows and reports them.
    void boxStates_data() {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("selectable");
        QTest::addColumn<bool>("selectedAfterClick");
        QTest::addColumn<bool>("hoverKeepsColour");
        QTest::newRow("unselected") << false << true << true << false;
        QTest::newRow("selected") << true << true << false << true;
        QTest::newRow("at the limit") << false << false << false << false;
    }
    void boxStates() {
        QFETCH(bool, selected);
        QFETCH(bool, selectable);
        RecordingDelegate delegate;
        BoxView box;
        box.resize(104, 84);
        box.setDelegate(&delegate);
        box.setSensorName(QStringLiteral("CPU"));
        box.setIsSelected(selected);
        box.setIsSelectable(selectable);
        box.updateBorder();
        const QColor before = box.borderColor();

        send(&box, QEvent::Enter);
        QCOMPARE(box.borderWidth(), 2.0);
        QTEST(box.borderColor() == before, "hoverKeepsColour");
        QVERIFY(box.gearButton()->isVisibleTo(&box));
        send(box.gearButton(), QEvent::Enter);
        QCOMPARE(box.gearButton()->opacity(), 1.0);
        send(box.gearButton(), QEvent::Leave);
        QCOMPARE(box.gearButton()->opacity(), 0.8);
        send(&box, QEvent::MouseButtonPress);
        QTEST(box.isSelected(), "selectedAfterClick");
        send(&box, QEvent::Leave);
        QVERIFY(!box.gearButton()->isVisibleTo(&box));
        QCOMPARE(box.borderWidth(), 1.0);
        QCOMPARE(box.borderColor(), box.isSelected() ? box.selectedColor() : box.unselectedColor());
        QCOMPARE(delegate.events, (QStringList{"entered CPU", "gear CPU", "entered CPU",
                                               "clicked CPU", "exited CPU"}));
    }

    // While the agent is away a tile must not look as if a click would take.
    void disabledTileShowsNoHover() {
        RecordingDelegate delegate;
        BoxView box;
        box.resize(104, 84);
        box.setDelegate(&delegate);
        box.setSensorName(QStringLiteral("CPU"));
        box.setEnabled(false);
        send(&box, QEvent::Enter);
        QVERIFY(!box.isHovered());
        QVERIFY(!box.gearButton()->isVisibleTo(&box));
        QCOMPARE(box.borderWidth(), 1.0);

        // Back while the pointer still rests on it: the hover returns.
        box.setEnabled(true);
        QVERIFY(box.isHovered());
        QVERIFY(box.gearButton()->isVisibleTo(&box));
        // And goes with the agent again.
        box.setEnabled(false);
        QVERIFY(!box.isHovered());
        QVERIFY(!box.gearButton()->isVisibleTo(&box));
        QCOMPARE(box.borderWidth(), 1.0);
        QCOMPARE(delegate.events, (QStringList{"entered CPU", "exited CPU"}));
    }

    void removedGearStaysHidden() {
        BoxView box;
        box.removeGearButton();
        send(&box, QEvent::Enter);
        QVERIFY(!box.gearButton());
        QVERIFY(box.findChild<ToolButton*>()->isHidden());
    }

    void valueFontMovesLabel() {
        BoxView box;
        box.resize(104, 84);
        box.show();
        QCOMPARE(box.sensorValueLabel()->geometry(), QRect(0, 84 - 42 - 29, 104, 29));
        box.setValueFontSize(20);
        QCOMPARE(box.sensorValueLabel()->font().pixelSize(), 20);
        QCOMPARE(box.sensorValueLabel()->geometry(), QRect(0, 84 - 40 - 29, 104, 29));
    }

    void fanBox_data() {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("ring");
        QTest::addColumn<QString>("rpmText");
        QTest::addColumn<QString>("percentText");
        QTest::newRow("1234 of 5000") << 1234 << 5000 << 24 << 1.8 << "1234"
                                      << "24%";
        QTest::newRow("above maximum") << 6000 << 5000 << 120 << 9.0 << "6000"
                                       << "120%";
        QTest::newRow("no maximum") << 1500 << 0 << 0 << 0.0 << "1500"
                                    << "0%";
    }
    void fanBox() {
        QFETCH(int, speed);
        QFETCH(int, maximum);
        QTEST(FanShare::percentOfMaximum(speed, maximum), "percent");
        BoxFanView box;
        box.setMaxSpeed(maximum);
        box.setCurrentSpeed(speed);
        box.setNeedsLayout();
        box.layoutIfNeeded();
        QTEST(box.gaugeValue(), "ring");
        QTEST(box.sensorValueLabel()->text(), "rpmText");
        box.setShowsPercentage(true);
        box.setNeedsLayout();
        QFETCH(QString, percentText);
        QTRY_COMPARE(box.sensorValueLabel()->text(), percentText);
    }

    void chooserGeometry_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("bottoms");
        QTest::newRow("three rows") << 3 << 156 << QList<int>{84, 56, 28};
        QTest::newRow("one row") << 1 << 100 << QList<int>{28};
    }
    void chooserGeometry() {
        QFETCH(int, rows);
        QFETCH(int, height);
        SensorListViewController chooser(
            SensorRecordCodec::candidateList("CPU", cpuCandidates)->candidates().mid(0, rows));
        chooser.resize(300, 10);
        chooser.show();
        QCOMPARE(chooser.height(), height);
        QList<int> bottoms;
        for (QRadioButton* button : chooser.radioButtons()) {
            // Measured from the chooser's bottom edge, as the rows are laid out.
            bottoms.append(height - button->geometry().bottom() - 1);
            QCOMPARE(button->geometry().left(), 20);
        }
        QTEST(bottoms, "bottoms");
    }

    // Titles, live readings and picks, through the tile that owns the chooser.
    void chooserInATile() {
        ScriptedHelper helper;
        helper.temps = {{"CPU", QVariantList{"CPU", qlonglong(1), qlonglong(0), true}}};
        helper.machineSensors = {{"CPU", cpuCandidates}};
        helper.units = {1, 0};
        helper.temperatureOf = [](quint32 code) { return code == 1 ? 52 : 40; };
        SetupViewController window(&helper);
        QTRY_VERIFY(window.panelsFilled());
        QTRY_COMPARE(window.temperatureUnitSegment(), 1);
        BoxView* box = window.tempBoxes().first();
        box->gearButtonPressed();
        Popover* popover = box->popover();
        QVERIFY(popover->isShown());
        SensorListViewController* chooser = box->sensorListVC();
        QCOMPARE(chooser->headingText(), QStringLiteral("CPU Sensors"));
        QCOMPARE(chooser->radioButtons().size(), 3);
        QRadioButton* second = chooser->radioButtons()[1];
        QVERIFY(chooser->radioButtons()[0]->isChecked());
        QCOMPARE(chooser->radioButtons()[2]->text(), QStringLiteral("PECI (TCXC): 0"));
        QTRY_COMPARE(chooser->radioButtons()[0]->text(),
                     QStringLiteral("CPU PROXIMITY (TC0P): 126 \u00BAF"));
        QCOMPARE(second->text(), QStringLiteral("CPU DIE (TC0D): 104 \u00BAF"));
        QVERIFY(chooser->isRefreshing());

        helper.clearRecords();
        chooser->radioButtons()[0]->click();
        QVERIFY(helper.commands.isEmpty());
        second->click();
        QCOMPARE(helper.commands, QStringList{"changeSensorWithNewSensor 2 CPU"});
        QCOMPARE(box->sensorCode(), 2u);
        QVERIFY(second->isChecked() && !chooser->radioButtons()[0]->isChecked());

        box->gearButtonPressed();
        QVERIFY(!popover->isShown());
        QVERIFY(!chooser->isRefreshing());
    }

    void titles_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("fahrenheit");
        QTest::addColumn<QString>("result");
        QTest::newRow("celsius") << "PECI (TCXC): 0" << 52 << false << "PECI (TCXC): 52 \u00BAC";
        QTest::newRow("again") << "PECI (TCXC): 52 \u00BAC" << 126 << true
                               << "PECI (TCXC): 126 \u00BAF";
        QTest::newRow("no colon") << "PECI" << 3 << false << "PECI: 3 \u00BAC";
    }
    void titles() {
        QFETCH(QString, title);
        QFETCH(int, value);
        QFETCH(bool, fahrenheit);
        QTEST(SensorListViewController::titleWithReading(title, value, fahrenheit), "result");
    }

    void segmentedControl() {
        SegmentedControl control;
        control.setSegments({QStringLiteral("RPM"), QStringLiteral("%")});
        control.resize(control.sizeHint());
        QSignalSpy activated(&control, &SegmentedControl::activated);
        control.setSelectedSegment(0);
        QVERIFY(activated.isEmpty());
        QTest::mouseClick(&control, Qt::LeftButton, {}, control.segmentRect(1).center());
        QCOMPARE(control.selectedSegment(), 1);
        QCOMPARE(activated.size(), 1);
        control.setSelectedSegment(5);
        QCOMPARE(control.selectedSegment(), -1);
    }

    void segmentedControlGreysWhenDisabled_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void segmentedControlGreysWhenDisabled() {
        QFETCH(bool, dark);
        SegmentedControl control;
        if (dark) {
            control.setPalette(NamedAssets::darkPalette());
        }
        control.setSegments({QStringLiteral("ºC"), QStringLiteral("ºF")});
        control.setSelectedSegment(0);
        control.resize(control.sizeHint());
        // Inside the selected segment, above its text.
        const QPoint probe(control.segmentRect(0).center().x(), 3);
        const auto pixelAt = [&control, probe] {
            QImage image(control.size(), QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            control.draw(&painter, control.rect());
            painter.end();
            return image.pixelColor(probe);
        };
        QCOMPARE(pixelAt(),
                 NamedAssets::shared().color(QStringLiteral("SelectedColor"), control.palette()));
        control.setEnabled(false);
        QCOMPARE(pixelAt(), control.palette().color(QPalette::Disabled, QPalette::Highlight));
        QVERIFY(pixelAt() != control.palette().color(QPalette::Active, QPalette::Highlight));
    }

    void popoverPlacement_data() {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("below, centred") << QRect(390, 100, 20, 20) << QPoint(250, 124);
        QTest::newRow("kept on screen") << QRect(780, 100, 20, 20) << QPoint(500, 124);
        QTest::newRow("above at the bottom") << QRect(390, 560, 20, 20) << QPoint(250, 396);
    }
    void popoverPlacement() {
        QFETCH(QRect, anchor);
        QTEST(Popover::placement(anchor, QSize(300, 160), QRect(0, 0, 800, 600)), "corner");
    }
};

QTEST_MAIN(TestSensorBoxes)
#include "tst_sensorboxes.moc"
