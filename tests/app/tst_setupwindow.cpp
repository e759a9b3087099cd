// How the setup window sizes itself: the panels keep their size, centred on
// the window's background when it is larger, scrolling when it is smaller,
// and the window fits the screen. Run at scale 1 and, on a 1920x1080 screen,
// at scale 2.

#include "BoxView.h"
#include "CustomTabView.h"
#include "NamedAssets.h"
#include "ScriptedHelper.h"
#include "SetupViewController.h"
#include "SetupWindow.h"

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <memory>

class TestSetupWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedHelper> helper;
    std::unique_ptr<SetupWindow> window;

    SetupViewController* open(int temperatures) {
        helper = std::make_unique<ScriptedHelper>();
        for (int i = 0; i < temperatures; ++i) {
            helper->temps.insert(QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0')),
                                 QVariantList{QStringLiteral("Sensor %1").arg(i),
                                              qlonglong(1000 + i), qlonglong(i), i == 0});
        }
        auto* controller = new SetupViewController(helper.get());
        window = std::make_unique<SetupWindow>(controller);
        window->show();
        return QTest::qWaitFor([controller] { return controller->panelsFilled(); }) ? controller
                                                                                    : nullptr;
    }

private Q_SLOTS:
    void cleanup() {
        window.reset();
        helper.reset();
        QApplication::setPalette(QPalette());
    }

    void fittedSize_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::newRow("room to spare") << QRect(0, 0, 1920, 1080) << QSize(620, 500);
        QTest::newRow("1080 lines at twice the scale") << QRect(0, 0, 960, 540) << QSize(620, 500);
        QTest::newRow("too low") << QRect(0, 20, 1000, 400) << QSize(620, 364);
        QTest::newRow("too narrow and too low") << QRect(0, 0, 500, 300) << QSize(492, 264);
        QTest::newRow("no screen") << QRect() << QSize(620, 500);
    }
    void fittedSize() {
        QFETCH(QRect, available);
        QTEST(SetupWindow::fittedSize({620, 480}, 20, available, SetupWindow::kAssumedFrame),
              "size");
    }

    // The window keeps one size, whichever panel shows and however many rows
    // of tiles it has, and its frame fits the screen it opens on.
    void oneSizeThatFits() {
        SetupViewController* few = open(3);
        QVERIFY(few);
        const QSize panels = few->size();
        const QRect available = window->screen()->availableGeometry();
        QVERIFY2(available.contains(window->geometry().marginsAdded(window->frameMargins())),
                 qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                .arg(window->width())
                                .arg(window->height())
                                .arg(available.width())
                                .arg(available.height())));
        for (int tab = 1; tab < 3; ++tab) {
            few->mainTabView()->setCurrentIndex(tab);
            QCOMPARE(few->size(), panels);
        }
        SetupViewController* many = open(15);
        QVERIFY(many);
        QCOMPARE(many->size(), panels);
        QVERIFY(!window->scrollArea()->verticalScrollBar()->isVisible());
    }

    // Larger than its panels, the window centres them on its background,
    // light or dark: no band of another colour anywhere.
    void largerWindowCentresThePanels_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void largerWindowCentresThePanels() {
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? NamedAssets::darkPalette() : QPalette());
        SetupViewController* controller = open(3);
        QVERIFY(controller);
        window->resize(controller->width() + 200, controller->height() + 160);
        QScrollArea* area = window->scrollArea();
        QTRY_COMPARE(controller->geometry().center(), area->viewport()->rect().center());
        const QImage picture = area->viewport()->grab().toImage();
        const QColor back = NamedAssets::shared().color(QStringLiteral("BackColor"), palette());
        for (const QPoint corner :
             {QPoint(1, 1), QPoint(picture.width() - 2, 1), QPoint(1, picture.height() - 2),
              QPoint(picture.width() - 2, picture.height() - 2)}) {
            QCOMPARE(picture.pixelColor(corner), back);
        }
    }

    // Smaller than its panels, the window scrolls, and a tile reached with
    // the arrow keys comes into view.
    void smallerWindowScrolls() {
        SetupViewController* controller = open(15);
        QVERIFY(controller);
        window->resize(controller->width(), controller->height() / 2);
        QScrollArea* area = window->scrollArea();
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        BoxView* last = controller->tempBoxes().last();
        controller->tempBoxes().first()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(controller->tempBoxes().first(), Qt::Key_End);
        QVERIFY(last->hasFocus());
        const QRect shown(last->mapTo(area->viewport(), QPoint(0, 0)), last->size());
        QVERIFY(area->viewport()->rect().contains(shown));
    }

private:
    static QPalette palette() { return QApplication::palette(); }
};

QTEST_MAIN(TestSetupWindow)
#include "tst_setupwindow.moc"
