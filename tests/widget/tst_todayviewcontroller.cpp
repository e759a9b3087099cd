#include "FanBoxView.h"
#include "Gauge.h"
#include "OndaraNames.h"
#include "ScriptedHelper.h"
#include "TodayViewController.h"
#include "WidgetBoxView.h"
#include "WidgetTabView.h"
#include "WidgetTabViewItem.h"
#include "defaults/UserDefaults.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// count temperature entries whose display positions run against their
// names' order, so a layout that ignores positions shows the wrong names.
QVariantMap tempList(int count) {
    QVariantMap list;
    for (int i = 0; i < count; ++i) {
        list.insert(QStringLiteral("Sensor %1").arg(i, 2, 10, QLatin1Char('0')),
                    QVariantList{qlonglong(0x54430000 + i), qlonglong(count - i)});
    }
    return list;
}

QVariantMap fanList(int count) {
    QVariantMap list;
    for (int i = 0; i < count; ++i) {
        list.insert(QStringLiteral("Fan %1").arg(i), QVariantList{qlonglong(i), qlonglong(3000)});
    }
    return list;
}

QVariantMap memList(int count) {
    static const QStringList names{"Wired", "Active", "Inactive", "Compressed",
                                   "Free",  "Used",   "Total"};
    QVariantMap list;
    for (int i = 0; i < std::min(count, int(names.size())); ++i) {
        list.insert(names[i], qlonglong(3 + i));
    }
    return list;
}

QString identifiers(const WidgetTabView* view) {
    QStringList names;
    for (const WidgetTabViewItem* item : view->items()) {
        names.append(item->identifier());
    }
    return names.join(',');
}

// Which rows of a section are shown, as "110".
QString shownRows(const TodayViewController& controller, int section) {
    QString rows;
    for (int i = 0; QWidget* row = controller.row(section, i); ++i) {
        rows += row->isHidden() ? '0' : '1';
    }
    return rows;
}

// Every paint of the root or a widget in it, as the part of the root it
// covers, leaving out one pixel of the root's own that settle() draws.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* root)
        : m_root(root) {
        qApp->installEventFilter(this);
    }
    ~PaintLog() override { qApp->removeEventFilter(this); }
    // Waits until the pixel is painted: whatever was to be painted before
    // is painted in the same pass.
    bool settle() {
        m_settled = false;
        m_root->update(kPixel);
        return QTest::qWaitFor([this] { return m_settled; });
    }
    void clear() {
        region = {};
        painted.clear();
    }

    QRegion region;
    QSet<QWidget*> painted;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Paint && widget != nullptr &&
            (widget == m_root || m_root->isAncestorOf(widget))) {
            const QRegion covered = static_cast<QPaintEvent*>(event)->region().translated(
                widget->mapTo(m_root, QPoint()));
            m_settled = m_settled || (widget == m_root && covered.contains(kPixel.topLeft()));
            if (const QRegion rest = covered - kPixel; !rest.isEmpty()) {
                region += rest;
                painted.insert(widget);
            }
        }
        return false;
    }

private:
    static constexpr QRect kPixel{0, 0, 1, 1};
    QWidget* m_root;
    bool m_settled = false;
};

// A widget on screen over an in-process agent and a settings suite of its own.
struct Fixture {
    explicit Fixture(bool helperInstalled = true, const QString& storedTab = {}) {
        defaults = UserDefaults::openSuite(QString(OndaraNames::suiteName), folder.path());
        defaults->setObject(QString(OndaraNames::Keys::helperInstalled), helperInstalled);
        if (!storedTab.isEmpty()) {
            defaults->setObject(QString(OndaraNames::Keys::lastSelectedTab), storedTab);
        }
        defaults->synchronize();
        helper.activeTemps = tempList(3);
        helper.activeFans = fanList(2);
        helper.activeMems = memList(4);
        controller = std::make_unique<TodayViewController>(&helper, nullptr, defaults.get());
    }
    // Appears and waits until every list has been laid out.
    bool appear() {
        controller->viewDidAppear();
        return QTest::qWaitFor([this] {
            return controller->hasLaidOut("TempsTab") && controller->hasLaidOut("FansTab") &&
                   controller->hasLaidOut("MemTab");
        });
    }
    void select(const QString& identifier) {
        for (WidgetTabViewItem* item : controller->allTabs()) {
            if (item->identifier() == identifier) {
                controller->tabView()->selectItem(item);
            }
        }
    }

