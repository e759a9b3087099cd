#include "OndaraNames.h"
#include "PropertyList.h"
#include "defaults/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <limits>
#include <sys/stat.h>

namespace {

const QString suite = QStringLiteral("test.suite");

// QVariant's own == calls true equal to 1; the store must keep the kinds apart.
bool sameTree(const QVariant& a, const QVariant& b) {
    if (a.typeId() != b.typeId()) {
        return false;
    }
    if (PropertyList::isArray(a)) {
        const QVariantList left = a.toList();
        const QVariantList right = b.toList();
        return left.size() == right.size() &&
               std::equal(left.cbegin(), left.cend(), right.cbegin(), sameTree);
    }
    if (PropertyList::isDictionary(a)) {
        const QVariantMap left = a.toMap();
        const QVariantMap right = b.toMap();
        return left.keys() == right.keys() &&
               std::equal(left.cbegin(), left.cend(), right.cbegin(), sameTree);
    }
    return a == b;
}

QString describe(const QVariant& value) {
    QString text;
    QDebug(&text) << value;
    return text;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

std::optional<QVariantMap> parsedFile(const QString& path) {
    const auto value = PropertyList::parse(readBytes(path));
    if (!value || !PropertyList::isDictionary(*value)) {
        return std::nullopt;
    }
    return value->toMap();
}

mode_t permissionBits(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return mode_t(-1);
    }
    return info.st_mode & 07777;
}

QStringList entriesStartingWith(const QString& directory, const QString& prefix) {
    QStringList found;
    const QStringList entries =
        QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.startsWith(prefix)) {
            found.append(QDir(directory).filePath(entry));
        }
    }
    return found;
}

// The entry of each selection key as the agent lays it out in the suite.
QVariantMap storeLayouts() {
    const QVariantList cpu{QStringLiteral("CPU"), qlonglong(0x54433050), qlonglong(0), true};
    const QVariantList drive{QStringLiteral("Drive"), qlonglong(0xFFFFFFFFu), qlonglong(2), true};
    return {
        {QStringLiteral("HelperVersion"), 2.1},
        {QStringLiteral("SensorsSaved"), true},
        {QStringLiteral("TempSensors"),
         QVariantMap{{QStringLiteral("CPU"), cpu}, {QStringLiteral("HDD"), drive}}},
        {QStringLiteral("FanSensors"),
         QVariantMap{{QStringLiteral("0"),
                      QVariantList{QStringLiteral("Left side"), qlonglong(6156), true}},
                     {QStringLiteral("3"),
                      QVariantList{QStringLiteral("Exhaust"), qlonglong(5927), false}}}},
        {QStringLiteral("MemSensors"),
         QVariantMap{{QStringLiteral("Total"), QVariantList{qlonglong(0), false}},
                     {QStringLiteral("Compressed"), QVariantList{qlonglong(6), true}}}},
        {QStringLiteral("MachineSensors"),
         QVariantMap{{QStringLiteral("HDD"),
                      QVariantList{QVariantList{qlonglong(0x5448304Fu), QStringLiteral("TH0O"),
                                                QStringLiteral("HDD Proximity"), false},
                                   QVariantList{qlonglong(0xFFFFFFFFu), QStringLiteral("SMART"),
                                                QStringLiteral("SMART"), true}}},
                     {QStringLiteral("GPU"), QVariantList{}}}},
        {QStringLiteral("Sections"), QVariantList{qlonglong(1), qlonglong(0), qlonglong(1)}},
        {QStringLiteral("Units"), QVariantList{qlonglong(1), qlonglong(0)}},
        {QStringLiteral("helperInstalled"), true},
        {QStringLiteral("AppVersion"), 1.0},
        {QStringLiteral("lastSelectedTab"), QStringLiteral("FansTab")},
    };
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void openSuiteChoosesFolder_data();
    void openSuiteChoosesFolder();
    void openSuiteRefusesUnusableNamesAndFolders_data();
    void openSuiteRefusesUnusableNamesAndFolders();

    void typedReadsGiveDefaultsForAbsentAndWrongTypes_data();
    void typedReadsGiveDefaultsForAbsentAndWrongTypes();
    void storeLayoutsSurviveTheFile();
    void onlyPropertyListValuesAreStored();
    void removalReachesOtherInstances();
    void synchronizeMergesWithOtherWriters();
    void destructionSavesUnsynchronizedChanges();

    void concurrentWritersLoseNothing();
    void killedWriterLeavesConsistentFile();
    void corruptFileIsKeptAside_data();
    void corruptFileIsKeptAside();
    void fileAndFolderArePrivate();
    void failedSynchronizeKeepsPendingChanges();

private:
    std::unique_ptr<QTemporaryDir> tempDir;
    QString dir() const { return tempDir->path(); }
    std::unique_ptr<UserDefaults> open() const { return UserDefaults::openSuite(suite, dir()); }
};

