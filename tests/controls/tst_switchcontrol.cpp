#include "Layer.h"
#include "LayerAnimation.h"
#include "SwitchControl.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr qreal kRestWidth = 48.0 / 1.61803398875;
constexpr qreal kActiveWidth = 48.0 / 1.38;

bool settled(const Layer* layer) {
    return !layer->presentationValue(QStringLiteral("position")).isValid() &&
           !layer->presentationValue(QStringLiteral("bounds")).isValid();
}

} // namespace

class TestSwitchControl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void newSwitchIsOffAtRestAndFollowsItsSize();
    void clickAndSpaceToggleWithAnimation();
    void pressShowsTheActiveLook_data();
    void pressShowsTheActiveLook();
    void dragDecidesTheState_data();
    void dragDecidesTheState();

private:
    SwitchControl* m_switch = nullptr;
};

void TestSwitchControl::init() {
    m_switch = new SwitchControl;
    m_switch->resize(50, 30);
    m_switch->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_switch));
}

void TestSwitchControl::cleanup() {
    delete m_switch;
    m_switch = nullptr;
}

void TestSwitchControl::newSwitchIsOffAtRestAndFollowsItsSize() {
    const auto knob = [](bool active, bool on) {
        return SwitchControl::knobRect(QSizeF(50, 30), active, on);
    };
    QCOMPARE(knob(false, false), QRectF(1, 1, kRestWidth, 28));
    QCOMPARE(knob(false, true), QRectF(50 - kRestWidth - 1, 1, kRestWidth, 28));
    QCOMPARE(knob(true, false), QRectF(1, 1, kActiveWidth, 28));
    QCOMPARE(knob(true, true), QRectF(50 - kActiveWidth - 1, 1, kActiveWidth, 28));

    QVERIFY(!m_switch->isOn() && !m_switch->isActive());
    QVERIFY(!m_switch->hasDragged() && !m_switch->isDragginToOn());
    QCOMPARE(m_switch->knobLayer()->frame(), knob(false, false));
    QCOMPARE(m_switch->knobInsideLayer()->frame(), QRectF(0, 0, kRestWidth, 28));
    QCOMPARE(m_switch->backgroundLayer()->backgroundColor().alpha(), 0);
    QCOMPARE(m_switch->backgroundLayer()->borderColor(), QColor::fromRgbF(0, 0, 0, 0.2F));
    QCOMPARE(m_switch->rootLayer()->opacity(), 0.8F);
    QVERIFY(m_switch->focusPolicy() & Qt::TabFocus);

    m_switch->resize(80, 40);
    QCOMPARE(m_switch->backgroundLayer()->bounds(), QRectF(0, 0, 80, 40));
    QCOMPARE(m_switch->backgroundLayer()->cornerRadius(), 20.0);
    QCOMPARE(m_switch->knobLayer()->frame(), SwitchControl::knobRect(QSizeF(80, 40), false, false));
    QVERIFY(settled(m_switch->knobLayer()));
}

void TestSwitchControl::clickAndSpaceToggleWithAnimation() {
    const QColor green(0x34, 0xC7, 0x59);
    m_switch->setTintColor(green);
    QCOMPARE(m_switch->backgroundLayer()->backgroundColor().alpha(), 0);
    QSignalSpy toggled(m_switch, &QAbstractButton::toggled);
    QTest::mouseClick(m_switch, Qt::LeftButton, {}, QPoint(25, 15));
    QVERIFY(m_switch->isOn());
    QCOMPARE(toggled.size(), 1);
    QCOMPARE(toggled.first().first().toBool(), true);
    QCOMPARE(m_switch->knobLayer()->frame(), QRectF(50 - kRestWidth - 1, 1, kRestWidth, 28));
    LayerAnimation* slide = m_switch->knobLayer()->animationForKey(QStringLiteral("position"));
    QVERIFY(slide);
    QCOMPARE(slide->durationSeconds(), 0.4);
    // Settling after a click overshoots a little before it comes to rest.
    qreal highest = 0.0;
    for (int step = 0; step <= 20; ++step) {
        highest = std::max(highest, slide->timingFunction().valueForProgress(step / 20.0));
    }
    QVERIFY(highest > 1.03);
    QCOMPARE(slide->timingFunction().valueForProgress(1.0), 1.0);
    // The track takes the tint, fading in rather than jumping.
    QCOMPARE(m_switch->backgroundLayer()->backgroundColor(), green);
    QCOMPARE(m_switch->backgroundLayer()->borderColor(), green);
    QVERIFY(m_switch->backgroundLayer()->animationForKey(QStringLiteral("backgroundColor")));
    QTRY_VERIFY(settled(m_switch->knobLayer()));

    m_switch->setFocus();
    QTest::keyClick(m_switch, Qt::Key_Space);
    QVERIFY(!m_switch->isOn());
    QCOMPARE(toggled.size(), 2);
    QCOMPARE(toggled.last().first().toBool(), false);
    QCOMPARE(m_switch->knobLayer()->frame(), QRectF(1, 1, kRestWidth, 28));
}

