#include "OndaraNames.h"
#include "ipc/DistributedNotificationCenter.h"

#include <QDBusMessage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString temps = OndaraNames::Notifications::tempsDidChange;
const QString fans = OndaraNames::Notifications::fansDidChange;
const QString units = OndaraNames::Notifications::unitsDidChange;

// Subscribing sends its match rule without waiting for the bus; a call the
// bus daemon answers returns only after the daemon has handled the rule.
void settleWithBus() {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
}

QStringList receivedNames(const QSignalSpy& spy) {
    QStringList names;
    for (const QList<QVariant>& arguments : spy) {
        names.append(arguments.at(0).toString());
    }
    return names;
}

void runPoster(const QStringList& names) {
    QProcess poster;
    poster.setProcessChannelMode(QProcess::ForwardedChannels);
    poster.start(QStringLiteral(NOTIFICATION_POSTER_PATH), names);
    QVERIFY(poster.waitForFinished(30000));
    QCOMPARE(poster.exitCode(), 0);
}

} // namespace

class TestDistributedNotificationCenter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void notificationFromAnotherProcessArrives() {
        DistributedNotificationCenter* center = DistributedNotificationCenter::defaultCenter();
        QSignalSpy spy(center, &DistributedNotificationCenter::notificationReceived);
        QVERIFY(center->addObserver(temps));
        QVERIFY(center->addObserver(units));
        settleWithBus();
        // One sender's signals arrive in order, so once the last observed name
        // is in, an unobserved one posted before it would have been too.
        runPoster({fans, temps, units});
        QTRY_COMPARE(receivedNames(spy), (QStringList{temps, units}));

        spy.clear();
        center->removeObserver(temps);
        settleWithBus();
        runPoster({temps, units});
        QTRY_COMPARE(receivedNames(spy), QStringList{units});
        center->removeObserver(units);
    }

    void observingTwiceDeliversOnce() {
        DistributedNotificationCenter poster(QDBusConnection::sessionBus());
        DistributedNotificationCenter observer(QDBusConnection::sessionBus());
        QSignalSpy spy(&observer, &DistributedNotificationCenter::notificationReceived);
        const QString sentinel = OndaraNames::Notifications::sectionsDidChange;
        QVERIFY(observer.addObserver(fans));
        QVERIFY(observer.addObserver(fans));
        QVERIFY(observer.addObserver(sentinel));
        settleWithBus();
        poster.postNotificationName(fans);
        poster.postNotificationName(sentinel);
        QTRY_COMPARE(receivedNames(spy).count(sentinel), 1);
        QCOMPARE(receivedNames(spy), (QStringList{fans, sentinel}));
    }

    void notificationNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("underscore first") << QStringLiteral("_x1") << true;
        QTest::newRow("longest") << QString(255, QLatin1Char('a')) << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
        QTest::newRow("digit first") << QStringLiteral("1temps") << false;
        QTest::newRow("dot") << QStringLiteral("temps.didChange") << false;
        QTest::newRow("non-ASCII letter") << QStringLiteral("tempsDidChangé") << false;
    }

    void notificationNames() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(DistributedNotificationCenter::isValidNotificationName(name), valid);
        if (!valid) {
            DistributedNotificationCenter center(QDBusConnection::sessionBus());
            const QRegularExpression warning(QStringLiteral("not a valid name"));
            QTest::ignoreMessage(QtWarningMsg, warning);
            QVERIFY(!center.addObserver(name));
            QTest::ignoreMessage(QtWarningMsg, warning);
            center.postNotificationName(name);
        }
    }

    void centerWithoutBusReportsFailure() {
        DistributedNotificationCenter center(QDBusConnection(QStringLiteral("never connected")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Could not observe")));
        QVERIFY(!center.addObserver(temps));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Could not post")));
        center.postNotificationName(temps);
    }
};

QTEST_GUILESS_MAIN(TestDistributedNotificationCenter)
#include "tst_distributednotificationcenter.moc"