void TestUserDefaults::init() {
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
}

void TestUserDefaults::openSuiteChoosesFolder_data() {
    QTest::addColumn<QString>("xdgConfigHome");
    QTest::addColumn<QString>("expectedFolder");
    QTest::newRow("XDG_CONFIG_HOME") << QStringLiteral("/xdg") << QStringLiteral("/xdg");
    QTest::newRow("unset") << QString() << QStringLiteral("/home/.config");
    QTest::newRow("relative is ignored")
        << QStringLiteral("rel") << QStringLiteral("/home/.config");
}

void TestUserDefaults::openSuiteChoosesFolder() {
    QFETCH(QString, xdgConfigHome);
    QFETCH(QString, expectedFolder);
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (hadXdg) {
            qputenv("XDG_CONFIG_HOME", oldXdg);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    });
    qputenv("HOME", QFile::encodeName(dir() + QStringLiteral("/home")));
    if (xdgConfigHome.isEmpty()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else if (QDir::isAbsolutePath(xdgConfigHome)) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir() + xdgConfigHome));
    } else {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdgConfigHome));
    }

    const auto defaults = UserDefaults::openSuite(OndaraNames::suiteName);
    QVERIFY(defaults);
    const QString folder = dir() + expectedFolder;
    QCOMPARE(defaults->filePath(),
             folder + QLatin1Char('/') + OndaraNames::suiteName + QStringLiteral(".plist"));
    QVERIFY(QFileInfo(folder).isDir());

    // The directory argument wins over the environment.
    const auto explicitFolder = UserDefaults::openSuite(suite, dir() + QStringLiteral("/given"));
    QVERIFY(explicitFolder);
    QCOMPARE(explicitFolder->filePath(), dir() + QStringLiteral("/given/test.suite.plist"));
}

void TestUserDefaults::openSuiteRefusesUnusableNamesAndFolders_data() {
    QTest::addColumn<QString>("suiteName");
    QTest::addColumn<QString>("folder");
    QTest::newRow("empty name") << QString() << QString();
    QTest::newRow("name with slash") << QStringLiteral("../escape") << QString();
    QTest::newRow("dot dot") << QStringLiteral("..") << QString();
    QTest::newRow("folder under a file") << suite << QStringLiteral("file/sub");
}

void TestUserDefaults::openSuiteRefusesUnusableNamesAndFolders() {
    QFETCH(QString, suiteName);
    QFETCH(QString, folder);
    QVERIFY(writeBytes(dir() + QStringLiteral("/file"), "x"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("settings suite")));
    QVERIFY(!UserDefaults::openSuite(suiteName, dir() + QLatin1Char('/') + folder));
}

