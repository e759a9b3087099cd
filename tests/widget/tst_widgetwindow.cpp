#include "ApplicationOpener.h"
#include "OndaraNames.h"
#include "ScriptedHelper.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"

#include <QAction>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestWidgetWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showingPutsTheControllerOnScreen() {
        QTemporaryDir folder;
        ScriptedHelper helper;
        for (int i = 0; i < 4; ++i) {
            helper.activeTemps.insert(QString::number(i),
                                      QVariantList{qlonglong(0x54433050 + i), qlonglong(2 + i)});
        }
        WidgetWindow window(new TodayViewController(&helper, nullptr, nullptr),
                            folder.filePath("state.ini"));
        window.show();
        QVERIFY(window.controller()->isOnScreen());
        QVERIFY(window.controller()->timerActive());
        // The window takes the size of what the controller shows.
        QTRY_COMPARE(window.size(), QSize(TodayViewController::kViewWidth, 250));
        window.hide();
        QVERIFY(!window.controller()->isOnScreen());
        QVERIFY(!window.controller()->timerActive());
    }

    void positionIsKeptAcrossStarts() {
        QTemporaryDir folder;
        const QString state = folder.filePath("ondara/OndaraWidget.ini");
        ScriptedHelper helper;
        helper.answerMode = ScriptedHelper::AnswerMode::Never;
        {
            WidgetWindow window(new TodayViewController(&helper, nullptr, nullptr), state);
            window.show();
            window.move(140, 90);
        }
        WidgetWindow again(new TodayViewController(&helper, nullptr, nullptr), state);
        again.show();
        QCOMPARE(again.pos(), QPoint(140, 90));
    }

    // Keeping the widget above is window state: back at the next start, and
    // the menu's check follows it.
    void keepAboveIsKeptAcrossStarts() {
        QTemporaryDir folder;
        const QString state = folder.filePath("state.ini");
        ScriptedHelper helper;
        helper.answerMode = ScriptedHelper::AnswerMode::Never;
        {
            WidgetWindow window(new TodayViewController(&helper, nullptr, nullptr), state);
            window.show();
            QVERIFY(!window.keepsAbove());
            window.keepAboveAction()->trigger();
            QVERIFY(window.keepsAbove());
            QVERIFY(window.isVisible());
        }
        WidgetWindow again(new TodayViewController(&helper, nullptr, nullptr), state);
        QVERIFY(again.keepsAbove());
        QVERIFY(again.keepAboveAction()->isChecked());
        again.setKeepAbove(false);
        QVERIFY(
            !WidgetWindow(new TodayViewController(&helper, nullptr, nullptr), state).keepsAbove());
    }

    void storedPositionMustLieOnAScreen_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<std::optional<QPoint>>("position");
        QTest::newRow("on the screen")
            << "@Point(100 50)" << std::optional<QPoint>(QPoint(100, 50));
        QTest::newRow("on a screen that has gone") << "@Point(3000 50)" << std::optional<QPoint>();
        QTest::newRow("not a point") << "left" << std::optional<QPoint>();
        QTest::newRow("nothing stored") << "" << std::optional<QPoint>();
    }
    void storedPositionMustLieOnAScreen() {
        QFETCH(QString, stored);
        QFETCH(std::optional<QPoint>, position);
        QTemporaryDir folder;
        const QString state = folder.filePath("state.ini");
        if (!stored.isEmpty()) {
            QFile file(state);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\nposition=" + stored.toUtf8() + "\n");
        }
        QCOMPARE(WidgetWindow::storedPosition(state, {QRect(0, 0, 1920, 1080)}), position);
    }

    void schemeHandlerIsFoundInDesktopEntries_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("found");
        QTest::newRow("registered")
            << QByteArray("[Desktop Entry]\nMimeType=text/plain;x-scheme-handler/ondara;\n")
            << true;
        QTest::newRow("another scheme")
            << QByteArray("[Desktop Entry]\nMimeType=x-scheme-handler/ondarax;\n") << false;
        QTest::newRow("another group") << QByteArray("[Desktop Entry]\nName=X\n[Desktop Action x]\n"
                                                     "MimeType=x-scheme-handler/ondara;\n")
                                       << false;
        QTest::newRow("no entry") << QByteArray() << false;
    }
    void schemeHandlerIsFoundInDesktopEntries() {
        QFETCH(QByteArray, entry);
        QFETCH(bool, found);
        QTemporaryDir folder;
        if (!entry.isEmpty()) {
            QFile file(folder.filePath("app.desktop"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(entry);
        }
        QCOMPARE(ApplicationOpener::hasSchemeHandler("ondara", {folder.path()}), found);
    }
};

QTEST_MAIN(TestWidgetWindow)
#include "tst_widgetwindow.moc"