    QTemporaryDir folder;
    std::unique_ptr<UserDefaults> defaults;
    ScriptedHelper helper;
    std::unique_ptr<TodayViewController> controller;
};

} // namespace

class TestTodayViewController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layoutFollowsEntryCount_data() {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<int>("height");
        QTest::newRow("one temperature") << "TempsTab" << 1 << "100" << 180;
        QTest::newRow("four temperatures") << "TempsTab" << 4 << "110" << 250;
        QTest::newRow("seven temperatures") << "TempsTab" << 7 << "111" << 320;
        QTest::newRow("more temperatures than boxes") << "TempsTab" << 12 << "111" << 320;
        QTest::newRow("two fans") << "FansTab" << 2 << "10" << 190;
        QTest::newRow("four fans") << "FansTab" << 4 << "11" << 290;
        QTest::newRow("one memory row") << "MemTab" << 1 << "000" << 150;
        QTest::newRow("four memory rows") << "MemTab" << 4 << "110" << 310;
        QTest::newRow("seven memory rows") << "MemTab" << 7 << "111" << 380;
    }
    void layoutFollowsEntryCount() {
        QFETCH(QString, tab);
        QFETCH(int, count);
        QFETCH(QString, rows);
        QFETCH(int, height);
        Fixture widget;
        widget.helper.activeTemps = tempList(count);
        widget.helper.activeFans = fanList(count);
        widget.helper.activeMems = memList(count);
        widget.select(tab);
        QVERIFY(widget.appear());
        const int section = tab == "TempsTab" ? 0 : tab == "FansTab" ? 1 : 2;
        QCOMPARE(shownRows(*widget.controller, section), rows);
        QCOMPARE(widget.controller->preferredContentSize(),
                 QSize(TodayViewController::kViewWidth, height));
        if (section == 0) {
            // The lowest display positions come first; extra entries are left out.
            const auto& boxes = widget.controller->tempBoxes();
            QCOMPARE(boxes[0]->sensorName(),
                     QStringLiteral("Sensor %1").arg(count - 1, 2, 10, QLatin1Char('0')));
            QCOMPARE(boxes[0]->sensorCode(), quint32(0x54430000 + count - 1));
            const auto shown = std::count_if(boxes.begin(), boxes.end(),
                                             [](const QWidget* box) { return !box->isHidden(); });
            QCOMPARE(shown, std::min<qsizetype>(count, boxes.size()));
        }
    }

    void entriesThatDoNotFitAreSkipped() {
        Fixture widget;
        widget.helper.activeTemps = {{"A", QVariantList{qlonglong(0x54413050), qlonglong(2)}},
                                     {"Text", "TC0P"},
                                     {"Short", QVariantList{qlonglong(1)}},
                                     {"Wide", QVariantList{qlonglong(0x1FFFFFFFF), qlonglong(0)}},
                                     {"B", QVariantList{qlonglong(0x54423054), qlonglong(1)}}};
        widget.helper.activeFans = {{"Negative", QVariantList{qlonglong(-1), qlonglong(3000)}},
                                    {"Left", QVariantList{qlonglong(0), qlonglong(3000)}}};
        widget.helper.activeMems = {
            {"Wired", qlonglong(3)}, {"Beyond", qlonglong(40)}, {"Named", "3"}};
        // Fewer readings than boxes asked for: the rest keep their text.
        widget.helper.temperaturesOverride = QList<int>{42};
        QVERIFY(widget.appear());
        const auto& temps = widget.controller->tempBoxes();
        QCOMPARE(temps[0]->sensorName(), QStringLiteral("B"));
        QCOMPARE(temps[1]->sensorName(), QStringLiteral("A"));
        QVERIFY(temps[2]->isHidden());
        QTRY_COMPARE(temps[0]->sensorValue(), QStringLiteral("42"));
        QCOMPARE(temps[1]->sensorValue(), QStringLiteral("0"));
        QCOMPARE(widget.controller->fanBoxes()[0]->sensorName(), QStringLiteral("Left"));
        QVERIFY(widget.controller->fanBoxes()[1]->isHidden());
        const auto& mems = widget.controller->memBoxes();
        QTRY_COMPARE(mems[0]->sensorValue(), QStringLiteral("2.25"));
        QCOMPARE(mems[1]->sensorName(), QStringLiteral("Beyond"));
        QCOMPARE(mems[1]->sensorValue(), QStringLiteral("0"));
        QVERIFY(mems[2]->isHidden());
    }

    void memoryShowsItsFigures() {
        Fixture widget;
        QVERIFY(widget.appear());
        widget.select("MemTab");
        const auto& boxes = widget.controller->memBoxes();
        QTRY_COMPARE(widget.controller->totalMemLabel()->text(), QStringLiteral("16"));
        QStringList names;
        QStringList values;
        for (int i = 0; i < 4; ++i) {
            names.append(boxes[i]->sensorName());
            values.append(boxes[i]->sensorValue());
        }
        QCOMPARE(names, QStringList({"Wired", "Active", "Inactive", "Compr."}));
        QCOMPARE(values, QStringList({"2.25", "5", "4.10", "2"}));
        QCOMPARE(boxes[0]->valueFontSize(), 20.0);
        QCOMPARE(widget.controller->memBar()->maxValue(), 16.0);
    }

    void unitsApplyToReadings_data() {
        QTest::addColumn<QList<int>>("units");
        QTest::addColumn<int>("celsius");
        QTest::addColumn<QString>("temperature");
        QTest::addColumn<QString>("fan");
        QTest::newRow("Celsius, RPM") << QList<int>{0, 0} << 37 << "37"
                                      << "1500";
        QTest::newRow("Fahrenheit 50") << QList<int>{1, 0} << 50 << "122"
                                       << "1500";
        QTest::newRow("Fahrenheit rounds half up") << QList<int>{1, 0} << 37 << "99"
                                                   << "1500";
        QTest::newRow("Fahrenheit below zero") << QList<int>{1, 0} << -40 << "-40"
                                               << "1500";
        QTest::newRow("percent") << QList<int>{0, 1} << 37 << "37"
                                 << "50%";
        QTest::newRow("short units ignored") << QList<int>{1} << 37 << "37"
                                             << "1500";
    }
    void unitsApplyToReadings() {
        QFETCH(QList<int>, units);
        QFETCH(int, celsius);
        QFETCH(QString, temperature);
        QFETCH(QString, fan);
        Fixture widget;
        widget.helper.units = units;
        widget.helper.temperatureOf = [celsius](quint32) { return celsius; };
        widget.helper.rpmOf = [](int) { return 1500; };
        QVERIFY(widget.appear());
        QTRY_COMPARE(widget.controller->tempBoxes()[0]->sensorValue(), temperature);
        widget.select("FansTab");
        QTRY_COMPARE(widget.controller->fanBoxes()[0]->sensorValue(), fan);
    }

    void sectionsInsertAndRemoveTabs_data() {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("after");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<bool>("noSections");
        QTest::newRow("temperatures give way")
            << QList<int>{1, 0, 0} << QList<int>{0, 1, 1} << "FansTab,MemTab" << false;
        QTest::newRow("none") << QList<int>{1, 1, 1} << QList<int>{0, 0, 0} << "" << true;
        QTest::newRow("all back in order")
            << QList<int>{0, 0, 1} << QList<int>{1, 1, 1} << "TempsTab,FansTab,MemTab" << false;
        QTest::newRow("fans first without temperatures")
            << QList<int>{0, 0, 1} << QList<int>{0, 1, 1} << "FansTab,MemTab" << false;
        QTest::newRow("short answer ignored")
            << QList<int>{1, 0, 1} << QList<int>{0, 0} << "TempsTab,MemTab" << false;
    }
    void sectionsInsertAndRemoveTabs() {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        QFETCH(QString, tabs);
        QFETCH(bool, noSections);
        Fixture widget;
        widget.helper.sections = before;
        QVERIFY(widget.appear());
        widget.helper.sections = after;
        widget.controller->defaultsDidChange("sectionsDidChange");
        QTRY_COMPARE(widget.helper.requestCount("visibleSections"), 2);
        QTRY_COMPARE(identifiers(widget.controller->tabView()), tabs);
        QCOMPARE(!widget.controller->noSectionsMsg()->isHidden(), noSections);
    }

    void memoryTabRestartsTimerAndBarGrowsFromOne() {
        Fixture widget;
        QVERIFY(widget.appear());
        widget.helper.answerMode = ScriptedHelper::AnswerMode::Held;
        const int asked = widget.helper.requestCount("memoryUsage");
        widget.select("MemTab");
        Gauge* bar = widget.controller->memBar();
        QVERIFY(widget.controller->timerActive());
        QCOMPARE(widget.helper.requestCount("memoryUsage"), asked + 1);
        QCOMPARE(bar->lastValue(), 1.0);
        QCOMPARE(bar->currentValue(), 1.0);
        widget.helper.releaseHeld();
        QTRY_COMPARE(bar->currentValue(), 9.7);
    }

    // A refresh draws only what it changed: readings as they were paint
    // nothing, a changed one its own box (and what lies under it) alone,
    // never the tab bar, the gauges or the other boxes.
    void refreshRepaintsOnlyWhatChanged_data() {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<int>("changed"); // the box whose reading changes, or -1
        QTest::newRow("temperatures as they were") << "TempsTab" << -1;
        QTest::newRow("one temperature") << "TempsTab" << 1;
        QTest::newRow("fans as they were") << "FansTab" << -1;
        QTest::newRow("one fan") << "FansTab" << 1;
        QTest::newRow("memory as it was") << "MemTab" << -1;
        QTest::newRow("one memory figure") << "MemTab" << 2;
    }
    void refreshRepaintsOnlyWhatChanged() {
        QFETCH(QString, tab);
        QFETCH(int, changed);
        Fixture widget;
        // Speeds of 0 and a bar at the value it grows from: nothing animates.
        widget.helper.memory[1] = 1.0;
        widget.select(tab);
        QVERIFY(widget.appear());
        TodayViewController* controller = widget.controller.get();
        controller->show();
        QVERIFY(QTest::qWaitForWindowExposed(controller));
        PaintLog log(controller);
        QVERIFY(log.settle());

        QList<QWidget*> boxes;
        if (tab == "TempsTab") {
            boxes = {controller->tempBoxes().begin(), controller->tempBoxes().end()};
        } else if (tab == "FansTab") {
            boxes = {controller->fanBoxes().begin(), controller->fanBoxes().end()};
        } else {
            boxes = {controller->memBoxes().begin(), controller->memBoxes().end()};
        }
        QWidget* box = boxes.value(changed);
        if (box != nullptr) {
            const quint32 code = static_cast<WidgetBoxView*>(box)->sensorCode();
            widget.helper.temperatureOf = [code](quint32 asked) { return asked == code ? 55 : 0; };
            // Under 1 % of the maximum: the ring stays as it is drawn.
            widget.helper.rpmOf = [code](int fan) { return quint32(fan) == code ? 20 : 0; };
            if (tab == "MemTab") {
                widget.helper.memory[code] += 0.5;
            }
        }
        log.clear();
        QSignalSpy shown(controller, &TodayViewController::readingsShown);
        controller->updateReadings();
        QTRY_COMPARE(shown.size(), 1);
        QVERIFY(log.settle());
        QSet<QWidget*> paintedBoxes;
        for (QWidget* each : std::as_const(boxes)) {
            if (log.painted.contains(each)) {
                paintedBoxes.insert(each);
            }
        }
        QCOMPARE(paintedBoxes, box != nullptr ? QSet<QWidget*>{box} : QSet<QWidget*>{});
        const QRegion allowed = box != nullptr
                                    ? QRegion(QRect(box->mapTo(controller, QPoint()), box->size()))
                                    : QRegion();
        QVERIFY((log.region - allowed).isEmpty());
    }

    void performUpdateReportsNewDataAtOnce() {
        Fixture widget;
        widget.helper.answerMode = ScriptedHelper::AnswerMode::Never;
        widget.controller->viewDidAppear();
        std::optional<TodayViewController::UpdateResult> result;
        widget.controller->widgetPerformUpdate(
            [&result](TodayViewController::UpdateResult value) { result = value; });
        QCOMPARE(result, TodayViewController::UpdateResult::newData);
    }

    // Each change asks again only for what it changed; a widget off screen
    // asks nothing, and a restarted agent is asked what appearing asks.
    void changesAskOnlyTheirPart_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("onScreen");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("temps") << "tempsDidChange" << true
                               << QStringList{"activeTempSensors", "temperatureForSensors"};
        QTest::newRow("fans") << "fansDidChange" << true
                              << QStringList{"activeFanSensors", "rpmForFans"};
        QTest::newRow("mem") << "memDidChange" << true
                             << QStringList{"activeMemSensors", "memoryUsage"};
        QTest::newRow("sections") << "sectionsDidChange" << true << QStringList{"visibleSections"};
        QTest::newRow("units") << "unitsDidChange" << true
                               << QStringList{"sensorUnits", "temperatureForSensors"};
        QTest::newRow("other") << "otherDidChange" << true << QStringList{};
        QTest::newRow("off screen") << "tempsDidChange" << false << QStringList{};
        QTest::newRow("restart") << "" << true
                                 << QStringList{"sensorUnits", "visibleSections",
                                                "activeTempSensors", "activeFanSensors",
                                                "activeMemSensors"};
        QTest::newRow("restart off screen") << "" << false << QStringList{};
        // The panel's refresh brings the shown tab's along, and the timer on.
        QTest::newRow("panel refreshed")
            << "alongside" << true << QStringList{"temperatureForSensors"};
        QTest::newRow("panel refreshed off screen") << "alongside" << false << QStringList{};
    }
    void changesAskOnlyTheirPart() {
        QFETCH(QString, change);
        QFETCH(bool, onScreen);
        QFETCH(QStringList, requests);
        Fixture widget;
        QVERIFY(widget.appear());
        if (!onScreen) {
            widget.controller->viewWillDisappear();
            QVERIFY(!widget.controller->timerActive());
        }
        widget.helper.answerMode = ScriptedHelper::AnswerMode::Never;
        widget.helper.clearRecords();
        if (change.isEmpty()) {
            widget.controller->agentDidRestart();
        } else if (change == QLatin1String("alongside")) {
            widget.controller->refreshAlongside();
            QCOMPARE(widget.controller->timerActive(), onScreen);
        } else {
            widget.controller->defaultsDidChange(change);
        }
        QCOMPARE(widget.helper.requests, requests);
    }

    void uninstalledAgentShowsOnlyTheSetUpMessage() {
        Fixture widget(false);
        widget.helper.sections = {0, 0, 0};
        QVERIFY(widget.appear());
        QVERIFY(!widget.controller->configureMsg()->isHidden());
        QVERIFY(widget.controller->tabView()->isHidden());
        QVERIFY(widget.controller->noSectionsMsg()->isHidden());
        // The hidden tabs are still filled.
        QCOMPARE(widget.controller->tempBoxes()[0]->sensorName(), QStringLiteral("Sensor 02"));
    }

    void storedTabIsSelected_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("selected");
        QTest::newRow("fans") << "FansTab"
                              << "FansTab";
        QTest::newRow("unknown") << "Bogus"
                                 << "TempsTab";
        QTest::newRow("none") << ""
                              << "TempsTab";
    }
    void storedTabIsSelected() {
        QFETCH(QString, stored);
        QFETCH(QString, selected);
        Fixture widget(true, stored);
        QVERIFY(widget.appear());
        QCOMPARE(widget.controller->tabView()->selectedItem()->identifier(), selected);
        widget.select("MemTab");
        const auto reread =
            UserDefaults::openSuite(QString(OndaraNames::suiteName), widget.folder.path());
        QCOMPARE(reread->stringForKey(QString(OndaraNames::Keys::lastSelectedTab)),
                 QStringLiteral("MemTab"));
    }

    void openingFallsBackToStartingTheProgram_data() {
        QTest::addColumn<bool>("urlOpens");
        QTest::addColumn<int>("starts");
        QTest::newRow("URL handled") << true << 0;
        QTest::newRow("no handler") << false << 1;
    }
    void openingFallsBackToStartingTheProgram() {
        QFETCH(bool, urlOpens);
        QFETCH(int, starts);
        Fixture widget;
        QStringList opened;
        int started = 0;
        widget.controller->setApplicationOpeners(
            [&](const QUrl& url) {
                opened.append(url.toString());
                return urlOpens;
            },
            [&] { return ++started > 0; });
        widget.controller->openApp();
        QCOMPARE(opened, QStringList{"ondara://"});
        QCOMPARE(started, starts);
    }

    // Away or stopped: a line under the tabs says so with "Open Ondara", the
    // window makes room for it, the readings dim; back: all of it goes.
    void awayAgentIsSaidAndReadingsDim_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("headline");
        QTest::newRow("away") << int(HelperPresence::State::away)
                              << "Ondara's sensor service is not running.";
        QTest::newRow("no sensors")
            << int(HelperPresence::State::stopped)
            << "This computer has no sensors Ondara's sensor service can read.";
    }
    void awayAgentIsSaidAndReadingsDim() {
        QFETCH(int, state);
        QFETCH(QString, headline);
        Fixture widget;
        QVERIFY(widget.appear());
        const int height = widget.controller->preferredContentSize().height();
        QVERIFY(widget.controller->awayMessage()->isHidden());
        int opened = 0;
        widget.controller->setApplicationOpeners([&](const QUrl&) { return ++opened > 0; }, {});
        widget.controller->setHelperPresence(
            HelperPresence::State(state),
            AgentStopRecord::Stop{AgentStopRecord::Reason::noSensors, "Can't establish"});
        QVERIFY(!widget.controller->awayMessage()->isHidden());
        QVERIFY(widget.controller->awayText()->text().startsWith(headline));
        QCOMPARE(widget.controller->awayMessage()->accessibleName(), headline);
        QVERIFY(widget.controller->readingsStale());
        QVERIFY(widget.controller->preferredContentSize().height() > height);
        widget.controller->awayOpenButton()->click();
        QCOMPARE(opened, 1);

        widget.controller->setHelperPresence(HelperPresence::State::connected);
        QVERIFY(widget.controller->awayMessage()->isHidden());
        QVERIFY(!widget.controller->readingsStale());
        QCOMPARE(widget.controller->preferredContentSize().height(), height);
    }
};

QTEST_MAIN(TestTodayViewController)
#include "tst_todayviewcontroller.moc"