void TestUserDefaults::typedReadsGiveDefaultsForAbsentAndWrongTypes_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("asDouble");
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<qlonglong>("asInteger");
    QTest::addColumn<QString>("asString");
    QTest::addColumn<QVariantList>("asArray");
    QTest::addColumn<QVariantMap>("asDictionary");

    const QVariantList sections{qlonglong(1), qlonglong(1), qlonglong(1)};
    const QVariantMap map{{QStringLiteral("a"), qlonglong(1)}};
    const qlonglong max = std::numeric_limits<qlonglong>::max();
    const qlonglong min = std::numeric_limits<qlonglong>::min();
    QTest::newRow("absent") << QVariant() << 0.0 << false << 0LL << QString() << QVariantList()
                            << QVariantMap();
    QTest::newRow("true") << QVariant(true) << 1.0 << true << 1LL << QString() << QVariantList()
                          << QVariantMap();
    QTest::newRow("false") << QVariant(false) << 0.0 << false << 0LL << QString() << QVariantList()
                           << QVariantMap();
    QTest::newRow("integer") << QVariant(3) << 3.0 << true << 3LL << QString() << QVariantList()
                             << QVariantMap();
    QTest::newRow("zero") << QVariant(0) << 0.0 << false << 0LL << QString() << QVariantList()
                          << QVariantMap();
    QTest::newRow("sensor code") << QVariant(uint(0xFFFFFFFFu)) << 4294967295.0 << true
                                 << 4294967295LL << QString() << QVariantList() << QVariantMap();
    QTest::newRow("version") << QVariant(2.1) << 2.1 << true << 2LL << QString() << QVariantList()
                             << QVariantMap();
    QTest::newRow("negative real")
        << QVariant(-1.9) << -1.9 << true << -1LL << QString() << QVariantList() << QVariantMap();
    QTest::newRow("huge real") << QVariant(1e300) << 1e300 << true << max << QString()
                               << QVariantList() << QVariantMap();
    QTest::newRow("huge negative real") << QVariant(-1e300) << -1e300 << true << min << QString()
                                        << QVariantList() << QVariantMap();
    QTest::newRow("numeric text") << QVariant(QStringLiteral("2.5")) << 0.0 << false << 0LL
                                  << QStringLiteral("2.5") << QVariantList() << QVariantMap();
    QTest::newRow("Sections as text") << QVariant(QStringLiteral("1,1,1")) << 0.0 << false << 0LL
                                      << QStringLiteral("1,1,1") << QVariantList() << QVariantMap();
    QTest::newRow("empty text") << QVariant(QStringLiteral("")) << 0.0 << false << 0LL
                                << QStringLiteral("") << QVariantList() << QVariantMap();
    QTest::newRow("array") << QVariant(sections) << 0.0 << false << 0LL << QString() << sections
                           << QVariantMap();
    QTest::newRow("dictionary") << QVariant(map) << 0.0 << false << 0LL << QString()
                                << QVariantList() << map;
}

void TestUserDefaults::typedReadsGiveDefaultsForAbsentAndWrongTypes() {
    QFETCH(QVariant, stored);
    QFETCH(double, asDouble);
    QFETCH(bool, asBool);
    QFETCH(qlonglong, asInteger);
    QFETCH(QString, asString);
    QFETCH(QVariantList, asArray);
    QFETCH(QVariantMap, asDictionary);

    const QString key = QStringLiteral("Sections");
    auto writer = open();
    QVERIFY(writer);
    if (stored.isValid()) {
        writer->setObject(key, stored);
    }
    QVERIFY(writer->synchronize());
    const auto reader = open();
    QVERIFY(reader);
    // The writer's memory and a fresh reader of the file answer alike.
    for (const UserDefaults* defaults : {writer.get(), reader.get()}) {
        QCOMPARE(defaults->doubleForKey(key), asDouble);
        QCOMPARE(defaults->boolForKey(key), asBool);
        QCOMPARE(defaults->integerForKey(key), asInteger);
        QCOMPARE(defaults->stringForKey(key), asString);
        QCOMPARE(defaults->stringForKey(key).isNull(), asString.isNull());
        QCOMPARE(defaults->arrayForKey(key), asArray);
        QCOMPARE(defaults->dictionaryForKey(key), asDictionary);
        QCOMPARE(defaults->objectForKey(key).isValid(), stored.isValid());
    }
}

