// The widget as a keyboard user and a screen reader meet it: its real window
// driven with key presses only, and read through Qt's accessibility
// interfaces, in light and dark and in both sets of units.

#include "FanBoxView.h"
#include "Gauge.h"
#include "NamedAssets.h"
#include "ScriptedHelper.h"
#include "TodayViewController.h"
#include "WidgetBoxView.h"
#include "WidgetTabView.h"
#include "WidgetTabViewItem.h"
#include "WidgetWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

class TestWidgetAccess : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<ScriptedHelper> helper;
    std::unique_ptr<WidgetWindow> window;
    TodayViewController* controller = nullptr;
    int opened = 0;

    bool open(const QList<int>& units) {
        helper = std::make_unique<ScriptedHelper>();
        helper->units = units;
        // Numbers as the bus delivers them.
        helper->activeTemps = {{"CPU", QVariantList{qlonglong(0x54433050), qlonglong(0)}}};
        helper->activeFans = {{"Left Fan", QVariantList{qlonglong(0), qlonglong(6000)}}};
        helper->activeMems = {{"Wired", qlonglong(3)}, {"Compressed", qlonglong(6)}};
        helper->temperatureOf = [](quint32) { return 61; };
        helper->rpmOf = [](int) { return 2430; };
        controller = new TodayViewController(helper.get(), nullptr, nullptr);
        controller->setApplicationOpeners([this](const QUrl&) { return ++opened > 0; }, {});
        window = std::make_unique<WidgetWindow>(controller, folder.filePath("state.ini"));
        window->show();
        const QString shown = units.value(0) == 0 ? "61" : "142";
        return QTest::qWaitForWindowActive(window.get()) && QTest::qWaitFor([this, shown] {
                   return controller->hasLaidOut("MemTab") &&
                          controller->tempBoxes()[0]->sensorName() == "CPU" &&
                          controller->tempBoxes()[0]->sensorValue() == shown;
               });
    }
    static QString selectedTab(const TodayViewController* controller) {
        return controller->tabView()->selectedItem()->identifier();
    }

private Q_SLOTS:
    void cleanup() {
        window.reset();
        helper.reset();
        QApplication::setPalette(QPalette());
    }

    // Tab goes between the tab switch and the button, never staying put;
    // arrows switch tabs, Space on the button opens the application.
    void keyboard() {
        QVERIFY(open({0, 0}));
        controller->tabView()->setFocus(Qt::TabFocusReason);
        QList<QWidget*> visited;
        for (int press = 0; press < 4; ++press) {
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
            visited.append(QApplication::focusWidget());
        }
        QWidget* button = window->findChild<QToolButton*>("openAppButton");
        QCOMPARE(visited,
                 (QList<QWidget*>{button, controller->tabView(), button, controller->tabView()}));
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
        QCOMPARE(opened, 1);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), controller->tabView());
        const QList<std::pair<Qt::Key, QString>> presses{{Qt::Key_Right, "FansTab"},
                                                         {Qt::Key_End, "MemTab"},
                                                         {Qt::Key_Right, "MemTab"},
                                                         {Qt::Key_Home, "TempsTab"},
                                                         {Qt::Key_Left, "TempsTab"}};
        for (const auto& [key, tab] : presses) {
            QTest::keyClick(static_cast<QWidget*>(nullptr), key);
            QCOMPARE(selectedTab(controller), tab);
        }
    }

    void screenReaderTree_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QList<int>>("units");
        QTest::addColumn<QString>("temperature");
        QTest::addColumn<QString>("fan");
        QTest::newRow("light, Celsius and RPM")
            << false << QList<int>{0, 0} << "CPU, 61 degrees Celsius"
            << "Left Fan, 2430 RPM";
        QTest::newRow("dark, Fahrenheit and percent")
            << true << QList<int>{1, 1} << "CPU, 142 degrees Fahrenheit"
            << "Left Fan, 40 percent";
    }
    void screenReaderTree() {
        QFETCH(bool, dark);
        QFETCH(QList<int>, units);
        QApplication::setPalette(dark ? NamedAssets::darkPalette() : QPalette());
        QVERIFY(open(units));
        QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(controller->tabView());
        QCOMPARE(tabs->role(), QAccessible::PageTabList);
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tabs->child(i)->role(), QAccessible::PageTab);
            names.append(tabs->child(i)->text(QAccessible::Name) +
                         (tabs->child(i)->state().selected ? "*" : ""));
        }
        QCOMPARE(names, (QStringList{"Temps*", "Fans", "Memory"}));
        // After the tabs, the pages: the boxes are in the tree.
        QCOMPARE(tabs->childCount(), 4);
        tabs->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(selectedTab(controller), QStringLiteral("FansTab"));

        QAccessibleInterface* cpu =
            QAccessible::queryAccessibleInterface(controller->tempBoxes()[0]);
        QCOMPARE(cpu->role(), QAccessible::StaticText);
        QTEST(cpu->text(QAccessible::Name), "temperature");
        QCOMPARE(cpu->childCount(), 0);
        QFETCH(QString, fan);
        QAccessibleInterface* fanBox =
            QAccessible::queryAccessibleInterface(controller->fanBoxes()[0]);
        QTRY_COMPARE(fanBox->text(QAccessible::Name), fan);
        QCOMPARE(fanBox->child(0)->text(QAccessible::Name), QStringLiteral("Left Fan speed"));
        QCOMPARE(fanBox->child(0)->valueInterface()->currentValue().toDouble(), 40.0);
        tabs->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(controller->memBoxes()[1]->sensorValue(), QStringLiteral("2"));
        QStringList memory;
        for (WidgetBoxView* box : controller->memBoxes().mid(0, 2)) {
            memory.append(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name));
        }
        QCOMPARE(memory, (QStringList{"Wired, 2.25 GiB", "Compr., 2 GiB"}));
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(controller->memBar());
        QCOMPARE(bar->role(), QAccessible::ProgressBar);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Memory in use"));
        QCOMPARE(bar->valueInterface()->maximumValue().toDouble(), 16.0);
    }

    // The focused tab is ringed in the palette's highlight, light or dark.
    void focusRingFollowsThePalette_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void focusRingFollowsThePalette() {
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? NamedAssets::darkPalette() : QPalette());
        QVERIFY(open({0, 0}));
        WidgetTabView* tabs = controller->tabView();
        const QRect cell = WidgetTabView::cellRect(0, 3, tabs->width());
        const auto ringPixel = [&] {
            return tabs->grab().toImage().pixelColor(cell.center().x(), cell.top() + 2);
        };
        const QColor unfocused = ringPixel();
        // The window hands the focus to the tab switch, yet the ring comes
        // only with the keyboard.
        QVERIFY(tabs->hasFocus());
        QCOMPARE(ringPixel(), unfocused);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
        QVERIFY(tabs->hasFocus());
        QCOMPARE(ringPixel().name(), tabs->palette().color(QPalette::Highlight).name());
        QVERIFY(unfocused != ringPixel());
    }
};

QTEST_MAIN(TestWidgetAccess)
#include "tst_widgetaccess.moc"
