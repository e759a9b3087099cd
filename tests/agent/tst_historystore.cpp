// The agent's history on disk: what it keeps of failed readings, how it folds
// samples into buckets, what it forgets, what survives a restart, and what it
// does with a file it can't use.

#include "AgentTestSupport.h"
#include "HistoryStore.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// An hour boundary, so buckets of whole seconds align with the offsets below.
constexpr qint64 base = 1699999200000;
constexpr qint64 step = 5000;
const QString series = QStringLiteral("temp:TC0D");

// "0:40 5:- 10:42": seconds after base and value ("-" a failed reading).
void appendSamples(HistoryStore& store, const QString& samples, const QString& name = series) {
    for (const QString& sample : samples.split(' ', Qt::SkipEmptyParts)) {
        const QString value = sample.section(':', 1);
        store.append(name, base + sample.section(':', 0, 0).toLongLong() * 1000,
                     value == "-" ? std::nullopt : std::optional<double>(value.toDouble()), step);
    }
}

// "0:42/40/44 10:51/50/52": seconds after base, then mean/min/max.
QString text(const QList<HistoryBucket>& buckets) {
    QStringList items;
    for (const HistoryBucket& bucket : buckets) {
        items.append(QString("%1:%2/%3/%4")
                         .arg((bucket.time - base) / 1000)
                         .arg(bucket.mean)
                         .arg(bucket.minimum)
                         .arg(bucket.maximum));
    }
    return items.join(' ');
}

QList<HistoryBucket> everything(const HistoryStore& store, const QString& name = series) {
    return store.samples(name, 0, std::numeric_limits<qint64>::max(), 100000);
}

