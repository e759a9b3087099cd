// What the agent stores and answers has not changed: data/recorded holds the
// settings files and the replies, as dbus-send prints them with their types,
// that scripts/record-agent-fixtures.sh recorded from an earlier agent on five
// machines (and the terminal client's full listing on the hwmon ones). The
// same script records this agent and client here; every file must match.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString recorded = QStringLiteral(ONDARA_TEST_DATA_DIR "/recorded");

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestRecordedAnswers : public QObject {
    Q_OBJECT

    QTemporaryDir made;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(
            QFile::copy(recorded + "/damaged.input.plist", made.filePath("damaged.input.plist")));
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start("bash", {ONDARA_SCRIPT, ONDARA_BUILD_DIR, made.path()});
        QVERIFY(script.waitForFinished(100000));
        QCOMPARE(script.exitCode(), 0);
    }

    void sameAsRecorded_data() {
        QTest::addColumn<QString>("file");
        for (const QString& file : QDir(recorded).entryList(QDir::Files)) {
            QTest::newRow(qPrintable(file)) << file;
        }
    }
    void sameAsRecorded() {
        QFETCH(QString, file);
        QCOMPARE(contentOf(made.filePath(file)), contentOf(recorded + '/' + file));
    }
};

QTEST_GUILESS_MAIN(TestRecordedAnswers)
#include "tst_recordedanswers.moc"