void TestSwitchControl::pressShowsTheActiveLook_data() {
    QTest::addColumn<bool>("enabled");
    QTest::newRow("enabled") << true;
    // A disabled switch only shows its pressed look.
    QTest::newRow("disabled") << false;
}

void TestSwitchControl::pressShowsTheActiveLook() {
    QFETCH(bool, enabled);
    m_switch->setEnabled(enabled);
    QSignalSpy toggled(m_switch, &QAbstractButton::toggled);
    QSignalSpy clicked(m_switch, &QAbstractButton::clicked);
    QTest::mousePress(m_switch, Qt::LeftButton, {}, QPoint(10, 15));
    QVERIFY(m_switch->isActive());
    QCOMPARE(m_switch->rootLayer()->opacity(), 0.5F);
    QVERIFY(!m_switch->isOn());
    if (enabled) {
        QCOMPARE(m_switch->knobLayer()->frame(), QRectF(1, 1, kActiveWidth, 28));
    }
    QTest::mouseRelease(m_switch, Qt::LeftButton, {}, QPoint(10, 15));
    QVERIFY(!m_switch->isActive());
    QCOMPARE(m_switch->isOn(), enabled);
    QCOMPARE(toggled.size(), enabled ? 1 : 0);
    QCOMPARE(clicked.size(), enabled ? 1 : 0);
    QCOMPARE(m_switch->knobLayer()->frame().width(), kRestWidth);
}

void TestSwitchControl::dragDecidesTheState_data() {
    QTest::addColumn<bool>("startOn");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("endOn");
    QTest::newRow("off, dragged right") << false << 10 << 42 << true;
    QTest::newRow("off, dragged within the left half") << false << 5 << 20 << false;
    QTest::newRow("on, dragged left") << true << 40 << 6 << false;
    QTest::newRow("on, dragged left and back") << true << 40 << 45 << true;
}

void TestSwitchControl::dragDecidesTheState() {
    QFETCH(bool, startOn);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, endOn);
    m_switch->setIsOn(startOn);
    QSignalSpy toggled(m_switch, &QAbstractButton::toggled);
    QTest::mousePress(m_switch, Qt::LeftButton, {}, QPoint(from, 15));
    if (startOn && to > 25) {
        // Over to the other side first, then back.
        QTest::mouseMove(m_switch, QPoint(8, 15));
        QVERIFY(m_switch->hasDragged());
        QVERIFY(!m_switch->isDragginToOn());
        QVERIFY(!m_switch->showsOn());
    }
    QTest::mouseMove(m_switch, QPoint(to, 15));
    QVERIFY(m_switch->hasDragged());
    QCOMPARE(m_switch->isDragginToOn(), endOn);
    QCOMPARE(m_switch->showsOn(), endOn);
    QCOMPARE(m_switch->isOn(), startOn);
    QTest::mouseRelease(m_switch, Qt::LeftButton, {}, QPoint(to, 15));
    QCOMPARE(m_switch->isOn(), endOn);
    QVERIFY(!m_switch->hasDragged());
    QCOMPARE(toggled.size(), startOn == endOn ? 0 : 1);
}

QTEST_MAIN(TestSwitchControl)
#include "tst_switchcontrol.moc"
