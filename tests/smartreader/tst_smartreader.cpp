// The SMART reader runs with the right to send any ATA command to any disk,
// so it must refuse every request but its own before it looks at a disk.

#include <QProcess>
#include <QTest>

class TestSmartReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusesAllButADiskIndex_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("message");
        const QByteArray usage = "usage: ondara-smart-reader read|collect DISK-INDEX\n";
        QTest::newRow("nothing") << QStringList() << 2 << usage;
        QTest::newRow("a device") << QStringList{"read", "/dev/sda"} << 2 << usage;
        QTest::newRow("a command") << QStringList{"identify", "0"} << 2 << usage;
        QTest::newRow("more") << QStringList{"collect", "0", "--extended"} << 2 << usage;
        QTest::newRow("an option") << QStringList{"--help"} << 2 << usage;
        // Well formed, but no machine has that many disks: nothing is opened.
        QTest::newRow("no such disk") << QStringList{"read", "9999"} << 3
                                      << QByteArray("ondara-smart-reader: no disk 9999\n");
    }
    void refusesAllButADiskIndex() {
        QFETCH(QStringList, arguments);
        QProcess reader;
        reader.start(QStringLiteral(ONDARA_SMART_READER), arguments);
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QTEST(reader.exitCode(), "status");
        QCOMPARE(reader.readAllStandardOutput(), QByteArray());
        QTEST(reader.readAllStandardError(), "message");
    }
};

QTEST_GUILESS_MAIN(TestSmartReader)
#include "tst_smartreader.moc"
