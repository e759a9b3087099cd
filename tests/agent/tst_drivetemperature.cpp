#include "DriveTemperature.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "ata/SmartReaderAtaSmartPlatform.h"
#include "profile/MachineProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

// "4:194:41 ..." as attribute triples [slot, attribute number, value].
QVariantList attributes(const QString& triples) {
    QVariantList list;
    for (const QString& triple : triples.split(' ', Qt::SkipEmptyParts)) {
        list.append(QVariant(QVariantList{triple.section(':', 0, 0).toLongLong(),
                                          triple.section(':', 1, 1).toLongLong(),
                                          triple.section(':', 2, 2).toLongLong()}));
    }
    return list;
}

// A drive of the given handle; `refused` names the one step it fails, if any.
// "standby" instead of a step puts the drive to rest.
QVariant drive(qlonglong handle, const QString& triples = "13:194:38", const char* refused = "") {
    QVariantMap map{{"handle", handle}, {"attributes", attributes(triples)}};
    if (*refused) {
        map.insert(refused, qstrcmp(refused, "standby") == 0);
    }
    return map;
}

bool writeTo(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QVariantList recordedDrives(const QString& file) {
    return MachineProfile::fromFile(QStringLiteral(ONDARA_TEST_DATA_DIR "/") + file)->drives();
}

const QByteArray opening = "Opening SMART Connection.\n";
const QByteArray established = "SMART Connection successfully established.\n";
const QByteArray collecting = "Collecting SMART Data...\n";
const QByteArray fullSetUp = opening + established + collecting;

QByteArray noPlugIn(int handle, const char* code = "e00002c7") {
    return "Couldn't create PlugInInterface for drive " + QByteArray::number(handle) +
           ". Trying with next one. Error: " + code + "\n";
}

QByteArray initError(int status) {
    return "Error in initSMART(): " + QByteArray::number(status) + " \n";
}

// One of the unit's streams, in memory.
struct Stream {
    Stream() { file = open_memstream(&buffer, &size); }
    ~Stream() {
        std::fclose(file);
        std::free(buffer);
    }
    // Everything written since the last call.
    QByteArray take() {
        std::fflush(file);
        const QByteArray text(buffer + taken, qsizetype(size - taken));
        taken = size;
        return text;
    }
    char* buffer = nullptr;
    size_t size = 0;
    size_t taken = 0;
    FILE* file;
};

} // namespace

class TestDriveTemperature : public QObject {
    Q_OBJECT

    std::unique_ptr<Stream> out;
    std::unique_ptr<Stream> err;

    std::shared_ptr<ProfileAtaSmartPlatform> useDrives(const QVariantList& drives) {
        auto platform = std::make_shared<ProfileAtaSmartPlatform>(drives);
        platform->recordRequests();
        setAtaSmartPlatform(platform);
        return platform;
    }

private Q_SLOTS:
    void init() {
        out = std::make_unique<Stream>();
        err = std::make_unique<Stream>();
        setDriveTemperatureStreams(out->file, err->file);
    }
    void cleanup() {
        setAtaSmartPlatform(nullptr);
        setDriveTemperatureStreams(nullptr, nullptr);
    }

    void temperatureSlot_data() {
        QTest::addColumn<QString>("triples");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<int>("slotAfter");
        QTest::newRow("slot 4, found by the scan") << "0:1:100 4:194:41" << 41 << 4;
        QTest::newRow("first slot in table order") << "9:194:50 4:194:41" << 41 << 4;
        QTest::newRow("cached slot 13 before the scan") << "4:194:41 13:194:45" << 45 << 13;
        QTest::newRow("first slot") << "0:194:30" << 30 << 0;
        QTest::newRow("last slot") << "29:194:33" << 33 << 29;
        QTest::newRow("value is unsigned") << "13:194:255" << 255 << 13;
        QTest::newRow("no attribute 194: -1, cache kept") << "13:190:62 2:195:40" << -1 << 13;
    }
    void temperatureSlot() {
        QFETCH(QString, triples);
        useDrives({drive(100, triples)});
        QTEST(hddTemp(), "temperature");
        QTEST(temperatureRegIndex, "slotAfter");
    }

