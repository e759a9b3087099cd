// The records of the history and the alerts: series names that must stay
// text and one of a few forms, rules the agent can keep or must refuse, and
// the user's units as every client writes them.

#include "AlertRule.h"
#include "HistorySeries.h"
#include "UserUnits.h"

#include <QtTest>
#include <cmath>
#include <limits>

using Kind = HistorySeries::Kind;
Q_DECLARE_METATYPE(HistorySeries::Kind)

class HistoryRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void seriesNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("kind");
        QTest::newRow("sensor") << "temp:TC0D" << true << int(Kind::temperature);
        QTest::newRow("key with a blank") << "temp:TC0 " << true << int(Kind::temperature);
        QTest::newRow("drive") << "temp:SMART" << true << int(Kind::temperature);
        QTest::newRow("code in hex") << "temp:0x0000001F" << true << int(Kind::temperature);
        QTest::newRow("hex in lower case") << "temp:0x0000001f" << false << 0;
        QTest::newRow("three characters") << "temp:TC0" << false << 0;
        QTest::newRow("five characters") << "temp:TC0DX" << false << 0;
        QTest::newRow("control character") << QString("temp:TC0\x01") << false << 0;
        QTest::newRow("fan") << "fan:9" << true << int(Kind::fan);
        QTest::newRow("no fan key for 10") << "fan:10" << false << 0;
        QTest::newRow("stopped fan") << "fan:0:stopped" << true << int(Kind::stoppedFan);
        QTest::newRow("memory figure") << "mem:Compressed" << true << int(Kind::memory);
        QTest::newRow("no such figure") << "mem:Swap" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("too long") << "temp:" + QString(100, 'x') << false << 0;
    }
    void seriesNames() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        const auto series = HistorySeries::parse(name);
        QCOMPARE(bool(series), valid);
        if (series) {
            QTEST(int(series->kind), "kind");
            QCOMPARE(series->name(), name);
        }
    }

    void seriesOfACode_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("key") << 0x54433044u << "temp:TC0D";
        QTest::newRow("drive") << 0xFFFFFFFFu << "temp:SMART";
        QTest::newRow("not text") << 0x5443000Au << "temp:0x5443000A";
        QTest::newRow("beyond ASCII") << 0x544330E9u << "temp:0x544330E9";
    }
    void seriesOfACode() {
        QFETCH(quint32, code);
        QTEST(HistorySeries::temperature(code), "name");
        QVERIFY(HistorySeries::parse(HistorySeries::temperature(code)));
    }

    void rules_data() {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("problem"); // empty: kept; "-": not a rule of the layout
        const auto rule = [](const QVariant& above, const QVariant& clearBelow,
                             const QVariant& forSeconds, const QString& series = "temp:TC0D") {
            return QVariant(QVariantMap{{"series", series},
                                        {"above", above},
                                        {"clearBelow", clearBelow},
                                        {"forSeconds", forSeconds},
                                        {"enabled", true}});
        };
        QTest::newRow("kept") << rule(90.0, 80.0, 30ll) << "";
        QTest::newRow("no hysteresis is allowed") << rule(90ll, 90ll, 0ll) << "";
        QTest::newRow("whole seconds as a real") << rule(90.0, 80.0, 30.0) << "";
        QTest::newRow("clearBelow above above") << rule(80.0, 90.0, 30ll) << "must not be above";
        QTest::newRow("not a number") << rule(nan, 80.0, 30ll) << "finite";
        QTest::newRow("infinite") << rule(90.0, -inf, 30ll) << "finite";
        QTest::newRow("longer than a day") << rule(90.0, 80.0, 86401ll) << "at most 86400";
        QTest::newRow("no series") << rule(90.0, 80.0, 30ll, "CPU") << "names no series";
        QTest::newRow("part of a second") << rule(90.0, 80.0, 30.5) << "-";
        QTest::newRow("negative seconds") << rule(90.0, 80.0, -1ll) << "-";
        QTest::newRow("text for a number") << rule("90", 80.0, 30ll) << "-";
        QTest::newRow("not a dictionary") << QVariant(QVariantList{90.0}) << "-";
    }
    void rules() {
        QFETCH(QVariant, stored);
        QFETCH(QString, problem);
        const QVariantMap map = stored.toMap();
        const AlertRule direct{map.value("series").toString(), map.value("above").toDouble(),
                               map.value("clearBelow").toDouble(),
                               quint32(map.value("forSeconds").toLongLong()), true};
        const auto decoded = AlertRule::fromPropertyList(stored);
        QCOMPARE(bool(decoded), problem.isEmpty());
        if (problem != "-") {
            QVERIFY2(problem.isEmpty() ? direct.problem().isEmpty()
                                       : direct.problem().contains(problem),
                     qPrintable(direct.problem()));
        }
        if (decoded) {
            QCOMPARE(AlertRule::fromPropertyList(decoded->toPropertyList()), decoded);
        }
    }

    void storedListKeepsWhatItCan() {
        const QVariantMap cpu{{"series", "temp:TC0D"},
                              {"above", 90.0},
                              {"clearBelow", 80.0},
                              {"forSeconds", 30ll},
                              {"enabled", false}};
        QVariantMap again = cpu;
        again.insert("above", 50.0);
        const auto rules =
            AlertRule::listFromPropertyList(QVariantList{cpu, "junk", again, QVariantMap()});
        QVERIFY(rules);
        QCOMPARE(rules->size(), 1);
        QCOMPARE(rules->first().above, 90.0);
        QVERIFY(!AlertRule::listFromPropertyList(QVariantMap()));
    }

    void userUnits_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QList<int>>("units");
        QTest::addColumn<int>("maxSpeed");
        QTest::addColumn<QString>("text");
        const QList<int> fixed{0, 0};
        QTest::newRow("Celsius") << int(Kind::temperature) << 61.4 << fixed << 0 << "61 °C";
        QTest::newRow("Fahrenheit, half up")
            << int(Kind::temperature) << 61.0 << QList<int>{1, 0} << 0 << "142 °F";
        QTest::newRow("below zero") << int(Kind::temperature) << -0.4 << fixed << 0 << "0 °C";
        QTest::newRow("rpm") << int(Kind::fan) << 2430.0 << fixed << 5000 << "2430 RPM";
        QTest::newRow("percent") << int(Kind::fan) << 2430.0 << QList<int>{0, 1} << 5000 << "49%";
        QTest::newRow("percent without a maximum")
            << int(Kind::fan) << 2430.0 << QList<int>{0, 1} << 0 << "2430 RPM";
        QTest::newRow("memory") << int(Kind::memory) << 2.25 << QList<int>{1, 1} << 0 << "2.25 GiB";
        QTest::newRow("whole GiB") << int(Kind::memory) << 16.0 << fixed << 0 << "16 GiB";
        QTest::newRow("no negative zero") << int(Kind::memory) << -0.001 << fixed << 0 << "0 GiB";
    }
    void userUnits() {
        QFETCH(int, kind);
        QFETCH(double, value);
        QFETCH(QList<int>, units);
        QFETCH(int, maxSpeed);
        const UserUnits user(units);
        QTEST(user.text(Kind(kind), value, maxSpeed), "text");
        const double shown = user.shown(Kind(kind), value, maxSpeed);
        QVERIFY(std::abs(user.fixed(Kind(kind), shown, maxSpeed) - value) < 1e-9);
    }
};

QTEST_GUILESS_MAIN(HistoryRecordsTest)
#include "tst_historyrecords.moc"