void TestUserDefaults::storeLayoutsSurviveTheFile() {
    const QVariantMap layouts = storeLayouts();
    {
        auto writer = open();
        QVERIFY(writer);
        for (auto it = layouts.cbegin(); it != layouts.cend(); ++it) {
            writer->setObject(it.key(), it.value());
        }
        // Qt's own numeric kinds are stored as the canonical integer.
        writer->setObject(QStringLiteral("Units"), QVariantList{1, 0u});
        QVERIFY(writer->synchronize());
    }
    const auto reader = open();
    QVERIFY(reader);
    for (auto it = layouts.cbegin(); it != layouts.cend(); ++it) {
        const QVariant read = reader->objectForKey(it.key());
        QVERIFY2(sameTree(read, it.value()),
                 qPrintable(it.key() + QStringLiteral(": ") + describe(read)));
    }
    const QVariantList drive = reader->dictionaryForKey(QStringLiteral("TempSensors"))
                                   .value(QStringLiteral("HDD"))
                                   .toList();
    QCOMPARE(drive.value(1).toLongLong(), qlonglong(OndaraNames::driveSensorCode));
    QCOMPARE(quint32(drive.value(1).toLongLong()), OndaraNames::driveSensorCode);

    // Other tools read the suite too: the kinds must be visible in the XML.
    const QByteArray xml = readBytes(reader->filePath());
    QVERIFY(xml.contains("<integer>4294967295</integer>"));
    QVERIFY(xml.contains("<key>SensorsSaved</key>"));
    QVERIFY(xml.contains("<real>2.1"));
}

void TestUserDefaults::onlyPropertyListValuesAreStored() {
    auto defaults = open();
    QVERIFY(defaults);
    defaults->setObject(QStringLiteral("kept"), QStringLiteral("old"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Not storing key \"kept\"")));
    defaults->setObject(QStringLiteral("kept"), QVariantList{1, QVariant(QPoint(1, 2))});
    QCOMPARE(defaults->stringForKey(QStringLiteral("kept")), QStringLiteral("old"));

    // An invalid value removes the key, as a nil object does.
    defaults->setObject(QStringLiteral("kept"), QVariant());
    QVERIFY(!defaults->objectForKey(QStringLiteral("kept")).isValid());
    QVERIFY(defaults->synchronize());
    QVERIFY(parsedFile(defaults->filePath())->isEmpty());
}

void TestUserDefaults::removalReachesOtherInstances() {
    auto first = open();
    auto second = open();
    QVERIFY(first && second);
    first->setObject(QStringLiteral("a"), 1);
    first->setObject(QStringLiteral("b"), 2);
    QVERIFY(first->synchronize());
    QVERIFY(second->synchronize());
    QCOMPARE(second->integerForKey(QStringLiteral("a")), 1);

    first->removeObjectForKey(QStringLiteral("a"));
    QVERIFY(!first->objectForKey(QStringLiteral("a")).isValid());
    QVERIFY(first->synchronize());
    QVERIFY(second->synchronize());
    QVERIFY(!second->objectForKey(QStringLiteral("a")).isValid());
    QCOMPARE(second->integerForKey(QStringLiteral("b")), 2);
    QCOMPARE(parsedFile(first->filePath())->keys(), QStringList{QStringLiteral("b")});
}

void TestUserDefaults::synchronizeMergesWithOtherWriters() {
    auto agent = open();
    auto app = open();
    QVERIFY(agent && app);
    agent->setObject(QStringLiteral("Units"), QVariantList{1, 0});
    QVERIFY(agent->synchronize());

    // The application never read "Units"; its write must not drop it.
    app->setObject(QStringLiteral("AppVersion"), 1.0);
    QVERIFY(app->synchronize());
    QCOMPARE(app->arrayForKey(QStringLiteral("Units")), (QVariantList{1LL, 0LL}));

    // Keys this object did not change follow the file, the others win.
    agent->setObject(QStringLiteral("Sections"), QVariantList{1, 1, 0});
    app->setObject(QStringLiteral("Units"), QVariantList{0, 1});
    QVERIFY(app->synchronize());
    QVERIFY(agent->synchronize());
    QCOMPARE(agent->doubleForKey(QStringLiteral("AppVersion")), 1.0);
    QCOMPARE(agent->arrayForKey(QStringLiteral("Units")), (QVariantList{0LL, 1LL}));

    // After synchronize the memory copy is the file.
    const auto onDisk = parsedFile(agent->filePath());
    QVERIFY(onDisk);
    QCOMPARE(onDisk->keys(), (QStringList{QStringLiteral("AppVersion"), QStringLiteral("Sections"),
                                          QStringLiteral("Units")}));
    for (auto it = onDisk->cbegin(); it != onDisk->cend(); ++it) {
        QVERIFY2(sameTree(agent->objectForKey(it.key()), it.value()), qPrintable(it.key()));
    }
}

