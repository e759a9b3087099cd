// Replays every fuzz target's corpus (seeds and the crashes found so far)
// through the same entry functions the fuzzers call.

#include "FuzzEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QLoggingCategory>
#include <QTest>

class TestFuzzCorpora : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The readers' complaints about broken input are the point here.
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    }

    void replay_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        const QDir corpora(QStringLiteral(ONDARA_FUZZ_CORPUS_DIR));
        const QStringList targets = corpora.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QVERIFY(!targets.isEmpty());
        for (const QString& target : targets) {
            QDirIterator files(corpora.filePath(target), QDir::Files);
            while (files.hasNext()) {
                const QString path = files.next();
                QTest::addRow("%s/%s", qPrintable(target), qPrintable(files.fileName()))
                    << target << path;
            }
        }
    }

    void replay() {
        QFETCH(QString, target);
        QFETCH(QString, path);
        const FuzzEntry entry = fuzzEntry(target);
        QVERIFY2(entry, qPrintable(QStringLiteral("no fuzz target named ") + target));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpora)
#include "tst_fuzzcorpora.moc"
