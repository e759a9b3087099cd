#pragma once

// What the agent's tests share: test machines and captures of notifications,
// log and standard output.

#include "DriveTemperature.h"
#include "OndaraNames.h"
#include "SMCController.h"
#include "SMCKit.h"
#include "ata/ProfileAtaSmartPlatform.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "profile/MachineProfile.h"
#include "smc/ProfileSmcDriver.h"
#include "vm/ProfileVmStatisticsSource.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <unistd.h>

inline QString testDataPath(const QString& file) {
    return QStringLiteral(ONDARA_TEST_DATA_DIR "/") + file;
}

inline qlonglong codeOf(const QString& key) {
    return key == "SMART" ? 0xFFFFFFFFll : qlonglong(SMCKit::fourCharCode(key).value_or(0));
}

// A "TempSensors" entry; "SMART" stands for the drive.
inline QVariant tempEntry(const char* name, const QString& key, qlonglong position, bool active) {
    return QVariantList{name, codeOf(key), position, active};
}

// A candidate list from "TC0P=CPU_PROXIMITY* TC0H=CPU_HEATSINK" (* the chosen one).
inline QVariant candidates(const QString& text) {
    QVariantList list;
    for (const QString& item : text.split(' ')) {
        const QString key = item.section('=', 0, 0);
        list.append(QVariant(
            QVariantList{codeOf(key), key, item.section('=', 1).remove('*'), item.endsWith('*')}));
    }
    return list;
}

inline QVariantMap smcKey(const char* type, const QVariant& value) {
    return {{"type", QString::fromLatin1(type)}, {"value", value}};
}

// A machine described in one line: "TC0P=70" an sp78 key reading 70 °C,
// "TC0C=!" a key whose reads fail, "F0ID=-" no such key, "fans=N" fans 0..N-1
// ("Fan n", minimum 1000+n, maximum 5000+n), "smart=38" a drive at 38 °C,
// "refuses" a driver refusing every call, "service=false" no SMC service,
// "open=false" a service that won't open. Tokens apply in order.
inline MachineProfile describedMachine(const QString& description) {
    QVariantMap keys{{"FNum", smcKey("ui8 ", 0)}};
    QVariantMap smc;
    QVariantList drives;
    for (const QString& token : description.split(' ', Qt::SkipEmptyParts)) {
        const QString name = token.section('=', 0, 0);
        const QString value = token.section('=', 1);
        if (name == "fans") {
            keys["FNum"] = smcKey("ui8 ", value.toInt());
            for (int n = 0; n < value.toInt(); ++n) {
                keys[QString("F%1ID").arg(n)] = smcKey("{fds", QString("Fan %1").arg(n));
                keys[QString("F%1Mn").arg(n)] = smcKey("fpe2", 1000 + n);
                keys[QString("F%1Mx").arg(n)] = smcKey("fpe2", 5000 + n);
            }
        } else if (name == "smart") {
            drives.append(QVariantMap{
                {"attributes", QVariantList{QVariant(QVariantList{13, 194, value.toLongLong()})}}});
        } else if (name == "service" || name == "open") {
            smc[name] = value == "true";
        } else if (name == "refuses") {
            smc["kr"] = qlonglong(SmcDriver::notPrivileged) & 0xFFFFFFFF;
        } else if (value == "-") {
            keys.remove(name);
        } else if (value == "!") {
            keys[name] = QVariantMap{{"type", "sp78"}, {"value", 40}, {"result", 1}};
        } else {
            keys[name] = smcKey("sp78", value.toDouble());
        }
    }
    smc["keys"] = keys;
    return MachineProfile::fromMap({{"smc", smc}, {"drives", drives}});
}

// A test machine from a profile file ("*.plist") or a description: its SMC,
// drives and memory become the process's; its settings suite has a folder.
class TestMachine {
public:
    explicit TestMachine(const QString& profile) {
        const auto loaded = profile.endsWith(".plist")
                                ? MachineProfile::fromFile(testDataPath(profile))
                                : Result<MachineProfile>(describedMachine(profile));
        QVERIFY(loaded);
        memory = loaded->memory();
        SMCKit::setDriver(std::make_shared<ProfileSmcDriver>(*loaded));
        setAtaSmartPlatform(std::make_shared<ProfileAtaSmartPlatform>(loaded->drives()));
    }

    SMCControllerEnvironment environment(const QString& versionText = "1.0",
                                         bool withSuite = true) {
        SMCControllerEnvironment environment;
        environment.openDefaults = [this, withSuite] {
            return withSuite ? suite() : std::unique_ptr<UserDefaults>();
        };
        environment.notificationCenter = &center;
        environment.versionText = versionText;
        environment.memory = std::make_shared<ProfileVmStatisticsSource>(memory);
        return environment;
    }
    // A fresh reader of the suite.
    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, folder.path());
    }

    QTemporaryDir folder;
    DistributedNotificationCenter center{QDBusConnection::sessionBus()};
    QVariantMap memory;
};

// The notifications seen on a bus connection of its own, as another program
// would see them.
class NotificationObserver {
public:
    NotificationObserver()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                            QString("observer%1").arg(quintptr(this))))
        , center(bus)
        , spy(&center, &DistributedNotificationCenter::notificationReceived) {
        for (const auto name :
             {"tempsDidChange", "fansDidChange", "memDidChange", "sectionsDidChange",
              "unitsDidChange", "alertsDidChange", "testSentinel"}) {
            center.addObserver(QString::fromLatin1(name));
        }
    }
    ~NotificationObserver() { QDBusConnection::disconnectFromBus(bus.name()); }

    // Everything received before a sentinel posted now through `poster`: the
    // bus keeps one sender's messages in order.
    QStringList receivedUpTo(DistributedNotificationCenter& poster) {
        poster.postNotificationName("testSentinel");
        QStringList names = next(1, "testSentinel");
        names.removeOne("testSentinel");
        return names;
    }
    // What arrived once `count` notifications (or `until`) have.
    QStringList next(int count, const QString& until = QString()) {
        QStringList names;
        while (names.size() < count || (!until.isEmpty() && names.last() != until)) {
            if (spy.isEmpty() && !spy.wait(10000)) {
                return names << "(timed out)";
            }
            names.append(spy.takeFirst().at(0).toString());
        }
        return names;
    }

private:
    QDBusConnection bus;
    DistributedNotificationCenter center;
    QSignalSpy spy;
};

// The agent's log lines (categories "ondara.agent.*"), message text only.
class LogCapture {
public:
    LogCapture() {
        current = this;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (QByteArray(context.category).startsWith("ondara.agent.")) {
                    current->lines.append(message);
                } else if (current->previous) {
                    current->previous(type, context, message);
                }
            });
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QStringList lines;

private:
    static inline LogCapture* current = nullptr;
    QtMessageHandler previous = nullptr;
};

// What is written to standard output while this lives.
class StdoutCapture {
public:
    StdoutCapture() {
        QVERIFY(file.open());
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { text(); }
    QByteArray text() {
        if (saved >= 0) {
            std::fflush(stdout);
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
            saved = -1;
        }
        file.seek(0);
        return file.readAll();
    }

private:
    QTemporaryFile file;
    int saved = -1;
};
