#include "KeptOpenFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr qsizetype kLimit = 10000;

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Puts `what` at the path: "file:CONTENT", "fifo", "folder", "link" (to a
// file beside it), "nothing".
bool place(const QString& path, const QString& what) {
    if (what.startsWith(QLatin1String("file:"))) {
        return writeFile(path, what.mid(5).toLatin1());
    }
    if (what == QLatin1String("fifo")) {
        return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    }
    if (what == QLatin1String("folder")) {
        return QDir().mkdir(path);
    }
    if (what == QLatin1String("link")) {
        return writeFile(path + QStringLiteral(".target"), "linked\n") &&
               QFile::link(path + QStringLiteral(".target"), path);
    }
    return what == QLatin1String("nothing");
}

// What a read gave: its content, or "errno N".
QByteArray outcome(const std::optional<QByteArray>& content, int error) {
    return content ? *content : "errno " + QByteArray::number(error);
}
QByteArray outcome(const std::optional<QByteArrayView>& content, int error) {
    return outcome(content ? std::optional<QByteArray>(content->toByteArray()) : std::nullopt,
                   error);
}

} // namespace

class KeptOpenFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What a first read finds at the path. Nothing but a regular file is
    // read, and nothing stops the reader: a FIFO without a writer would.
    void firstRead_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("a small file") << "file:38000\n" << QByteArray("38000\n");
        QTest::newRow("an empty file") << "file:" << QByteArray();
        const QByteArray large(6000, 'x');
        QTest::newRow("longer than one read")
            << QString::fromLatin1("file:" + large + "end") << large + "end";
        QTest::newRow("longer than the limit: its start")
            << QString::fromLatin1("file:" + QByteArray(kLimit, 'y') + "beyond")
            << QByteArray(kLimit, 'y');
        QTest::newRow("missing") << "nothing"
                                 << "errno " + QByteArray::number(ENOENT);
        QTest::newRow("a FIFO") << "fifo"
                                << "errno " + QByteArray::number(EINVAL);
        QTest::newRow("a folder") << "folder"
                                  << "errno " + QByteArray::number(EINVAL);
        QTest::newRow("a link, never followed") << "link"
                                                << "errno " + QByteArray::number(ELOOP);
    }
    void firstRead() {
        QFETCH(QString, what);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("attribute"));
        QVERIFY(place(path, what));
        int error = 0;
        const auto once = KeptOpenFile::readOnce(path, kLimit, &error);
        QCOMPARE(outcome(once, error), expected);
        KeptOpenFile kept(path, kLimit);
        QByteArray buffer;
        error = 0;
        const auto into = kept.readInto(&buffer, &error);
        QCOMPARE(outcome(into, error), expected);
        QCOMPARE(kept.isOpen(), !expected.startsWith("errno"));
    }

    // A kept file read again must give what is at the path now, whatever
    // became of the file opened first.
    void readAgainFollowsTheFile_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("rewritten in place") << "rewrite" << QByteArray("41000\n");
        QTest::newRow("replaced by a rename") << "rename" << QByteArray("42000\n");
        QTest::newRow("grown beyond the limit") << "grow" << QByteArray(kLimit, 'z');
        QTest::newRow("removed") << "remove"
                                 << "errno " + QByteArray::number(ENOENT);
        QTest::newRow("removed, then back") << "file:43000\n" << QByteArray("43000\n");
        QTest::newRow("a FIFO in its place") << "fifo"
                                             << "errno " + QByteArray::number(EINVAL);
        QTest::newRow("a folder in its place") << "folder"
                                               << "errno " + QByteArray::number(EINVAL);
        QTest::newRow("a link in its place") << "link"
                                             << "errno " + QByteArray::number(ELOOP);
    }
    void readAgainFollowsTheFile() {
        QFETCH(QString, change);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("attribute"));
        QVERIFY(writeFile(path, "38000\n"));
        // Both ways of reading, each through a file of its own.
        KeptOpenFile kept(path, kLimit);
        KeptOpenFile keptInto(path, kLimit);
        QByteArray buffer;
        QCOMPARE(kept.read(), QByteArray("38000\n"));
        QCOMPARE(keptInto.readInto(&buffer)->toByteArray(), QByteArray("38000\n"));

        if (change == QLatin1String("rewrite")) {
            QVERIFY(writeFile(path, "41000\n"));
        } else if (change == QLatin1String("rename")) {
            QVERIFY(writeFile(path + QStringLiteral(".new"), "42000\n"));
            QVERIFY(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                             QFile::encodeName(path).constData()) == 0);
        } else if (change == QLatin1String("grow")) {
            QVERIFY(writeFile(path, QByteArray(kLimit, 'z') + "beyond"));
        } else {
            QVERIFY(QFile::remove(path));
            QVERIFY(place(path,
                          change == QLatin1String("remove") ? QStringLiteral("nothing") : change));
        }
        int error = 0;
        const auto again = kept.read(&error);
        QCOMPARE(outcome(again, error), expected);
        error = 0;
        const char* const bufferData = buffer.constData();
        const auto view = keptInto.readInto(&buffer, &error);
        QCOMPARE(outcome(view, error), expected);
        // The buffer handed in is read into again, never made anew.
        QCOMPARE(buffer.constData(), bufferData);
        QVERIFY(!view || view->constData() == bufferData);
        QCOMPARE(kept.isOpen(), !expected.startsWith("errno"));
    }
};

QTEST_GUILESS_MAIN(KeptOpenFileTest)
#include "tst_keptopenfile.moc"