    void setUp_data() {
        QTest::addColumn<QVariantList>("drives");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<QString>("requests"); // empty: not checked
        QTest::addColumn<bool>("collected");

        QTest::newRow("every plug-in refused")
            << QVariantList{drive(6659, "", "plugin"), drive(6915, "13:194:38", "plugin")} << 0
            << opening + established + noPlugIn(6659) + noPlugIn(6915) + initError(4)
            << QByteArray("No ATA devices were found.\n") << "search, plug-in 6659, plug-in 6915"
            << false;
        QTest::newRow("the first drive with an interface")
            << QVariantList{drive(6659, "13:194:38", "interface"), drive(6915, "13:194:40"),
                            drive(7171)}
            << 40
            << opening + established +
                   "Couldn't obtain Interface for drive 6659. Trying with next one.\n" + collecting
            << QByteArray()
            << "search, plug-in 6659, interface 6659, release 6659, plug-in 6915, interface 6915, "
               "off-line 6915, power 6915, read 6915"
            << true;
        QTest::newRow("drive in standby is not woken")
            << QVariantList{drive(6659, "13:194:38", "standby")} << 0 << fullSetUp << QByteArray()
            << "search, plug-in 6659, interface 6659, off-line 6659, power 6659" << true;
        QTest::newRow("off-line collection refused")
            << QVariantList{drive(6659, "13:194:38", "offline")} << 0 << fullSetUp + initError(-2)
            << QByteArray("Error collecting SMART data.\n") << "" << false;
        QTest::newRow("data block unreadable")
            << QVariantList{drive(6659, "13:194:38", "read")} << -3 << fullSetUp
            << QByteArray("Error retrieving SMART Data structure.\n") << "" << true;
        QTest::newRow("recorded laptop drive after a card reader")
            << recordedDrives("laptop-drive.plist") << 36
            << opening + established + noPlugIn(4097) + collecting << QByteArray() << "" << true;
        QTest::newRow("recorded drive without attribute 194")
            << recordedDrives("drive-without-194.plist") << -1
            << opening + established + noPlugIn(4097) + collecting << QByteArray() << "" << true;
    }
    void setUp() {
        QFETCH(QVariantList, drives);
        QFETCH(QString, requests);
        const auto platform = useDrives(drives);
        QTEST(hddTemp(), "result");
        QTEST(out->take(), "output");
        QTEST(err->take(), "errors");
        if (!requests.isEmpty()) {
            QCOMPARE(platform->requests().join(", "), requests);
        }
        QCOMPARE(smartConnectionOpen, true);
        QTEST(smartDataCollected, "collected");
    }

    // After the first set-up later readings set nothing up again: no
    // messages, no search, and the off-line collection started at most once.
    void laterReadings_data() {
        QTest::addColumn<QVariant>("entry");
        QTest::addColumn<int>("later");
        QTest::addColumn<QStringList>("perReading");
        const QStringList reading{"power 6659", "read 6659"};
        QTest::newRow("no ATA devices") << drive(6659, "13:194:38", "plugin") << 0 << QStringList();
        QTest::newRow("collection refused") << drive(6659, "13:194:38", "offline") << 38 << reading;
        QTest::newRow("collection started") << drive(6659) << 38 << reading;
        // Asked again each time, so a drive that woke is read at once.
        QTest::newRow("standby") << drive(6659, "13:194:38", "standby") << 0
                                 << QStringList{"power 6659"};
    }
    void laterReadings() {
        QFETCH(QVariant, entry);
        QFETCH(int, later);
        QFETCH(QStringList, perReading);
        const auto platform = useDrives({entry});
        hddTemp();
        out->take();
        err->take();
        const QStringList requests = platform->requests();
        for (int call = 0; call < 3; ++call) {
            QCOMPARE(hddTemp(), later);
        }
        QCOMPARE(out->take() + err->take(), QByteArray());
        QCOMPARE(platform->requests(), requests + perReading + perReading + perReading);
        if (smartDataCollected) {
            initSMART();
            QCOMPARE(platform->requests().count("off-line 6659"), 1);
        }
    }

