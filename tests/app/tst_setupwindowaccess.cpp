// The setup window as a keyboard user and a screen reader meet it: the real
// window, driven with key presses only, and read through Qt's accessibility
// interfaces (what AT-SPI hands a screen reader), in light and dark.

#include "BoxFanView.h"
#include "BoxFocusGroup.h"
#include "BoxView.h"
#include "CustomTabView.h"
#include "Gauge.h"
#include "NamedAssets.h"
#include "Popover.h"
#include "ScriptedHelper.h"
#include "SegmentedControl.h"
#include "SensorListViewController.h"
#include "SetupViewController.h"
#include "SetupWindow.h"
#include "TabSelector.h"
#include "ToolButton.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

namespace {

using Keys = QList<QKeyCombination>;

QVariantList component(const char* name, qlonglong code, qlonglong order, bool selected) {
    return {QString::fromLatin1(name), code, order, selected};
}

// What a screen reader reads of one object.
QString spoken(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("(none)");
}

QStringList childNames(QAccessibleInterface* iface) {
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        names.append(child->text(QAccessible::Name) +
                     (child->state().checked || child->state().selected ? "*" : ""));
    }
    return names;
}

} // namespace

class TestSetupWindowAccess : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedHelper> agent;
    std::unique_ptr<SetupWindow> window;
    SetupViewController* controller = nullptr;

    void type(const Keys& keys) {
        for (const QKeyCombination& key : keys) {
            // Sent where the system would send it: the popup or the focus.
            QTest::keyClick(static_cast<QWidget*>(nullptr), key.key(), key.keyboardModifiers());
        }
    }
    TabSelector* selector() const { return controller->mainTabView()->tabSelector(); }
    QStringList commands() const { return agent->commands; }