void TestUserDefaults::destructionSavesUnsynchronizedChanges() {
    {
        auto widget = open();
        QVERIFY(widget);
        widget->setObject(QStringLiteral("lastSelectedTab"), QStringLiteral("MemTab"));
    }
    const auto reader = open();
    QVERIFY(reader);
    QCOMPARE(reader->stringForKey(QStringLiteral("lastSelectedTab")), QStringLiteral("MemTab"));
}

void TestUserDefaults::concurrentWritersLoseNothing() {
    constexpr int rounds = 150;
    QProcess first;
    QProcess second;
    for (QProcess* writer : {&first, &second}) {
        writer->setStandardOutputFile(QProcess::nullDevice());
        writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    first.start(QStringLiteral(DEFAULTS_WRITER_PATH),
                {dir(), suite, QStringLiteral("a"), QString::number(rounds)});
    second.start(QStringLiteral(DEFAULTS_WRITER_PATH),
                 {dir(), suite, QStringLiteral("b"), QString::number(rounds)});
    for (QProcess* writer : {&first, &second}) {
        QVERIFY(writer->waitForFinished(90000));
        QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer->exitCode(), 0);
    }

    const auto reader = open();
    QVERIFY(reader);
    for (const QString& prefix : {QStringLiteral("a"), QStringLiteral("b")}) {
        QCOMPARE(reader->integerForKey(prefix + QStringLiteral("count")), rounds);
        for (int i = 0; i < rounds; ++i) {
            QCOMPARE(reader->objectForKey(prefix + QString::number(i)), QVariant(qlonglong(i)));
        }
    }
    QVERIFY(entriesStartingWith(dir(), suite + QStringLiteral(".plist.tmp-")).isEmpty());
}

void TestUserDefaults::killedWriterLeavesConsistentFile() {
    constexpr int roundsBeforeKill = 25;
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Large writes so the kill is likely to land while a file is being written.
    writer.start(
        QStringLiteral(DEFAULTS_WRITER_PATH),
        {dir(), suite, QStringLiteral("k"), QStringLiteral("1000000"), QStringLiteral("300000")});
    QVERIFY(writer.waitForStarted());
    int roundsReported = 0;
    while (roundsReported < roundsBeforeKill) {
        if (!writer.canReadLine()) {
            QVERIFY2(writer.waitForReadyRead(30000), "the writer stopped reporting");
            continue;
        }
        writer.readLine();
        ++roundsReported;
    }
    writer.kill();
    QVERIFY(writer.waitForFinished());
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

    // The file parses and holds whole rounds only: round i wrote k<i> and count.
    const auto onDisk = parsedFile(dir() + QLatin1Char('/') + suite + QStringLiteral(".plist"));
    QVERIFY(onDisk);
    const qlonglong rounds = onDisk->value(QStringLiteral("kcount")).toLongLong();
    QVERIFY(rounds >= roundsBeforeKill);
    for (qlonglong i = 0; i < rounds; ++i) {
        QCOMPARE(onDisk->value(QStringLiteral("k") + QString::number(i)), QVariant(i));
    }
    QVERIFY(!onDisk->contains(QStringLiteral("k") + QString::number(rounds)));
    QCOMPARE(onDisk->value(QStringLiteral("kpayload")).toString().size(), 300000);

    // The dead writer's lock is gone with it, and its leftovers are cleared.
    auto survivor = open();
    QVERIFY(survivor);
    survivor->setObject(QStringLiteral("after"), true);
    QVERIFY(survivor->synchronize());
    QCOMPARE(survivor->integerForKey(QStringLiteral("kcount")), rounds);
    QVERIFY(entriesStartingWith(dir(), suite + QStringLiteral(".plist.tmp-")).isEmpty());
    QVERIFY(entriesStartingWith(dir(), suite + QStringLiteral(".plist.corrupt-")).isEmpty());
}