    // A failed device search no longer ends the process: it is no usable
    // drive, and the next reading searches again.
    void searchFailure_data() {
        QTest::addColumn<AtaSmartPlatform::SearchFailure>("failure");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("master port")
            << AtaSmartPlatform::SearchFailure::masterPort << QByteArray("IOMasterPort failed.\n");
        QTest::newRow("matching") << AtaSmartPlatform::SearchFailure::matching
                                  << QByteArray("IOServiceMatching failed.\n");
        QTest::newRow("matching services") << AtaSmartPlatform::SearchFailure::matchingServices
                                           << QByteArray("IOServiceGetMatchingServices failed.\n");
    }
    void searchFailure() {
        QFETCH(AtaSmartPlatform::SearchFailure, failure);
        QFETCH(QByteArray, message);
        const auto platform = useDrives({drive(6659)});
        platform->setSearchFailure(failure);
        QCOMPARE(initSMART(), 4);
        QCOMPARE(hddTemp(), 0);
        QCOMPARE(out->take(), opening + opening + initError(4));
        QCOMPARE(err->take(), message + message);
        QCOMPARE(smartConnectionOpen, false);

        platform->setSearchFailure(std::nullopt);
        QCOMPARE(hddTemp(), 38);
        QCOMPARE(out->take(), fullSetUp);
    }