private Q_SLOTS:
    void init() {
        agent = std::make_unique<ScriptedHelper>();
        ScriptedHelper& helper = *agent;
        helper.temps = {{"CPU", component("CPU", 0x54433050, 0, true)},
                        {"GPU", component("GPU", 0x54473044, 1, false)},
                        {"HDD", component("HDD", 0xFFFFFFFF, 2, false)}};
        helper.machineSensors = {
            {"CPU", QVariantList{QVariantList{qlonglong(0x54433050), "TC0P", "CPU_PROXIMITY", true},
                                 QVariantList{qlonglong(0x54433044), "TC0D", "CPU_DIE", false}}}};
        helper.fans = {{"0", QVariantList{"Left Fan", 6000, true}}};
        helper.mems = {{"Wired", QVariantList{"Wired", true}}};
        helper.temperatureOf = [](quint32 code) { return code == 0x54433050 ? 61 : 40; };
        helper.rpmOf = [](int) { return 2430; };
        controller = new SetupViewController(&helper);
        window = std::make_unique<SetupWindow>(controller);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_VERIFY(controller->showsReadings());
        selector()->setFocus(Qt::TabFocusReason);
        helper.clearRecords();
    }
    void cleanup() {
        window.reset();
        agent.reset();
        QApplication::setPalette(QPalette());
    }

    // Every change a mouse makes, made with keys; what the agent is told.
    void keysDoWhatClicksDo_data() {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("panel");

        QTest::newRow("select and unselect a tile")
            << Keys{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Right, Qt::Key_Space, Qt::Key_Space}
            << QStringList{"changeStateForSensor GPU Temps 1", "changeStateForSensor GPU Temps 0"}
            << "Temps";
        QTest::newRow("enter unselects the last one")
            << Keys{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}
            << QStringList{"changeStateForSensor CPU Temps 0", "changeVisibilityForSection Temps 0"}
            << "Temps";
        QTest::newRow("menu key, pick a sensor")
            << Keys{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Menu, Qt::Key_Down, Qt::Key_Escape}
            << QStringList{QStringLiteral("changeSensorWithNewSensor %1 CPU").arg(0x54433044)}
            << "Temps";
        QTest::newRow("ctrl+enter opens, escape closes")
            << Keys{Qt::Key_Tab, Qt::Key_Tab, Qt::ControlModifier | Qt::Key_Return, Qt::Key_Escape,
                    Qt::Key_Space}
            << QStringList{"changeStateForSensor CPU Temps 0", "changeVisibilityForSection Temps 0"}
            << "Temps";
        QTest::newRow("temperature unit")
            << Keys{Qt::Key_Tab, Qt::Key_Space, Qt::Key_Left}
            << QStringList{"changeTempUnitToCelsius 0", "changeTempUnitToCelsius 1"} << "Temps";
        QTest::newRow("fan panel and unit") << Keys{Qt::Key_Right, Qt::Key_Tab, Qt::Key_Space}
                                            << QStringList{"changeFanUnitToRPM 0"} << "Fans";
        QTest::newRow("memory panel, arrows end at the edges")
            << Keys{Qt::Key_End,  Qt::Key_Tab, Qt::Key_Left,
                    Qt::Key_Down, Qt::Key_End, Qt::Key_Space}
            << QStringList{"changeStateForSensor Compressed Mem 1"} << "Mem";
    }
    void keysDoWhatClicksDo() {
        QFETCH(Keys, keys);
        type(keys);
        QTEST(commands(), "commands");
        QTEST(controller->panelType(), "panel");
        QVERIFY(!controller->tempBoxes()[0]->popover()->isShown());
    }

    void chooserTakesTheKeyboardAndGivesItBack() {
        type({Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Menu});
        BoxView* cpu = controller->tempBoxes()[0];
        QVERIFY(cpu->popover()->isShown());
        QRadioButton* inUse = cpu->sensorListVC()->radioButtons().value(0);
        QVERIFY(inUse && inUse->hasFocus());
        type({Qt::Key_Escape});
        QVERIFY(!cpu->popover()->isShown());
        QTRY_VERIFY(cpu->hasFocus());
        QVERIFY(commands().isEmpty());
    }

    // Tab walks every control once and round again; Shift+Tab walks back.
    void tabNeverSticks_data() {
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("forward") << Qt::KeyboardModifiers(Qt::NoModifier);
        QTest::newRow("backward") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    }
    void tabNeverSticks() {
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QList<QWidget*> visited{QApplication::focusWidget()};
        for (int press = 0; press < 8; ++press) {
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab, modifiers);
            QVERIFY2(QApplication::focusWidget() != visited.last(), "Tab stayed on one control");
            visited.append(QApplication::focusWidget());
        }
        QList<QWidget*> expected{selector(),
                                 controller->tempUnitSelector(),
                                 controller->tempBoxes()[0],
                                 controller->showCheck(0),
                                 controller->showCheck(1),
                                 controller->showCheck(2),
                                 window->findChild<QPushButton*>("updatesButton")};
        if (modifiers & Qt::ShiftModifier) {
            std::reverse(expected.begin() + 1, expected.end());
        }
        QCOMPARE(visited.mid(0, 7), expected);
        QCOMPARE(visited[7], selector());
    }

    // What a screen reader reads, and that it is the same in dark.
    void screenReaderTree_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void screenReaderTree() {
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? NamedAssets::darkPalette() : QPalette());
        const QList<BoxView*> temps = controller->tempBoxes();
        QAccessibleInterface* cpu = QAccessible::queryAccessibleInterface(temps[0]);
        QCOMPARE(cpu->role(), QAccessible::CheckBox);
        QCOMPARE(cpu->text(QAccessible::Name), QStringLiteral("CPU, 61 degrees Celsius"));
        QCOMPARE(cpu->text(QAccessible::Description), QStringLiteral("Remove CPU from widget"));
        QVERIFY(cpu->state().checkable && cpu->state().checked && cpu->state().focusable);
        // Only the gear is a child; the labels are in the name.
        QCOMPARE(cpu->childCount(), 1);
        QCOMPARE(cpu->child(0)->text(QAccessible::Name),
                 QStringLiteral("Show available CPU sensors"));
        QCOMPARE(cpu->actionInterface()->actionNames().mid(0, 2),
                 (QStringList{QAccessibleActionInterface::toggleAction(),
                              QAccessibleActionInterface::showMenuAction()}));
        QAccessibleInterface* gpu = QAccessible::queryAccessibleInterface(temps[1]);
        QVERIFY(!gpu->state().checked);
        QCOMPARE(gpu->text(QAccessible::Description), QStringLiteral("Add GPU to widget"));

        QAccessibleInterface* fan =
            QAccessible::queryAccessibleInterface(controller->fanBoxes()[0]);
        QCOMPARE(fan->text(QAccessible::Name), QStringLiteral("Left Fan, 2430 RPM"));
        QCOMPARE(fan->childCount(), 1);
        QAccessibleInterface* ring = fan->child(0);
        QCOMPARE(ring->role(), QAccessible::ProgressBar);
        // The ring eases towards its share, so under load it may still be on its way.
        QTRY_COMPARE(ring->valueInterface()->currentValue().toDouble(), 40.0);
        QCOMPARE(ring->valueInterface()->maximumValue().toDouble(), 100.0);
        QCOMPARE(spoken(controller->memBoxes()[0]), QStringLiteral("Wired, 2.25 GiB"));
        QCOMPARE(spoken(controller->memBoxes()[3]), QStringLiteral("Compressed, 2 GiB"));
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(controller->memBar());
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Memory in use"));
        QCOMPARE(bar->valueInterface()->currentValue().toDouble(), 9.7);
        QCOMPARE(bar->valueInterface()->maximumValue().toDouble(), 16.0);

        QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(selector());
        QCOMPARE(tabs->role(), QAccessible::PageTabList);
        QCOMPARE(childNames(tabs), (QStringList{"Temps*", "Fans", "Mem"}));
        QCOMPARE(tabs->child(1)->role(), QAccessible::PageTab);
        QAccessibleInterface* units =
            QAccessible::queryAccessibleInterface(controller->tempUnitSelector());
        QCOMPARE(units->role(), QAccessible::Grouping);
        QCOMPARE(units->text(QAccessible::Name), QStringLiteral("Temperature unit"));
        QCOMPARE(childNames(units), (QStringList{"Celsius*", "Fahrenheit"}));
        QCOMPARE(units->child(0)->role(), QAccessible::RadioButton);
        QCOMPARE(childNames(QAccessible::queryAccessibleInterface(controller->fanUnitSelector())),
                 (QStringList{"Revolutions per minute*", "Percent"}));
        // The hidden tab bar of the tab view is not in the tree.
        QAccessibleInterface* view =
            QAccessible::queryAccessibleInterface(controller->mainTabView());
        for (int i = 0; i < view->childCount(); ++i) {
            QVERIFY(view->child(i)->role() != QAccessible::PageTabList ||
                    view->child(i)->object() == selector());
        }

        // A screen reader's actions work as keys do, and the tree follows.
        units->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(commands(), QStringList{"changeTempUnitToCelsius 0"});
        tabs->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(controller->panelType(), QStringLiteral("Mem"));
        QTRY_COMPARE(cpu->text(QAccessible::Name), QStringLiteral("CPU, 142 degrees Fahrenheit"));
        cpu->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(!cpu->state().checked);
    }

    // The ring of the focused tile is drawn in the palette's highlight.
    void focusRingFollowsThePalette_data() { screenReaderTree_data(); }
    void focusRingFollowsThePalette() {
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? NamedAssets::darkPalette() : QPalette());
        type({Qt::Key_Tab, Qt::Key_Tab});
        BoxView* cpu = controller->tempBoxes()[0];
        QVERIFY(cpu->hasFocus());
        const QImage tile = cpu->grab().toImage();
        const QColor ring = tile.pixelColor(tile.width() / 2, 4);
        QCOMPARE(ring.name(), cpu->palette().color(QPalette::Highlight).name());
        type({Qt::Key_Tab});
        QVERIFY(cpu->grab().toImage().pixelColor(tile.width() / 2, 4) != ring);
    }
};

QTEST_MAIN(TestSetupWindowAccess)
#include "tst_setupwindowaccess.moc"
