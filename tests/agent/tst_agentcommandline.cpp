#include "AgentCommandLine.h"

#include <QTest>

class AgentCommandLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sources_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QStringList>("sources");     // smc, smart, memory; empty: refused

        QTest::newRow("defaults") << QStringList() << QStringList()
                                  << QStringList{"auto", "auto", "proc"};
        QTest::newRow("options") << QStringList{"--smc", "demo", "--smart=none", "--memory",
                                                "profile:/m.plist"}
                                 << QStringList()
                                 << QStringList{"demo", "none", "profile:/m.plist"};
        QTest::newRow("environment")
            << QStringList()
            << QStringList{"ONDARA_SMC=applesmc", "ONDARA_SMART=demo", "ONDARA_MEMORY=profile:/x"}
            << QStringList{"applesmc", "demo", "profile:/x"};
        QTest::newRow("the command line wins")
            << QStringList{"--smc", "demo"} << QStringList{"ONDARA_SMC=applesmc"}
            << QStringList{"demo", "auto", "proc"};
        QTest::newRow("a bad environment value is refused")
            << QStringList{"--smc", "demo"} << QStringList{"ONDARA_SMART=everything"}
            << QStringList();
        QTest::newRow("profile without a path")
            << QStringList{"--smc", "profile:"} << QStringList() << QStringList();
        QTest::newRow("demo memory is not a source")
            << QStringList{"--memory", "demo"} << QStringList() << QStringList();
        QTest::newRow("stray argument") << QStringList{"demo"} << QStringList() << QStringList();
    }
    void sources() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(QStringList, sources);

        QProcessEnvironment variables;
        for (const QString& entry : environment) {
            variables.insert(entry.section('=', 0, 0), entry.section('=', 1));
        }
        QString error;
        const auto parsed = AgentCommandLine::parse(arguments, variables, &error);
        if (sources.isEmpty()) {
            QVERIFY(!parsed);
            QVERIFY(!error.isEmpty());
            return;
        }
        QVERIFY2(parsed, qPrintable(error));
        QCOMPARE(QStringList({parsed->smc, parsed->smart, parsed->memory}), sources);
    }
};

QTEST_GUILESS_MAIN(AgentCommandLineTest)
#include "tst_agentcommandline.moc"