    // The SMART reader in its place: a stand-in that notes each request in
    // "calls" and prints the recorded answer for it, answers/<word>-<index>
    // (or the one for the request's n-th time, <word>-<index>.<n>, where there
    // is one); an answer "HANG" makes it hang, "EXIT n" exit with status n.
    // Disks are sdb (8:16, drive 2064), with sda (8:0, drive 2048) before it
    // when asked for.
    void throughTheReader_data() {
        QTest::addColumn<bool>("twoDisks");
        QTest::addColumn<QString>("reader");      // how it lies, if not as installed
        QTest::addColumn<QStringList>("answers"); // name, then its text
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<QString>("calls");

        const auto answer = [](const char* disk, const QByteArray& lines) {
            return QStringLiteral("ondara-smart-reader 1\ndisk %1\n").arg(disk) + lines;
        };
        QFile recorded(QStringLiteral(ONDARA_TEST_DATA_DIR "/laptop-drive.read"));
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QString laptop = QString::fromLatin1(recorded.readAll());
        const QString collected = answer("8:16", "collect 00000000\n");
        const QByteArray noDrives = "No ATA devices were found.\n";
        const QByteArray afterSearch = opening + established;

        QTest::newRow("the ATA drive after another disk")
            << true << ""
            << QStringList{"read-0",    answer("8:0", "power e00002c7\ndata e00002c7\n"),
                           "read-1",    laptop,
                           "collect-1", collected}
            << 36 << afterSearch + noPlugIn(2048) + collecting << QByteArray()
            << "read 0, read 1, collect 1, read 1";
        QTest::newRow("a drive in standby is not woken")
            << false << ""
            << QStringList{"read-0", answer("8:16", "power 00000000 standby\n"), "collect-0",
                           collected}
            << 0 << fullSetUp << QByteArray() << "read 0, collect 0, read 0";
        // The search fails: the reader can't be trusted, or the disks listed.
        const std::pair<const char*, QByteArray> searchFailures[] = {
            {"missing", "IOMasterPort failed.\n"},
            {"group-writable", "IOServiceMatching failed.\n"},
            {"link", "IOServiceMatching failed.\n"},
            {"no disk list", "IOServiceGetMatchingServices failed.\n"}};
        for (const auto& [reader, message] : searchFailures) {
            QTest::addRow("reader %s", reader)
                << false << reader << QStringList() << 0 << opening + initError(4) << message << "";
        }
        // The disk refuses its plug-in with a code, and no drive is left.
        const struct {
            const char* row;
            const char* reader;
            QString answer;
            const char* code;
        } refusals[] = {
            {"this user may not run the reader", "not runnable", "", "e00002c1"},
            {"the disk's node doesn't open", "", answer("8:16", "open e00002c1\n"), "e00002c1"},
            {"reader hangs", "", "HANG", "e00002d6"},
            {"answer not understood", "", "Temperature: 36\n", "e00002bc"},
            {"reader fails", "", "EXIT 1", "e00002bc"},
            {"the index names no disk any more", "", "EXIT 3", "e00002c0"},
            {"another disk answers", "", answer("8:0", "power 00000000 standby\n"), "e00002c0"}};
        for (const auto& refusal : refusals) {
            const bool runs = refusal.answer.size() > 0;
            QTest::newRow(refusal.row)
                << false << refusal.reader
                << (runs ? QStringList{"read-0", refusal.answer} : QStringList()) << 0
                << afterSearch + noPlugIn(2064, refusal.code) + initError(4) << noDrives
                << (runs ? "read 0" : "");
        }
        QTest::newRow("an ATA drive without SMART data")
            << false << ""
            << QStringList{"read-0", answer("8:16", "power 00000000 active\ndata e00002ca\n")} << 0
            << afterSearch + "Couldn't obtain Interface for drive 2064. Trying with next one.\n" +
                   initError(4)
            << noDrives << "read 0";
        QTest::newRow("off-line collection refused")
            << false << ""
            << QStringList{"read-0", laptop, "collect-0", answer("8:16", "collect e00002ca\n")} << 0
            << fullSetUp + initError(-2) << QByteArray("Error collecting SMART data.\n")
            << "read 0, collect 0";
        QTest::newRow("data unreadable later")
            << false << ""
            << QStringList{"read-0",    laptop,
                           "collect-0", collected,
                           "read-0.2",  answer("8:16", "power 00000000 active\ndata e00002ca\n")}
            << -3 << fullSetUp << QByteArray("Error retrieving SMART Data structure.\n")
            << "read 0, collect 0, read 0";
    }
    void throughTheReader() {
        QFETCH(bool, twoDisks);
        QFETCH(QString, reader);
        QFETCH(QStringList, answers);
        QTemporaryDir scratch;
        QDir root(scratch.path());
        QVERIFY(root.mkpath("sys/block/sdb") && root.mkpath("libexec/answers"));
        QVERIFY(writeTo(root.filePath("sys/block/sdb/dev"), "8:16\n"));
        if (twoDisks) {
            QVERIFY(root.mkpath("sys/block/sda"));
            QVERIFY(writeTo(root.filePath("sys/block/sda/dev"), "8:0\n"));
        }
        if (reader == QLatin1String("no disk list")) {
            QVERIFY(QDir(root.filePath("sys/block")).removeRecursively());
        }
        for (qsizetype at = 0; at + 1 < answers.size(); at += 2) {
            QVERIFY(writeTo(root.filePath("libexec/answers/" + answers[at]),
                            answers[at + 1].toLatin1()));
        }
        const QString path = root.filePath("libexec/ondara-smart-reader");
        const QString script = reader == QLatin1String("link") ? root.filePath("reader") : path;
        if (reader != QLatin1String("missing")) {
            QVERIFY(writeTo(script, "#!/bin/sh\n"
                                    "PATH=/usr/bin:/bin\n"
                                    "here=$(dirname \"$0\")\n"
                                    "echo \"$1 $2\" >>\"$here/calls\"\n"
                                    "n=$(grep -c -x \"$1 $2\" \"$here/calls\")\n"
                                    "answer=\"$here/answers/$1-$2\"\n"
                                    "[ -f \"$answer.$n\" ] && answer=\"$answer.$n\"\n"
                                    "case \"$(head -n 1 \"$answer\")\" in\n"
                                    "HANG) exec sleep 30 ;;\n"
                                    "EXIT*) exit \"$(cut -d ' ' -f 2 \"$answer\")\" ;;\n"
                                    "esac\n"
                                    "exec cat \"$answer\"\n"));
            QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
            if (reader == QLatin1String("group-writable")) {
                mode |= QFile::WriteGroup | QFile::ExeGroup;
            } else if (reader == QLatin1String("not runnable")) {
                mode = QFile::ReadOwner | QFile::WriteOwner;
            }
            QVERIFY(QFile::setPermissions(script, mode));
        }
        if (reader == QLatin1String("link")) {
            QVERIFY(QFile::link(script, path));
        }
        // Only the hanging reader runs into the limit, and soon.
        SmartReaderDrive::Limits limits;
        if (answers.contains(QStringLiteral("HANG"))) {
            limits = {std::chrono::milliseconds(100), std::chrono::milliseconds(100)};
        }
        setAtaSmartPlatform(std::make_shared<SmartReaderAtaSmartPlatform>(
            path, root.filePath(QStringLiteral("sys")), limits));

        QTEST(hddTemp(), "result");
        QTEST(out->take(), "output");
        QTEST(err->take(), "errors");
        QFile calls(root.filePath(QStringLiteral("libexec/calls")));
        const QString called = calls.open(QIODevice::ReadOnly)
                                   ? QString::fromLatin1(calls.readAll()).trimmed()
                                   : QString();
        QTEST(called.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QStringLiteral(", ")),
              "calls");
    }
};

QTEST_GUILESS_MAIN(TestDriveTemperature)
#include "tst_drivetemperature.moc"
