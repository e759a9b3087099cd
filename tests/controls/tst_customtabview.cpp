#include "CustomTabView.h"
#include "Layer.h"
#include "LayerAnimation.h"
#include "NamedAssets.h"
#include "ShapeLayer.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

namespace {

const QString kPositionKey = QStringLiteral("position");

bool near(const QColor& actual, const QColor& expected, int tolerance = 8) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace

class TestCustomTabView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void selectorIsBuiltCentredWithUpperCaseTitles();
    void notchTravelsFromFirstToLastTab();
    void pressingTheSelectedTabDoesNothing();
    void lineAndNotchAreDrawnInThePalettesColours();

private:
    QPointer<CustomTabView> m_view;
};

void TestCustomTabView::init() {
    m_view = new CustomTabView;
    for (const char* name : {"Temps", "Fans", "Mem"}) {
        m_view->addTab(new QLabel(QString::fromLatin1(name)), QString::fromLatin1(name));
    }
    m_view->resize(800, 300);
    QVERIFY(!m_view->tabSelectorCreated());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
    QVERIFY(m_view->tabSelectorCreated());
}

void TestCustomTabView::cleanup() {
    delete m_view;
}

void TestCustomTabView::selectorIsBuiltCentredWithUpperCaseTitles() {
    TabSelector* selector = m_view->tabSelector();
    QCOMPARE(selector->columnCount(), 3);
    QCOMPARE(selector->width(), 383);
    QVERIFY(std::abs(selector->geometry().center().x() + 0.5 - 400.0) <= 1.0);
    QCOMPARE(CustomTabView::selectorFrame(1, 400), QRectF(136.5, 0, 127, 40));
    // A view narrower than the selector puts it at the left edge.
    QCOMPARE(CustomTabView::selectorFrame(3, 383), QRectF(0, 0, 383, 40));
    QVERIFY(!m_view->tabBar()->isVisible());
    QCOMPARE(selector->cellTitle(0), QStringLiteral("TEMPS"));
    QCOMPARE(selector->cellTitle(2), QStringLiteral("MEM"));
    QVERIFY(selector->cellAttributes(0).bold);
    QCOMPARE(selector->cellAttributes(0).color, m_view->textColor());
    QVERIFY(!selector->cellAttributes(1).bold);
    QCOMPARE(selector->cellAttributes(1).color, m_view->oldTextColor());
    QCOMPARE(TabSelector::cellFrame(2), QRectF(256, 0, 120, 24));
    // The notch: a V from the line at the selector's lower edge up to 12
    // points above it, under the middle of the first title.
    QCOMPARE(m_view->arrowLayer()->path().boundingRect(), QRectF(52, 28, 16, 12));
}

void TestCustomTabView::notchTravelsFromFirstToLastTab() {
    QSignalSpy changed(m_view.data(), &QTabWidget::currentChanged);
    TabSelector* selector = m_view->tabSelector();
    QTest::mouseClick(selector, Qt::LeftButton, {}, TabSelector::cellFrame(2).center().toPoint());
    QCOMPARE(m_view->currentIndex(), 2);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_view->lastIndex(), 2);
    QVERIFY(selector->cellAttributes(2).bold);
    QVERIFY(!selector->cellAttributes(0).bold);

    ShapeLayer* arrow = m_view->arrowLayer();
    QPointer<LayerAnimation> slide = arrow->animationForKey(kPositionKey);
    QVERIFY(slide);
    QCOMPARE(slide->fromValue().toPointF(), QPointF(0, 0));
    QCOMPARE(slide->toValue().toPointF(), QPointF(256, 0));
    QCOMPARE(slide->durationSeconds(), 256.0 / 600.0);
    QCOMPARE(slide->duration(), 427);
    QCOMPARE(arrow->position(), QPointF(256, 0));
    // It lands under the middle of the third title.
    QCOMPARE(arrow->path().boundingRect().center().x() + arrow->position().x(),
             TabSelector::cellFrame(2).center().x());
    QTRY_VERIFY(!slide);
    QVERIFY(!arrow->presentationValue(kPositionKey).isValid());
}

void TestCustomTabView::pressingTheSelectedTabDoesNothing() {
    QSignalSpy changed(m_view.data(), &QTabWidget::currentChanged);
    QTest::mouseClick(m_view->tabSelector(), Qt::LeftButton, {},
                      TabSelector::cellFrame(0).center().toPoint());
    QCOMPARE(changed.size(), 0);
    QVERIFY(!m_view->arrowLayer()->animationForKey(kPositionKey));
    QCOMPARE(m_view->arrowLayer()->position(), QPointF(0, 0));
    QVERIFY(m_view->tabSelector()->cellAttributes(0).bold);
    QCOMPARE(m_view->lastIndex(), 0);
    // Nor does a click between two titles.
    QTest::mouseClick(m_view->tabSelector(), Qt::LeftButton, {}, QPoint(124, 12));
    QCOMPARE(changed.size(), 0);
    // A tab chosen from code moves the selector.
    m_view->setCurrentIndex(1);
    QCOMPARE(m_view->tabSelector()->selectedColumn(), 1);
    QCOMPARE(m_view->lastIndex(), 1);
    QCOMPARE(m_view->arrowLayer()->position(), QPointF(128, 0));
    QVERIFY(m_view->tabSelector()->cellAttributes(1).bold);
}

void TestCustomTabView::lineAndNotchAreDrawnInThePalettesColours() {
    QPalette dark = m_view->palette();
    dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x20));
    m_view->setPalette(dark);
    const NamedAssets& assets = NamedAssets::shared();
    QCOMPARE(m_view->lineColor(), assets.color(QStringLiteral("TabLineColor"), dark));
    QCOMPARE(m_view->containerColor(), assets.color(QStringLiteral("ContainerColor"), dark));
    QCOMPARE(m_view->arrowLayer()->fillColor(), m_view->containerColor());
    QCOMPARE(m_view->tabSelector()->cellAttributes(0).color,
             assets.color(QStringLiteral("CurrentTabColor"), dark));

    const QImage image = m_view->grab().toImage();
    const int selectorLeft = m_view->tabSelector()->x();
    // The line runs the whole width at y 39.5, beside and under the selector.
    for (const int x : {5, selectorLeft + 200, 795}) {
        QVERIFY2(near(image.pixelColor(x, 39), m_view->lineColor()),
                 qPrintable(QString::number(x)));
    }
    // Inside the notch: its fill, also where it crosses the line.
    for (const int y : {35, 39}) {
        QVERIFY2(near(image.pixelColor(selectorLeft + 60, y), m_view->containerColor()),
                 qPrintable(QString::number(y)));
    }
}

QTEST_MAIN(TestCustomTabView)
#include "tst_customtabview.moc"
