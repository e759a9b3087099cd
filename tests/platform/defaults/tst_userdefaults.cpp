#include "NestedPropertyLists.h"
#include "OndaraNames.h"
#include "PropertyList.h"
#include "defaults/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString suite = QStringLiteral("test.suite");

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QVariantMap parsedFile(const QString& path) {
    return PropertyList::parse(readBytes(path)).value_or(QVariant()).toMap();
}

mode_t permissionBits(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777
                                                                   : mode_t(-1);
}

QStringList entriesStartingWith(const QString& directory, const QString& prefix) {
    return QDir(directory).entryList({prefix + QLatin1Char('*')},
                                     QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tempDir;
    QString dir() const { return tempDir->path(); }
    QString file() const { return dir() + QLatin1Char('/') + suite + QStringLiteral(".plist"); }
    std::unique_ptr<UserDefaults> open() const { return UserDefaults::openSuite(suite, dir()); }

private Q_SLOTS:
    void init() {
        tempDir = std::make_unique<QTemporaryDir>();
        QVERIFY(tempDir->isValid());
    }

    void openSuiteChoosesFolder() {
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
        auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            qputenv("XDG_CONFIG_HOME", oldXdg);
        });
        qputenv("HOME", QFile::encodeName(dir() + QStringLiteral("/home")));
        const QString name = QLatin1Char('/') + OndaraNames::suiteName + QStringLiteral(".plist");
        // A relative XDG_CONFIG_HOME is ignored.
        qputenv("XDG_CONFIG_HOME", "relative");
        QCOMPARE(UserDefaults::openSuite(OndaraNames::suiteName)->filePath(),
                 dir() + QStringLiteral("/home/.config") + name);
        QVERIFY(QFileInfo(dir() + QStringLiteral("/home/.config")).isDir());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir() + QStringLiteral("/xdg")));
        QCOMPARE(UserDefaults::openSuite(OndaraNames::suiteName)->filePath(),
                 dir() + QStringLiteral("/xdg") + name);
    }

    void openSuiteRefusesUnusableNamesAndFolders() {
        QVERIFY(writeBytes(dir() + QStringLiteral("/file"), "x"));
        for (const auto& [name, folder] :
             {std::pair{"../escape", ""}, {"", ""}, {"s", "file/sub"}}) {
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("settings suite")));
            QVERIFY(!UserDefaults::openSuite(QString::fromLatin1(name),
                                             dir() + QLatin1Char('/') + QLatin1String(folder)));
        }
    }

    void typedReadsGiveDefaultsForAbsentAndWrongTypes_data() {
        QTest::addColumn<QVariant>("stored");
        // double, bool, integer, string, array and dictionary reads
        QTest::addColumn<QString>("reads");
        const qlonglong lowest = std::numeric_limits<qlonglong>::min();
        QTest::newRow("absent") << QVariant() << "0 0 0 null [] {}";
        QTest::newRow("true") << QVariant(true) << "1 1 1 null [] {}";
        QTest::newRow("zero") << QVariant(0) << "0 0 0 null [] {}";
        QTest::newRow("sensor code")
            << QVariant(0xFFFFFFFFu) << "4294967295 1 4294967295 null [] {}";
        QTest::newRow("version") << QVariant(2.1) << "2.1 1 2 null [] {}";
        QTest::newRow("huge negative real")
            << QVariant(-1e300) << QStringLiteral("-1e+300 1 %1 null [] {}").arg(lowest);
        QTest::newRow("numeric text") << QVariant(QStringLiteral("2.5")) << "0 0 0 '2.5' [] {}";
        QTest::newRow("empty text") << QVariant(QStringLiteral("")) << "0 0 0 '' [] {}";
        QTest::newRow("array") << QVariant(QVariantList{1, 2}) << "0 0 0 null [1,2] {}";
        QTest::newRow("selection entry")
            << QVariant(QVariantMap{{"HDD", QVariantList{"Drive", 0xFFFFFFFFu, 2, true}}})
            << "0 0 0 null [] {HDD}";
    }

    void typedReadsGiveDefaultsForAbsentAndWrongTypes() {
        QFETCH(QVariant, stored);
        const QString key = QStringLiteral("Sections");
        auto writer = open();
        writer->setObject(key, stored);
        QVERIFY(writer->synchronize());
        const auto reader = open();
        // The writer's memory and a fresh reader of the file answer alike.
        for (const UserDefaults* defaults : {writer.get(), reader.get()}) {
            const QString text = defaults->stringForKey(key);
            QStringList array;
            for (const QVariant& item : defaults->arrayForKey(key)) {
                array.append(QString::number(item.toLongLong()));
            }
            QTEST(QStringLiteral("%1 %2 %3 %4 [%5] {%6}")
                      .arg(QString::number(defaults->doubleForKey(key), 'g', 15))
                      .arg(int(defaults->boolForKey(key)))
                      .arg(defaults->integerForKey(key))
                      .arg(text.isNull() ? QStringLiteral("null") : "'" + text + "'")
                      .arg(array.join(QLatin1Char(',')))
                      .arg(defaults->dictionaryForKey(key).keys().join(QLatin1Char(','))),
                  "reads");
            // QVariant's own == calls true equal to 1; the store must keep the
            // kinds apart, so values are compared as property-list text.
            QCOMPARE(PropertyList::toXml(defaults->objectForKey(key)),
                     PropertyList::toXml(PropertyList::normalized(stored)));
        }
    }

    void onlyPropertyListValuesAreStored() {
        auto defaults = open();
        defaults->setObject(QStringLiteral("kept"), QStringLiteral("old"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Not storing key \"kept\"")));
        defaults->setObject(QStringLiteral("kept"), QVariantList{1, QVariant(QPoint(1, 2))});
        QCOMPARE(defaults->stringForKey(QStringLiteral("kept")), QStringLiteral("old"));
        // An invalid value removes the key, as a nil object does.
        defaults->setObject(QStringLiteral("kept"), QVariant());
        QVERIFY(defaults->synchronize());
        QCOMPARE(parsedFile(file()), QVariantMap());
    }

    void synchronizeMergesWithOtherWriters() {
        auto agent = open();
        auto app = open();
        agent->setObject(QStringLiteral("Units"), QVariantList{1, 0});
        agent->setObject(QStringLiteral("gone"), true);
        QVERIFY(agent->synchronize());
        // The application never read "Units"; its write must not drop it.
        app->setObject(QStringLiteral("AppVersion"), 1.0);
        QVERIFY(app->synchronize());
        QCOMPARE(app->arrayForKey(QStringLiteral("Units")), (QVariantList{1LL, 0LL}));

        // Keys this object did not change follow the file, the others win.
        agent->setObject(QStringLiteral("Sections"), QVariantList{1, 1, 0});
        agent->removeObjectForKey(QStringLiteral("gone"));
        app->setObject(QStringLiteral("Units"), QVariantList{0, 1});
        QVERIFY(app->synchronize());
        QVERIFY(agent->synchronize());
        QVERIFY(app->synchronize());
        const QVariantMap expected{{QStringLiteral("AppVersion"), 1.0},
                                   {QStringLiteral("Sections"), QVariantList{1LL, 1LL, 0LL}},
                                   {QStringLiteral("Units"), QVariantList{0LL, 1LL}}};
        QCOMPARE(parsedFile(file()), expected);
        for (const auto& defaults : {agent.get(), app.get()}) {
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                QCOMPARE(defaults->objectForKey(it.key()), it.value());
            }
            QVERIFY(!defaults->objectForKey(QStringLiteral("gone")).isValid());
        }

        // Changes never synchronized are saved when the object goes.
        app->setObject(QStringLiteral("lastSelectedTab"), QStringLiteral("MemTab"));
        app.reset();
        QCOMPARE(parsedFile(file()).value(QStringLiteral("lastSelectedTab")),
                 QVariant(QStringLiteral("MemTab")));
    }

    // Elements of an array of independent settings: each writer's own
    // element wins, the others follow the file.
    void arrayElementsMergeWithOtherWriters() {
        const QString units = QStringLiteral("Units");
        const QVariantList fallback{0LL, 0LL};
        auto first = open();
        auto second = open();
        first->setArrayElement(units, 0, 1, fallback);
        QVERIFY(first->synchronize());
        second->setArrayElement(units, 1, 1, fallback);
        QVERIFY(second->synchronize());
        QCOMPARE(parsedFile(file()).value(units), QVariant(QVariantList{1LL, 1LL}));
        QCOMPARE(second->arrayForKey(units), (QVariantList{1LL, 1LL}));

        // An array of another length (a damaged file) gives way to the fallback.
        first->setObject(units, QVariantList{7});
        QVERIFY(first->synchronize());
        second->setArrayElement(units, 0, 0, {1LL, 1LL});
        QVERIFY(second->synchronize());
        QCOMPARE(parsedFile(file()).value(units), QVariant(QVariantList{0LL, 1LL}));
    }

    // What another user could have put in the settings' place is never read,
    // never written through and never blocks; the suite says why.
    void foreignOrOddFilesAreRefused_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "is not a regular file";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "is a symbolic link";
        QTest::newRow("link to a good file") << "link"
                                             << "is a symbolic link";
        QTest::newRow("file writable by others") << "0666"
                                                 << "is writable by other users";
        QTest::newRow("another user's file") << "chown"
                                             << "belongs to another user";
        QTest::newRow("folder writable by others") << "folder 0777"
                                                   << "is writable by other";
        QTest::newRow("another user's folder") << "folder chown"
                                               << "belongs to another user";
    }

    void foreignOrOddFilesAreRefused() {
        QFETCH(QString, what);
        QFETCH(QString, reason);
        if (what.contains(QLatin1String("chown")) && ::geteuid() != 0) {
            QSKIP("needs root to give a file to another user");
        }
        const QByteArray path = QFile::encodeName(file());
        const QByteArray good = PropertyList::toXml(QVariantMap{{"Units", QVariantList{1, 1}}});
        const QByteArray elsewhere = QFile::encodeName(dir() + QStringLiteral("/elsewhere"));
        QVERIFY(writeBytes(QFile::decodeName(elsewhere), good));
        if (what == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        } else if (what == QLatin1String("zero")) {
            QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
        } else if (what == QLatin1String("link")) {
            QCOMPARE(::symlink(elsewhere.constData(), path.constData()), 0);
        } else if (what == QLatin1String("0666")) {
            QVERIFY(writeBytes(file(), good));
            QCOMPARE(::chmod(path.constData(), 0666), 0);
        } else if (what == QLatin1String("chown")) {
            QVERIFY(writeBytes(file(), good));
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        } else if (what == QLatin1String("folder 0777")) {
            QVERIFY(writeBytes(file(), good));
            QCOMPARE(::chmod(QFile::encodeName(dir()).constData(), 0777), 0);
        } else {
            QVERIFY(writeBytes(file(), good));
            QCOMPARE(::chown(QFile::encodeName(dir()).constData(), 65534, 65534), 0);
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
        if (!what.startsWith(QLatin1String("folder"))) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("its file is refused"));
        }
        QVERIFY(!open());
        QCOMPARE(readBytes(QFile::decodeName(elsewhere)), good);
    }

    // The lock is created inside the folder, never at the end of a link.
    void danglingLockLinkIsNotFollowed() {
        const QString victim = dir() + QStringLiteral("/victim");
        QCOMPARE(::symlink(QFile::encodeName(victim).constData(),
                           QFile::encodeName(file() + QStringLiteral(".lock")).constData()),
                 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is a symbolic link"));
        auto defaults = open();
        QVERIFY(defaults);
        defaults->setObject(QStringLiteral("Units"), QVariantList{1, 0});
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("Cannot save settings.*is a symbolic link"));
        QVERIFY(!defaults->synchronize());
        QVERIFY(!QFileInfo::exists(victim));
    }

    // Nesting that would crash the parser leaves the file set aside; a deep
    // value that the parser can take keeps every other key.
    void deeplyNestedFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keptAside");
        const QByteArray known = PropertyList::toXml(QVariantMap{{"Units", QVariantList{1, 0}}});
        QTest::newRow("xml, 10000 levels") << xmlNestedArrays(10000) << true;
        QTest::newRow("xml, 100000 levels") << xmlNestedArrays(100000) << true;
        QTest::newRow("binary, 100000 levels") << binaryNestedArrays(100000) << true;
        QTest::newRow("300 levels under an unknown key")
            << xmlWithDeepEntry(known, "Unrelated", 300) << false;
    }

    void deeplyNestedFiles() {
        QFETCH(QByteArray, content);
        QFETCH(bool, keptAside);
        QVERIFY(writeBytes(file(), content));
        if (keptAside) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("nested deeper than 512"));
        }
        auto defaults = open();
        QVERIFY(defaults);
        QCOMPARE(entriesStartingWith(dir(), suite + QStringLiteral(".plist.corrupt-")).size(),
                 keptAside ? 1 : 0);
        QCOMPARE(defaults->arrayForKey(QStringLiteral("Units")),
                 keptAside ? QVariantList() : (QVariantList{1LL, 0LL}));
        QCOMPARE(defaults->objectForKey(QStringLiteral("Unrelated")).isValid(), !keptAside);
    }

    void concurrentWritersLoseNothing() {
        constexpr int rounds = 150;
        QProcess writers[2];
        for (int i = 0; i < 2; ++i) {
            writers[i].setStandardOutputFile(QProcess::nullDevice());
            writers[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writers[i].start(
                QStringLiteral(DEFAULTS_WRITER_PATH),
                {dir(), suite, QStringLiteral("ab").mid(i, 1), QString::number(rounds)});
        }
        for (QProcess& writer : writers) {
            QVERIFY(writer.waitForFinished(90000));
            QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer.exitCode(), 0);
        }
        const QVariantMap onDisk = parsedFile(file());
        QCOMPARE(onDisk.size(), 2 * (rounds + 1));
        for (const QString& prefix : {QStringLiteral("a"), QStringLiteral("b")}) {
            QCOMPARE(onDisk.value(prefix + QStringLiteral("count")), QVariant(qlonglong(rounds)));
            for (int i = 0; i < rounds; ++i) {
                QCOMPARE(onDisk.value(prefix + QString::number(i)), QVariant(qlonglong(i)));
            }
        }
        QCOMPARE(entriesStartingWith(dir(), suite + QStringLiteral(".plist.tmp-")), QStringList());
    }

    void killedWriterLeavesConsistentFile() {
        constexpr int roundsBeforeKill = 25;
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Large writes so the kill is likely to land while a file is being written.
        writer.start(QStringLiteral(DEFAULTS_WRITER_PATH),
                     {dir(), suite, QStringLiteral("k"), QStringLiteral("1000000"),
                      QStringLiteral("300000")});
        for (int reported = 0; reported < roundsBeforeKill;) {
            if (writer.canReadLine()) {
                writer.readLine();
                ++reported;
            } else {
                QVERIFY2(writer.waitForReadyRead(30000), "the writer stopped reporting");
            }
        }
        writer.kill();
        QVERIFY(writer.waitForFinished());

        // The file parses and holds whole rounds only: round i wrote k<i> and count.
        const QVariantMap onDisk = parsedFile(file());
        const qlonglong rounds = onDisk.value(QStringLiteral("kcount")).toLongLong();
        QVERIFY(rounds >= roundsBeforeKill);
        QCOMPARE(onDisk.size(), rounds + 2);
        for (qlonglong i = 0; i < rounds; ++i) {
            QCOMPARE(onDisk.value(QStringLiteral("k") + QString::number(i)), QVariant(i));
        }
        QCOMPARE(onDisk.value(QStringLiteral("kpayload")).toString().size(), 300000);

        // The dead writer's lock is gone with it, and its leftovers are cleared.
        auto survivor = open();
        survivor->setObject(QStringLiteral("after"), true);
        QVERIFY(survivor->synchronize());
        QCOMPARE(survivor->integerForKey(QStringLiteral("kcount")), rounds);
        QCOMPARE(entriesStartingWith(dir(), suite + QStringLiteral(".plist.")),
                 QStringList{suite + QStringLiteral(".plist.lock")});
    }

    void corruptFileIsKeptAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("truncated xml")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Units</key>");
        QTest::newRow("array at the top") << PropertyList::toXml(QVariantList{qlonglong(1)});
        QTest::newRow("empty") << QByteArray();
    }

    void corruptFileIsKeptAside() {
        QFETCH(QByteArray, content);
        const QString aside = suite + QStringLiteral(".plist.corrupt-");
        const QRegularExpression warning(
            QStringLiteral("kept it as .*\\.plist\\.corrupt-\\d{8}T\\d{6}Z"));
        QVERIFY(writeBytes(file(), content));
        QTest::ignoreMessage(QtWarningMsg, warning);
        auto defaults = open();
        QVERIFY(!defaults->objectForKey(QStringLiteral("Units")).isValid());
        QCOMPARE(entriesStartingWith(dir(), aside).size(), 1);
        QCOMPARE(readBytes(dir() + QLatin1Char('/') + entriesStartingWith(dir(), aside).first()),
                 content);
        // The suite is usable again at once, even with nothing to write.
        QVERIFY(defaults->synchronize());
        QVERIFY(PropertyList::parse(readBytes(file())));

        // A second damaged file is kept next to the first, never over it.
        QVERIFY(writeBytes(file(), content + "second"));
        defaults->setObject(QStringLiteral("helperInstalled"), true);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(defaults->synchronize());
        QSet<QByteArray> kept;
        for (const QString& name : entriesStartingWith(dir(), aside)) {
            kept.insert(readBytes(dir() + QLatin1Char('/') + name));
        }
        QCOMPARE(kept, (QSet<QByteArray>{content, content + "second"}));
        QCOMPARE(parsedFile(file()), (QVariantMap{{QStringLiteral("helperInstalled"), true}}));
    }

    void fileAndFolderArePrivate() {
        const QString folder = dir() + QStringLiteral("/new/config");
        const mode_t oldMask = ::umask(0);
        auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
        auto defaults = UserDefaults::openSuite(suite, folder);
        QCOMPARE(permissionBits(folder), mode_t(0700));
        defaults->setObject(QStringLiteral("a"), 1);
        QVERIFY(defaults->synchronize());
        QCOMPARE(permissionBits(defaults->filePath()), mode_t(0600));
        // A file someone loosened is tightened on the next write.
        QVERIFY(::chmod(QFile::encodeName(defaults->filePath()).constData(), 0644) == 0);
        defaults->setObject(QStringLiteral("a"), 2);
        QVERIFY(defaults->synchronize());
        QCOMPARE(permissionBits(defaults->filePath()), mode_t(0600));
        QCOMPARE(permissionBits(defaults->filePath() + QStringLiteral(".lock")), mode_t(0600));
    }

    void failedSynchronizeKeepsPendingChanges() {
        const QString folder = dir() + QStringLiteral("/config");
        auto defaults = UserDefaults::openSuite(suite, folder);
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeBytes(folder, "not a folder"));
        defaults->setObject(QStringLiteral("AppVersion"), 1.5);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Cannot save settings")));
        QVERIFY(!defaults->synchronize());
        QCOMPARE(defaults->doubleForKey(QStringLiteral("AppVersion")), 1.5);
        // Once the folder can be made again the kept change is written.
        QVERIFY(QFile::remove(folder));
        QVERIFY(defaults->synchronize());
        QCOMPARE(UserDefaults::openSuite(suite, folder)->doubleForKey(QStringLiteral("AppVersion")),
                 1.5);
    }

    // A process that holds the lock and never lets go costs one bounded wait
    // per attempt; the change is written once the lock is free again.
    void stuckLockHolderOnlyDelaysTheWrite() {
        auto defaults = open();
        const int holder = ::open(QFile::encodeName(file() + QStringLiteral(".lock")).constData(),
                                  O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
        auto release = qScopeGuard([holder] { ::close(holder); });
        defaults->setObject(QStringLiteral("Units"), QVariantList{1, 0});
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Cannot save settings.*locked")));
        QVERIFY(!defaults->synchronize());
        QVERIFY(!QFile::exists(file()));

        release.dismiss();
        ::close(holder);
        defaults->setObject(QStringLiteral("Sections"), QVariantList{1, 0, 1});
        QVERIFY(defaults->synchronize());
        QCOMPARE(parsedFile(file()),
                 (QVariantMap{{QStringLiteral("Units"), QVariantList{1LL, 0LL}},
                              {QStringLiteral("Sections"), QVariantList{1LL, 0LL, 1LL}}}));
    }
};

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