// Rows of the view that sqlite3 users read.
int viewRows(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*), sum(value = 0) FROM samples", -1, &statement, nullptr);
    int rows = -1;
    if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 1) == 0) {
        rows = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

void runSql(const QString& file, const char* sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

} // namespace

class HistoryStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void failedReadingsAreGapsNeverZero() {
        QTemporaryDir folder;
        {
            HistoryStore store(folder.path());
            QVERIFY(store.open());
            appendSamples(store, "0:40 5:- 10:42");
            store.append(series, base + 15000, std::numeric_limits<double>::quiet_NaN(), step);
            store.append(series, base + 20000, 0.5, step);
            // Every series reads at the same rounds: one that never read has no series.
            appendSamples(store, "0:- 5:- 10:-", "fan:0");
            QCOMPARE(text(everything(store)), "0:40/40/40 10:42/42/42 20:0.5/0.5/0.5");
            QCOMPARE(store.series(), QStringList{series});
        }
        HistoryStore reopened(folder.path());
        QVERIFY(reopened.open());
        QCOMPARE(text(everything(reopened)), "0:40/40/40 10:42/42/42 20:0.5/0.5/0.5");
        QCOMPARE(viewRows(reopened.filePath()), 3);
    }

    void bucketing_data() {
        QTest::addColumn<QString>("samples");
        QTest::addColumn<int>("since"); // seconds after base
        QTest::addColumn<int>("until");
        QTest::addColumn<uint>("maxPoints");
        QTest::addColumn<QString>("buckets");
        const QString rising = "0:40 5:44 10:50 15:52 20:60";
        QTest::newRow("few samples: each its own")
            << "0:40 5:41 10:42" << 0 << 10 << 3u << "0:40/40/40 5:41/41/41 10:42/42/42";
        QTest::newRow("folded in pairs")
            << rising << 0 << 20 << 3u << "0:42/40/44 10:51/50/52 20:60/60/60";
        QTest::newRow("one point holds them all") << rising << 0 << 20 << 1u << "0:49.2/40/60";
        QTest::newRow("a moved window keeps its buckets")
            << rising + " 25:62" << 5 << 25 << 3u << "5:44/44/44 10:51/50/52 20:61/60/62";
        QTest::newRow("a gap is no bucket") << "0:40 5:44 10:- 15:- 20:- 25:- 30:60 35:62" << 0
                                            << 35 << 3u << "0:42/40/44 30:61/60/62";
        QTest::newRow("fractions and negatives")
            << "0:1.5 5:-2.25 10:0.75" << 0 << 10 << 1u << "0:0/-2.25/1.5";
        QTest::newRow("nothing outside the window") << rising << 21 << 24 << 3u << "";
        QTest::newRow("both ends included")
            << rising << 5 << 15 << 5u << "5:44/44/44 10:50/50/50 15:52/52/52";
    }
    void bucketing() {
        QFETCH(QString, samples);
        QFETCH(int, since);
        QFETCH(int, until);
        QFETCH(uint, maxPoints);
        QTemporaryDir folder;
        HistoryStore store(folder.path());
        QVERIFY(store.open());
        appendSamples(store, samples);
        const auto answer = [&] {
            return text(store.samples(series, base + since * 1000, base + until * 1000, maxPoints));
        };
        const QString inMemory = answer();
        QTEST(inMemory, "buckets");
        // The same from the disk.
        store.flush(true);
        QCOMPARE(answer(), inMemory);
    }

    void rowsAreWrittenInBatches() {
        QTemporaryDir folder;
        HistoryStore store(folder.path());
        QVERIFY(store.open());
        QString samples;
        for (int i = 0; i < HistoryStore::samplesPerRow * 2 + 3; ++i) {
            samples += QString("%1:%2 ").arg(i * 5).arg(40 + i % 7);
        }
        appendSamples(store, samples);
        // Two full rows went to disk as soon as they were full; the rest waits.
        store.flush();
        QCOMPARE(viewRows(store.filePath()), HistoryStore::samplesPerRow * 2);
        QCOMPARE(everything(store).size(), HistoryStore::samplesPerRow * 2 + 3);
        // A round that comes late (the machine slept) starts a new row.
        store.append(series, base + 3600000, 50.0, step);
        store.flush(true);
        QCOMPARE(viewRows(store.filePath()), HistoryStore::samplesPerRow * 2 + 4);
        QCOMPARE(everything(store).last().time, base + 3600000);
    }

    void oldRowsArePruned() {
        QTemporaryDir folder;
        HistoryStore store(folder.path());
        QVERIFY(store.open());
        const qint64 now = base + HistoryStore::retentionMs + 60000;
        appendSamples(store, "0:40 5:41", "fan:0");
        store.append(series, now - 24LL * 3600 * 1000, 45.0, step);
        store.append(series, now, 46.0, step);
        store.flush(true);
        QCOMPARE(store.series(), QStringList({"fan:0", series}));
        store.prune(now);
        // A day is always there; a series with nothing left is gone.
        QCOMPARE(store.series(), QStringList{series});
        QCOMPARE(everything(store).size(), 2);
        QCOMPARE(everything(store, "fan:0").size(), 0);
    }

    void aRestartKeepsTheHistory() {
        QTemporaryDir folder;
        QString before;
        {
            HistoryStore store(folder.path());
            QVERIFY(store.open());
            QString samples;
            for (int i = 0; i < 30; ++i) {
                samples += QString("%1:%2 ").arg(i * 5).arg(40 + i);
            }
            appendSamples(store, samples);
            appendSamples(store, "0:1.25 5:1.5", "mem:Used");
            before = text(everything(store)) + text(everything(store, "mem:Used"));
        }
        HistoryStore after(folder.path());
        QVERIFY(after.open());
        QVERIFY(after.movedAside().isEmpty());
        QCOMPARE(after.series(), QStringList({"mem:Used", series}));
        QCOMPARE(text(everything(after)) + text(everything(after, "mem:Used")), before);
    }

    void anotherAgentOnlyReads() {
        QTemporaryDir folder;
        HistoryStore writer(folder.path());
        QVERIFY(writer.open());
        appendSamples(writer, "0:40 5:41");
        writer.flush(true);
        HistoryStore second(folder.path());
        QVERIFY(second.open());
        QVERIFY(writer.isWriter());
        QVERIFY(!second.isWriter());
        appendSamples(second, "10:99");
        second.flush(true);
        QCOMPARE(text(everything(second)), "0:40/40/40 5:41/41/41");
    }

    void aFileItCantUseIsMovedAside_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a database") << "garbage"
                                        << "damaged";
        QTest::newRow("another program's") << "foreign"
                                           << "not a history of Ondara's";
        QTest::newRow("another version") << "version"
                                         << "another version (7)";
        QTest::newRow("damaged pages") << "damaged"
                                       << "damaged";
        QTest::newRow("locked by someone") << "locked"
                                           << "stays locked";
        QTest::newRow("a link") << "link"
                                << "not a file of this user's";
    }
    void aFileItCantUseIsMovedAside() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString state = folder.filePath("ondara");
        QVERIFY(QDir().mkdir(state));
        QVERIFY(QFile::setPermissions(state, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner));
        const QString file = state + "/history.sqlite3";
        QByteArray original = "not a history at all\n";
        sqlite3* holder = nullptr;
        if (kind == "garbage") {
            QFile garbage(file);
            QVERIFY(garbage.open(QIODevice::WriteOnly));
            garbage.write(original.repeated(300));
            original = original.repeated(300);
        } else if (kind == "foreign") {
            runSql(file, "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine')");
        } else if (kind == "version" || kind == "damaged" || kind == "locked") {
            {
                HistoryStore earlier(state);
                QVERIFY(earlier.open());
                QString samples;
                for (int i = 0; i < 6000; ++i) {
                    samples += QString("%1:%2 ").arg(i * 5).arg(i % 90);
                }
                appendSamples(earlier, samples);
            }
            if (kind == "version") {
                runSql(file, "PRAGMA user_version=7");
            } else if (kind == "damaged") {
                runSql(file, "PRAGMA wal_checkpoint(TRUNCATE)");
                QFile pages(file);
                QVERIFY(pages.open(QIODevice::ReadWrite));
                QVERIFY(pages.size() > 3 * 4096);
                pages.seek(4096);
                pages.write(QByteArray(2 * 4096, '\x5a'));
            } else {
                QCOMPARE(sqlite3_open(QFile::encodeName(file), &holder), SQLITE_OK);
                QCOMPARE(sqlite3_exec(holder,
                                      "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                      "CREATE TABLE taken(x)",
                                      nullptr, nullptr, nullptr),
                         SQLITE_OK);
            }
        } else {
            QFile target(folder.filePath("elsewhere"));
            QVERIFY(target.open(QIODevice::WriteOnly));
            target.write(original);
            target.close();
            QVERIFY(QFile::link(target.fileName(), file));
        }

        LogCapture log;
        HistoryStore store(state);
        QVERIFY(store.open());
        if (holder) {
            sqlite3_close(holder);
        }
        QCOMPARE(store.movedAside().size(), 1);
        const QString aside = store.movedAside().first();
        const QRegularExpression logged(QRegularExpression::escape(reason) + ".*moved it to " +
                                        QRegularExpression::escape(aside));
        QVERIFY2(log.lines.join('\n').contains(logged), qPrintable(log.lines.join('\n')));
        QVERIFY(QFileInfo(aside).exists() || QFileInfo(aside).isSymLink());
        if (kind == "garbage" || kind == "link") {
            QFile kept(aside);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), original);
        }
        // A fresh history in its place that works.
        QVERIFY(QFileInfo(file).isFile() && !QFileInfo(file).isSymLink());
        QVERIFY(store.series().isEmpty());
        appendSamples(store, "0:40");
        store.flush(true);
        QCOMPARE(text(everything(store)), "0:40/40/40");
    }

    void aFolderOthersCanChangeIsRefused() {
        QTemporaryDir folder;
        QVERIFY(::chmod(QFile::encodeName(folder.path()), 0777) == 0);
        HistoryStore store(folder.path());
        const Status opened = store.open();
        QVERIFY(!opened);
        QVERIFY2(opened.error().contains("only this user"), qPrintable(opened.error()));
        QVERIFY(!QFile::exists(store.filePath()));
        // Readings go nowhere, and nothing breaks.
        appendSamples(store, "0:40");
        store.flush(true);
        QVERIFY(store.series().isEmpty());
    }
};

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "tst_historystore.moc"
