#include "BoxFanView.h"
#include "BoxView.h"
#include "CustomTabView.h"
#include "Gauge.h"
#include "HelperBanner.h"
#include "Popover.h"
#include "ScriptedHelper.h"
#include "SegmentedControl.h"
#include "SetupViewController.h"
#include "ToolButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

QVariantList tempEntry(const QVariant& name, qlonglong code, qlonglong order, bool selected) {
    return {name, code, order, selected};
}

// count temperature components "C0", "C1" … named "Sensor 0" …, the first
// `selected` of them selected.
QVariantMap temperatures(int count, int selected = 1) {
    QVariantMap dictionary;
    for (int i = 0; i < count; ++i) {
        dictionary.insert(QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0')),
                          tempEntry(QStringLiteral("Sensor %1").arg(i), 1000 + i, i, i < selected));
    }
    return dictionary;
}

QStringList namesOf(const QList<BoxView*>& boxes) {
    QStringList names;
    for (BoxView* box : boxes) {
        if (!box->isHidden()) {
            names.append(box->sensorName());
        }
    }
    return names;
}

void click(QWidget* widget) {
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, widget->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

QMessageBox* openAlert(QWidget* window) {
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

} // namespace

class TestSetupViewController : public QObject {
    Q_OBJECT

    std::unique_ptr<SetupViewController> open(ScriptedHelper& helper, bool show = false) {
        auto controller = std::make_unique<SetupViewController>(&helper);
        if (show) {
            controller->show();
        }
        if (!QTest::qWaitFor([&] { return controller->panelsFilled(); })) {
            return nullptr;
        }
        // The replies asked for while filling (check boxes, units).
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return controller;
    }

private Q_SLOTS:
    void fillsTemperaturePanel_data() {
        QTest::addColumn<QVariantMap>("dictionary");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("secondRow");
        QTest::addColumn<bool>("thirdRow");
        QTest::addColumn<bool>("notice");

        QVariantMap ordered{{"A", tempEntry("Three", 1, 3, true)},
                            {"B", tempEntry("Zero", 2, 0, false)},
                            {"C", tempEntry("Seven", 3, 7, false)}};
        QTest::newRow("orders 3, 0, 7")
            << ordered << QStringList{"Zero", "Three", "Seven"} << false << false << false;
        QStringList seven;
        QStringList fifteen;
        for (int i = 0; i < 15; ++i) {
            (i < 7 ? seven : fifteen).append(QStringLiteral("Sensor %1").arg(i));
        }
        fifteen = seven + fifteen;
        QTest::newRow("seven hide row three") << temperatures(7) << seven << true << false << false;
        QTest::newRow("sixteen fill fifteen")
            << temperatures(16) << fifteen << true << true << false;
        QTest::newRow("none") << QVariantMap() << QStringList() << false << false << true;
        // A name that is not text shows as "Unknown"; values that are not
        // entries (no array, too short for a code and a position) are left out.
        QVariantMap odd{{"A", tempEntry(42, 1, 0, true)},
                        {"B", QStringLiteral("not an entry")},
                        {"C", QVariantList{QStringLiteral("No order"), 5}}};
        QTest::newRow("wrong types") << odd << QStringList{"Unknown"} << false << false << false;
    }
    void fillsTemperaturePanel() {
        QFETCH(QVariantMap, dictionary);
        QFETCH(QStringList, names);
        ScriptedHelper helper;
        helper.temps = dictionary;
        auto controller = open(helper);
        QVERIFY(controller);
        QCOMPARE(namesOf(controller->tempBoxes()), names);
        QTEST(!controller->tempStack(2)->isHidden(), "secondRow");
        QTEST(!controller->tempStack(3)->isHidden(), "thirdRow");
        QTEST(!controller->noSensorsMsg()->isHidden(), "notice");
        QCOMPARE(controller->tempSelectedBoxes().size() + controller->tempUnselectedBoxes().size(),
                 15);
    }

    void fillsFanPanel_data() {
        QTest::addColumn<QVariantMap>("dictionary");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QList<int>>("maxSpeeds");
        QTest::addColumn<bool>("secondRow");

        const QVariantMap three{{"2", QVariantList{"Two", 6000, false}},
                                {"0", QVariantList{"Zero", 5000, true}},
                                {"1", QVariantList{"One", QStringLiteral("fast"), false}}};
        QTest::newRow("keys 2, 0, 1")
            << three << QStringList{"0", "1", "2"} << QList<int>{5000, 10000, 6000} << false;
        QVariantMap five;
        for (const char* key : {"0", "1", "10", "2", "3"}) {
            five.insert(QLatin1String(key), QVariantList{QLatin1String(key), 4000, false});
        }
        QTest::newRow("text order, five fans")
            << five << QStringList{"0", "1", "10", "2", "3"} << QList<int>(5, 4000) << true;
    }
    void fillsFanPanel() {
        QFETCH(QVariantMap, dictionary);
        QFETCH(QStringList, keys);
        QFETCH(QList<int>, maxSpeeds);
        ScriptedHelper helper;
        helper.fans = dictionary;
        auto controller = open(helper);
        QVERIFY(controller);
        QStringList shownKeys;
        QList<int> shownMaxima;
        for (BoxFanView* box : controller->fanBoxes()) {
            if (!box->isHidden()) {
                shownKeys.append(box->sensorKey());
                shownMaxima.append(box->maxSpeed());
                QVERIFY(!box->gearButton());
            }
        }
        QCOMPARE(shownKeys, keys);
        QCOMPARE(shownMaxima, maxSpeeds);
        QTEST(!controller->fanStack(2)->isHidden(), "secondRow");
        QVERIFY(controller->noFansMsg()->isHidden());
    }

    void memoryTilesAndReadings_data() {
        QTest::addColumn<QList<double>>("reply");
        QTest::addColumn<QString>("total");
        QTest::addColumn<double>("barMax");
        QTest::addColumn<double>("barValue");
        QTest::addColumn<QStringList>("tiles");
        QTest::newRow("seven figures")
            << QList<double>{16.0, 9.7, 6.3, 2.25, 5.0, 4.1, 1.999} << "16 GB" << 16.0 << 9.7
            << QStringList{"2.25", "5", "4.10", "2"};
        QTest::newRow("short reply")
            << QList<double>{8.0} << "8 GB" << 10.0 << 0.0 << QStringList{"0", "0", "0", "0"};
    }
    void memoryTilesAndReadings() {
        QFETCH(QList<double>, reply);
        ScriptedHelper helper;
        helper.mems = {{"Wired", QVariantList{3, true}}, {"Active", QVariantList{4, false}}};
        helper.memory = reply;
        auto controller = open(helper);
        QVERIFY(controller);
        const QList<BoxView*> tiles = controller->memBoxes();
        QCOMPARE(namesOf(tiles), (QStringList{"Wired", "Active", "Inactive", "Compressed"}));
        QCOMPARE(controller->memSelectedBoxes(), QList<BoxView*>{tiles[0]});
        QCOMPARE(tiles[3]->sensorCode(), 3u);

        QSignalSpy shown(controller.get(), &SetupViewController::readingsShown);
        controller->updateReadings();
        QTRY_VERIFY(controller->showsReadings());
        QTEST(controller->totalMemoryLabel()->text(), "total");
        QTEST(controller->memBar()->maxValue(), "barMax");
        QTEST(controller->memBar()->currentValue(), "barValue");
        QStringList values;
        for (BoxView* tile : tiles) {
            values.append(tile->sensorValue());
        }
        QTEST(values, "tiles");
    }

    void limitOfNine() {
        ScriptedHelper helper;
        helper.temps = temperatures(12, 9);
        auto controller = open(helper);
        QVERIFY(controller);
        const QList<BoxView*> boxes = controller->tempBoxes();
        for (int i = 9; i < 12; ++i) {
            QVERIFY(!boxes[i]->isSelectable());
        }
        helper.clearRecords();
        click(boxes[10]);
        QVERIFY(!boxes[10]->isSelected());
        QMessageBox* alert = openAlert(controller.get());
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Too many sensors..."));
        QCOMPARE(alert->informativeText(),
                 QStringLiteral("The widget can show up to 9 temperature sensors."));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->buttons().first()->text(), QStringLiteral("Ok"));
        alert->close();
        QVERIFY(helper.commands.isEmpty());

        click(boxes[0]);
        QCOMPARE(helper.commands.filter(QStringLiteral("changeState")),
                 QStringList{"changeStateForSensor C00 Temps 0"});
        for (int i = 9; i < 12; ++i) {
            QVERIFY(boxes[i]->isSelectable());
        }
        click(boxes[10]);
        QVERIFY(boxes[10]->isSelected());
        QVERIFY(!boxes[0]->isSelectable());
        QCOMPARE(controller->tempSelectedBoxes().size(), 9);
    }

    void sectionCheck() {
        ScriptedHelper helper;
        helper.temps = temperatures(2, 1);
        helper.fans = {{"0", QVariantList{"Left", 5000, true}}};
        helper.sections = {1, 0, 1};
        auto controller = open(helper);
        QVERIFY(controller);
        QCheckBox* temps = controller->showCheck(0);
        // The agent's stored states replace what the check at load set.
        QVERIFY(temps->isChecked() && temps->isEnabled());
        QVERIFY(!controller->showCheck(1)->isChecked());
        QVERIFY(controller->showCheck(2)->isChecked());

        helper.clearRecords();
        click(controller->tempBoxes()[0]);
        QVERIFY(!temps->isChecked());
        QVERIFY(!temps->isEnabled());
        QCOMPARE(helper.commands, (QStringList{"changeStateForSensor C00 Temps 0",
                                               "changeVisibilityForSection Temps 0"}));
        helper.clearRecords();
        click(controller->tempBoxes()[1]);
        QVERIFY(temps->isChecked() && temps->isEnabled());
        QCOMPARE(helper.commands, (QStringList{"changeStateForSensor C01 Temps 1",
                                               "changeVisibilityForSection Temps 1"}));

        helper.clearRecords();
        controller->showCheck(2)->click();
        controller->showCheck(1)->click();
        QCOMPARE(helper.commands, (QStringList{"changeVisibilityForSection Mem 0",
                                               "changeVisibilityForSection Fans 1"}));
    }

    void hoverHelpLine() {
        ScriptedHelper helper;
        helper.temps = {{"CPU", tempEntry("CPU", 1, 0, true)},
                        {"GPU", tempEntry("GPU", 2, 1, false)}};
        auto controller = open(helper);
        QVERIFY(controller);
        BoxView* cpu = controller->tempBoxes()[0];
        BoxView* gpu = controller->tempBoxes()[1];
        const QPointF inside(10, 10);
        QEnterEvent enter(inside, inside, inside);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(cpu, &enter);
        QCOMPARE(controller->helpMsg()->text(), QStringLiteral("Remove CPU from widget"));
        QApplication::sendEvent(cpu->gearButton(), &enter);
        QCOMPARE(controller->helpMsg()->text(), QStringLiteral("Show available CPU sensors"));
        QApplication::sendEvent(cpu->gearButton(), &leave);
        QCOMPARE(controller->helpMsg()->text(), QStringLiteral("Remove CPU from widget"));
        QApplication::sendEvent(cpu, &leave);
        QCOMPARE(controller->helpMsg()->text(), QString());
        QApplication::sendEvent(gpu, &enter);
        QCOMPARE(controller->helpMsg()->text(), QStringLiteral("Add GPU to widget"));
    }

    void temperatureUnits_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("celsius");
        QTest::addColumn<QString>("shown");
        QTest::newRow("25 C") << 0 << 25 << "25";
        QTest::newRow("25 F") << 1 << 25 << "77";
        QTest::newRow("26 F") << 1 << 26 << "79";
        QTest::newRow("-1 F") << 1 << -1 << "30";
    }
    void temperatureUnits() {
        QFETCH(int, unit);
        QFETCH(int, celsius);
        ScriptedHelper helper;
        helper.temps = temperatures(1);
        helper.units = {unit, 0};
        helper.temperatureOf = [celsius](quint32) { return celsius; };
        auto controller = open(helper);
        QVERIFY(controller);
        controller->updateReadings();
        QTRY_VERIFY(controller->showsReadings());
        QTEST(controller->tempBoxes()[0]->sensorValue(), "shown");
    }

    void unitChangeRefreshesAtOnce() {
        ScriptedHelper helper;
        helper.temps = temperatures(1);
        helper.temperatureOf = [](quint32) { return 20; };
        auto controller = open(helper);
        QVERIFY(controller);
        helper.clearRecords();
        SegmentedControl* selector = controller->tempUnitSelector();
        QTest::mouseClick(selector, Qt::LeftButton, {}, selector->segmentRect(1).center());
        QCOMPARE(helper.commands, QStringList{"changeTempUnitToCelsius 0"});
        QCOMPARE(helper.requestCount("temperatureForSensors"), 1);
        QTRY_COMPARE(controller->tempBoxes()[0]->sensorValue(), QStringLiteral("68"));
        QTest::mouseClick(selector, Qt::LeftButton, {}, selector->segmentRect(0).center());
        QCOMPARE(helper.commands.last(), QStringLiteral("changeTempUnitToCelsius 1"));
    }

    void percentModeTakenAtRequest() {
        ScriptedHelper helper;
        helper.fans = {{"0", QVariantList{"Left", 5000, true}}};
        helper.rpmOf = [](int) { return 1234; };
        auto controller = open(helper);
        QVERIFY(controller);
        auto* fan = controller->fanBoxes()[0];
        helper.answerMode = ScriptedHelper::AnswerMode::Held;
        controller->updateReadings();
        SegmentedControl* selector = controller->fanUnitSelector();
        QTest::mouseClick(selector, Qt::LeftButton, {}, selector->segmentRect(1).center());
        QCOMPARE(helper.requestCount("rpmForFans"), 2);
        helper.releaseHeld();
        // Both replies are in; the first was asked in rpm, the second in percent.
        QSignalSpy shown(controller.get(), &SetupViewController::readingsShown);
        QTRY_VERIFY(shown.size() >= 3);
        fan->layoutIfNeeded();
        QCOMPARE(fan->sensorValueLabel()->text(), QStringLiteral("24%"));
        QVERIFY(fan->showsPercentage());

        helper.answerMode = ScriptedHelper::AnswerMode::Held;
        selector->setSelectedSegment(0);
        controller->updateReadings();
        selector->setSelectedSegment(1);
        shown.clear();
        helper.releaseHeld();
        QTRY_VERIFY(shown.size() >= 3);
        fan->layoutIfNeeded();
        QCOMPARE(fan->sensorValueLabel()->text(), QStringLiteral("1234"));
    }

    void tabResetsRefresh() {
        ScriptedHelper helper;
        helper.fans = {{"0", QVariantList{"Left", 5000, true}}};
        helper.rpmOf = [](int) { return 2500; };
        auto controller = open(helper, true);
        QVERIFY(controller);
        QCOMPARE(controller->activeRefreshMs(), 5000);
        QTRY_COMPARE(controller->fanBoxes()[0]->currentSpeed(), 2500);

        helper.answerMode = ScriptedHelper::AnswerMode::Held;
        controller->mainTabView()->setCurrentIndex(1);
        QCOMPARE(controller->panelType(), QStringLiteral("Fans"));
        QCOMPARE(controller->fanBoxes()[0]->currentSpeed(), 0);
        QCOMPARE(controller->activeRefreshMs(), 4000);
        helper.releaseHeld();
        QTRY_COMPARE(controller->fanBoxes()[0]->currentSpeed(), 2500);

        controller->mainTabView()->setCurrentIndex(0);
        QCOMPARE(controller->panelType(), QStringLiteral("Temps"));
        QCOMPARE(controller->activeRefreshMs(), 4000);
        controller->hide();
        QCOMPARE(controller->activeRefreshMs(), 0);
    }

    // An agent that is absent leaves the panels empty; once it answers, the
    // window fills them.
    void recoversWhenTheAgentAppears() {
        ScriptedHelper helper;
        helper.answerMode = ScriptedHelper::AnswerMode::Never;
        helper.temps = temperatures(3);
        auto controller = open(helper, true);
        QVERIFY(controller);
        QVERIFY(!controller->noSensorsMsg()->isHidden());
        QCOMPARE(namesOf(controller->tempBoxes()), QStringList());

        helper.answerMode = ScriptedHelper::AnswerMode::Queued;
        QSignalSpy filled(controller.get(), &SetupViewController::panelsFilledChanged);
        controller->requestSensorDictionaries();
        QVERIFY(filled.wait());
        QCOMPARE(namesOf(controller->tempBoxes()).size(), 3);
        QVERIFY(controller->noSensorsMsg()->isHidden());
    }

    // While the agent is away nothing can look changed: every control that
    // would send a change is disabled and takes no click, nothing is sent, the
    // readings dim and the banner says why; all of it clears when it is back.
    void awayAgentTakesNoChange_data() {
        QTest::addColumn<QString>("control");
        QTest::newRow("tile") << "tile";
        QTest::newRow("unit selector") << "unit";
        QTest::newRow("section check box") << "check";
        QTest::newRow("gear") << "gear";
    }
    void awayAgentTakesNoChange() {
        QFETCH(QString, control);
        ScriptedHelper helper;
        helper.temps = temperatures(3, 2);
        const QVariantList candidate{qlonglong(1000), "TC0P", "CPU_PROXIMITY", true};
        helper.machineSensors = {{"C00", QVariantList{candidate, candidate}}};
        auto controller = open(helper, true);
        QVERIFY(controller);
        BoxView* tile = controller->tempBoxes()[0];
        QVERIFY(tile->isSelected() && tile->sensors().size() == 2);
        QVERIFY(controller->helperBanner()->isHidden());

        controller->setHelperPresence(HelperPresence::State::away);
        QVERIFY(!controller->helperBanner()->isHidden());
        QVERIFY(controller->helperBanner()->startButton()->isVisible());
        QVERIFY(controller->readingsStale());
        QVERIFY(controller->noSensorsMsg()->isHidden());
        helper.clearRecords();
        if (control == "tile") {
            QVERIFY(!tile->isEnabled());
            click(tile);
            tile->performClick();
        } else if (control == "unit") {
            QVERIFY(!controller->tempUnitSelector()->isEnabled());
            QTest::keyClick(controller->tempUnitSelector(), Qt::Key_Right);
        } else if (control == "check") {
            QVERIFY(!controller->showCheck(0)->isEnabled());
            controller->showCheck(0)->click();
        } else {
            tile->gearButtonPressed();
            QVERIFY(!tile->popover()->isShown());
        }
        QVERIFY(tile->isSelected());
        QCOMPARE(controller->temperatureUnitSegment(), 0);
        QVERIFY(controller->showCheck(0)->isChecked());
        QCOMPARE(helper.commands, QStringList());

        controller->setHelperPresence(HelperPresence::State::connected);
        QVERIFY(controller->helperBanner()->isHidden());
        QVERIFY(!controller->readingsStale());
        QVERIFY(tile->isEnabled() && controller->showCheck(0)->isEnabled() &&
                controller->tempUnitSelector()->isEnabled());
        QCOMPARE(helper.commands, QStringList());
        click(tile);
        QCOMPARE(helper.commands.value(0), "changeStateForSensor C00 Temps 0");
    }

    // A stopped agent's reason decides the banner's words and its way out.
    void bannerSaysWhy_data() {
        QTest::addColumn<int>("reason"); // -1: away without a word
        QTest::addColumn<QString>("headline");
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("demo");
        QTest::newRow("away") << -1 << "Ondara's sensor service is not running." << true << false;
        QTest::newRow("no sensors")
            << int(AgentStopRecord::Reason::noSensors)
            << "This computer has no sensors Ondara's sensor service can read." << false << true;
        QTest::newRow("not privileged")
            << int(AgentStopRecord::Reason::notPrivileged)
            << "Ondara's sensor service may not read this computer's sensors." << false << false;
        QTest::newRow("another agent")
            << int(AgentStopRecord::Reason::anotherAgent)
            << "Ondara's sensor service stopped: another one already runs for you." << true
            << false;
    }
    void bannerSaysWhy() {
        QFETCH(int, reason);
        ScriptedHelper helper;
        auto controller = open(helper, true);
        QVERIFY(controller);
        if (reason < 0) {
            controller->setHelperPresence(HelperPresence::State::away);
        } else {
            controller->setHelperPresence(
                HelperPresence::State::stopped,
                AgentStopRecord::Stop{AgentStopRecord::Reason(reason), "the agent's words"});
        }
        HelperBanner* banner = controller->helperBanner();
        QTEST(banner->message()->text(), "headline");
        QTEST(banner->startButton()->isVisible(), "start");
        QTEST(banner->demoButton()->isVisible(), "demo");
        QVERIFY(banner->accessibleDescription().startsWith(banner->message()->text()));
        QSignalSpy started(banner, &HelperBanner::startRequested);
        QSignalSpy demo(banner, &HelperBanner::demoRequested);
        (banner->startButton()->isVisible() ? banner->startButton() : banner->demoButton())
            ->click();
        QCOMPARE(started.size() + demo.size(), 1);
    }

    void gearFollowsCandidates() {
        ScriptedHelper helper;
        helper.temps = {{"CPU", tempEntry("CPU", 1, 0, true)},
                        {"GPU", tempEntry("GPU", 2, 1, true)},
                        {"HDD", tempEntry("Drive", 3, 2, true)}};
        const QVariantList candidate{qlonglong(1), "TC0P", "CPU_PROXIMITY", true};
        helper.machineSensors = {{"CPU", QVariantList{candidate, candidate}},
                                 {"GPU", QVariantList{candidate}}};
        auto controller = open(helper);
        QVERIFY(controller);
        const QList<BoxView*> boxes = controller->tempBoxes();
        QVERIFY(boxes[0]->gearButton());
        QCOMPARE(boxes[0]->sensors().size(), 2);
        QCOMPARE(boxes[0]->componentName(), QStringLiteral("CPU"));
        QVERIFY(!boxes[1]->gearButton());
        QVERIFY(boxes[2]->gearButton());
        QVERIFY(boxes[2]->sensors().isEmpty());
    }
};

QTEST_MAIN(TestSetupViewController)
#include "tst_setupviewcontroller.moc"