void TestUserDefaults::corruptFileIsKeptAside_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("Units = (1, 0)\n\x01\xfe");
    QTest::newRow("truncated xml")
        << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Units</key>");
    QTest::newRow("array at the top") << PropertyList::toXml(QVariantList{qlonglong(1)});
    QTest::newRow("empty") << QByteArray();
}

void TestUserDefaults::corruptFileIsKeptAside() {
    QFETCH(QByteArray, content);
    const QString file = dir() + QLatin1Char('/') + suite + QStringLiteral(".plist");
    const QString aside = suite + QStringLiteral(".plist.corrupt-");
    const QRegularExpression warning(
        QStringLiteral("kept it as .*\\.plist\\.corrupt-\\d{8}T\\d{6}Z"));
    QVERIFY(writeBytes(file, content));

    QTest::ignoreMessage(QtWarningMsg, warning);
    auto defaults = open();
    QVERIFY(defaults);
    QVERIFY(!defaults->objectForKey(QStringLiteral("Units")).isValid());
    QStringList kept = entriesStartingWith(dir(), aside);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(readBytes(kept.first()), content);

    // The suite is usable again at once, even with nothing to write.
    QVERIFY(defaults->synchronize());
    QCOMPARE(parsedFile(file), std::optional<QVariantMap>(QVariantMap()));

    // A second damaged file is kept next to the first, never over it.
    const QByteArray second = content + QByteArray("second");
    QVERIFY(writeBytes(file, second));
    defaults->setObject(QStringLiteral("helperInstalled"), true);
    QTest::ignoreMessage(QtWarningMsg, warning);
    QVERIFY(defaults->synchronize());
    kept = entriesStartingWith(dir(), aside);
    QCOMPARE(kept.size(), 2);
    QSet<QByteArray> contents;
    for (const QString& path : kept) {
        contents.insert(readBytes(path));
    }
    QCOMPARE(contents, (QSet<QByteArray>{content, second}));
    QCOMPARE(parsedFile(file),
             std::optional<QVariantMap>(QVariantMap{{QStringLiteral("helperInstalled"), true}}));
}

void TestUserDefaults::fileAndFolderArePrivate() {
    const QString folder = dir() + QStringLiteral("/new/config");
    const mode_t oldMask = ::umask(0);
    auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
    auto defaults = UserDefaults::openSuite(suite, folder);
    QVERIFY(defaults);
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

void TestUserDefaults::failedSynchronizeKeepsPendingChanges() {
    const QString folder = dir() + QStringLiteral("/config");
    auto defaults = UserDefaults::openSuite(suite, folder);
    QVERIFY(defaults);
    defaults->setObject(QStringLiteral("kept"), true);
    QVERIFY(defaults->synchronize());

    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(writeBytes(folder, "not a folder"));
    defaults->setObject(QStringLiteral("AppVersion"), 1.5);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot save settings")));
    QVERIFY(!defaults->synchronize());
    QCOMPARE(defaults->doubleForKey(QStringLiteral("AppVersion")), 1.5);

    // Once the folder can be made again the kept change is written.
    QVERIFY(QFile::remove(folder));
    QVERIFY(defaults->synchronize());
    const auto reader = UserDefaults::openSuite(suite, folder);
    QVERIFY(reader);
    QCOMPARE(reader->doubleForKey(QStringLiteral("AppVersion")), 1.5);
}

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
