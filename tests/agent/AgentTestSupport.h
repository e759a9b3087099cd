#pragma once

// Pieces the agent's in-process tests share: a test machine installed as the
// process's SMC and drives, controller environments over a private settings
// folder, and captures of the log and of standard output.

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
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <memory>
#include <unistd.h>

inline QString testDataPath(const QString& file) {
    return QStringLiteral(ONDARA_TEST_DATA_DIR "/") + file;
}

// One test machine: its SMC, drives and memory become the process's, and the
// settings suite lives in a folder of its own.
class TestMachine {
public:
    explicit TestMachine(const QString& profileFile) {
        QString error;
        const auto loaded = MachineProfile::fromFile(testDataPath(profileFile), &error);
        if (!loaded) {
            qFatal("%s", qPrintable(error));
        }
        profile = loaded->memory();
        SMCKit::setDriver(std::make_shared<ProfileSmcDriver>(*loaded));
        drivePlatform = std::make_shared<ProfileAtaSmartPlatform>(loaded->drives());
        setAtaSmartPlatform(drivePlatform);
    }

    // fatalStops counts the stops; the controller then throws FatalStop.
    SMCControllerEnvironment environment(const QString& versionText = QStringLiteral("1.0"),
                                         bool withSuite = true) {
        SMCControllerEnvironment environment;
        const QString directory = suiteFolder.path();
        if (withSuite) {
            environment.openDefaults = [directory] {
                return UserDefaults::openSuite(OndaraNames::suiteName, directory);
            };
        } else {
            environment.openDefaults = [] { return std::unique_ptr<UserDefaults>(); };
        }
        environment.notificationCenter = &center;
        environment.versionText = versionText;
        environment.memory = std::make_shared<ProfileVmStatisticsSource>(profile);
        environment.fatalStop = [this] { ++fatalStops; };
        return environment;
    }

    // A fresh reader of what the controller wrote.
    std::unique_ptr<UserDefaults> suite() const {
        return UserDefaults::openSuite(OndaraNames::suiteName, suiteFolder.path());
    }
    bool suiteFileExists() const {
        return QFile::exists(suiteFolder.filePath(QString(OndaraNames::suiteName) + ".plist"));
    }
    // How often the drive's SMART data was read so far.
    int driveReads() const {
        return int(drivePlatform->requests().filter(QRegularExpression("^read ")).size());
    }

    QTemporaryDir suiteFolder;
    DistributedNotificationCenter center{QDBusConnection::sessionBus()};
    std::shared_ptr<ProfileAtaSmartPlatform> drivePlatform;
    QVariantMap profile;
    int fatalStops = 0;
};

// Watches the five change notifications from a bus connection of its own, as
// another program would.
class NotificationObserver {
public:
    NotificationObserver()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                            QStringLiteral("observer-%1").arg(++serial())))
        , center(bus)
        , spy(&center, &DistributedNotificationCenter::notificationReceived) {
        for (const auto name :
             {OndaraNames::Notifications::tempsDidChange, OndaraNames::Notifications::fansDidChange,
              OndaraNames::Notifications::memDidChange,
              OndaraNames::Notifications::sectionsDidChange,
              OndaraNames::Notifications::unitsDidChange, sentinelName}) {
            center.addObserver(name);
        }
    }
    ~NotificationObserver() { QDBusConnection::disconnectFromBus(bus.name()); }

    // Everything received up to a sentinel posted now through `poster`: as the
    // bus keeps one sender's messages in order, whatever that sender posted
    // before has then arrived too.
    QStringList receivedUpTo(DistributedNotificationCenter& poster) {
        poster.postNotificationName(sentinelName);
        QStringList names;
        for (;;) {
            while (spy.isEmpty()) {
                if (!spy.wait(5000)) {
                    return names << QStringLiteral("(timed out)");
                }
            }
            const QString name = spy.takeFirst().at(0).toString();
            if (name == sentinelName) {
                return names;
            }
            names.append(name);
        }
    }

    // The next `count` notifications, plus any others already arrived.
    QStringList next(int count) {
        while (spy.size() < count) {
            if (!spy.wait(10000)) {
                break;
            }
        }
        QStringList names;
        while (!spy.isEmpty()) {
            names.append(spy.takeFirst().at(0).toString());
        }
        return names;
    }

    static constexpr QLatin1StringView sentinelName{"testSentinel"};

private:
    static int& serial() {
        static int counter = 0;
        return counter;
    }
    QDBusConnection bus;
    DistributedNotificationCenter center;
    QSignalSpy spy;
};

// The agent's log lines (categories "ondara.agent.*"), message text only.
class LogCapture {
public:
    LogCapture() {
        current() = this;
        previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    QStringList lines;

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (current() && context.category &&
            QByteArray(context.category).startsWith("ondara.agent.")) {
            current()->lines.append(message);
            return;
        }
        if (current() && current()->previous) {
            current()->previous(type, context, message);
        }
    }
    QtMessageHandler previous = nullptr;
};

// What the code under test writes to standard output while this lives.
class StdoutCapture {
public:
    StdoutCapture() {
        file.open();
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    QByteArray text() {
        restore();
        file.seek(0);
        return file.readAll();
    }

private:
    void restore() {
        if (saved >= 0) {
            std::fflush(stdout);
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
            saved = -1;
        }
    }
    QTemporaryFile file;
    int saved = -1;
};

inline qlonglong codeOf(const char (&text)[5]) {
    return qlonglong(*SMCKit::fourCharCode(QString::fromLatin1(text)));
}
