// Whole machines read through their hwmon chips: the real agent started on a
// fixture tree on the test's private bus, asked by the real ondara-cli. What
// a user of each machine would expect to see, the hardware named behind
// every key, and metrics that a real OpenMetrics parser accepts and that
// carry every reading the client shows.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <sys/stat.h>

namespace {

constexpr int wait = 30000;

QString dataPath(const QString& file) {
    return QStringLiteral(ONDARA_TEST_DATA_DIR "/") + file;
}

// The agent on a fixture machine, with its settings in a folder of its own.
class Agent {
public:
    // `machine`: a fixture's name, or the path of a tree.
    explicit Agent(const QString& machine) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        process.start(
            QStringLiteral(ONDARA_AGENT_PATH),
            {QStringLiteral("--smc"),
             QStringLiteral("hwmon:%1/class/hwmon")
                 .arg(machine.startsWith('/') ? machine : ONDARA_FIXTURE_DIR "/" + machine),
             QStringLiteral("--smart"), QStringLiteral("none"), QStringLiteral("--memory"),
             QStringLiteral("profile:") + dataPath(QStringLiteral("memory.plist"))});
    }
    ~Agent() {
        process.kill();
        process.waitForFinished();
    }
    bool serving() {
        return QTest::qWaitFor(
            [this] {
                log += process.readAllStandardError();
                return log.contains("serving com.quillbank");
            },
            wait);
    }
    QTemporaryDir home;
    QProcess process;
    QByteArray log;
};

// Standard output of a program that must succeed.
QByteArray run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(wait) || process.exitCode() != 0) {
        qWarning().noquote() << program << "failed:" << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput();
}

QJsonObject cli(const QStringList& arguments) {
    return QJsonDocument::fromJson(run(QStringLiteral(ONDARA_CLI_PATH), arguments)).object();
}

// The samples of the metrics as the parsers read them: "name{label=value,...}" → value.
QHash<QString, double> metricSamples(const QByteArray& metrics) {
    const QByteArray parsed = run(QStringLiteral(ONDARA_PYTHON),
                                  {dataPath(QStringLiteral("../check_openmetrics.py"))}, metrics);
    QHash<QString, double> samples;
    for (const QJsonValue& sample : QJsonDocument::fromJson(parsed).array()) {
        const QJsonObject labels = sample[3].toObject();
        QStringList pairs;
        for (auto it = labels.begin(); it != labels.end(); ++it) {
            pairs.append(it.key() + QLatin1Char('=') + it.value().toString());
        }
        samples.insert(sample[2].toString() + QLatin1Char('{') + pairs.join(QLatin1Char(',')) +
                           QLatin1Char('}'),
                       sample[4].toDouble());
    }
    return samples;
}

} // namespace

class TestHwmonMachines : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsWhatTheMachineHas_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("components"); // component=chosen key, in display order
        QTest::addColumn<QString>("cpuSource");  // what stands behind the CPU's sensor
        QTest::addColumn<QStringList>("fans");
        // The hottest core beats the package; the warmer NVMe drive and DIMM
        // win; the board is the Super-I/O's SYSTIN.
        QTest::newRow("Intel desktop") << "hwmon-intel-desktop"
                                       << "CPU=TC0C HDD=TH0O LOGIC=Tm0P MEM=TM0P"
                                       << "hottest of coretemp (coretemp.0) temp2 \"Core 0\""
                                       << QStringList{"Fan 1", "Fan 2", "Fan 3", "Fan 4", "Fan 5"};
        QTest::newRow("AMD laptop")
            << "hwmon-amd-laptop"
            << "CPU=TC0D GPU=TG0D HDD=TH0P ENCLOSURE=TB0T AIRPORT=TW0P"
            << "k10temp (0000:00:18.3) temp1 \"Tctl\"" << QStringList{"Fan 1"};
        // Two sockets' cores together; the ACPI zone shows nowhere.
        QTest::newRow("server") << "hwmon-server"
                                << "CPU=TC0C HDD=TH0O"
                                << "hottest of coretemp (coretemp.0) temp2 \"Core 0\""
                                << QStringList{};
    }
    void showsWhatTheMachineHas() {
        QFETCH(QString, machine);
        QFETCH(QString, cpuSource);
        QFETCH(QStringList, fans);
        Agent agent(machine);
        QVERIFY(agent.serving());
        QVERIFY(agent.log.contains("SMC: hwmon chips in "));

        const QJsonObject all = cli({QStringLiteral("--json"), QStringLiteral("--all")});
        QStringList components;
        for (const QJsonValue& component : all[QStringLiteral("components")].toArray()) {
            for (const QJsonValue& candidate : component[QStringLiteral("candidates")].toArray()) {
                // Every key of this machine is backed by a chip input.
                QVERIFY(!candidate[QStringLiteral("source")].toString().isEmpty());
                if (candidate[QStringLiteral("chosen")].toBool()) {
                    components.append(component[QStringLiteral("component")].toString() + '=' +
                                      candidate[QStringLiteral("sensor")].toString());
                    if (components.last().startsWith(QLatin1String("CPU="))) {
                        QVERIFY2(
                            candidate[QStringLiteral("source")].toString().startsWith(cpuSource),
                            qPrintable(candidate[QStringLiteral("source")].toString()));
                    }
                }
            }
        }
        QTEST(components.join(' '), "components");

        const QByteArray metrics = run(QStringLiteral(ONDARA_CLI_PATH), {"--openmetrics"});
        const QHash<QString, double> samples = metricSamples(metrics);
        QVERIFY2(!samples.isEmpty(), metrics.constData());
        QStringList fanNames;
        for (auto it = samples.cbegin(); it != samples.cend(); ++it) {
            if (it.key().startsWith(QLatin1String("ondara_fan_speed_rpm{"))) {
                fanNames.append(it.key().section(QLatin1String("name="), 1).chopped(1));
            }
        }
        fanNames.sort();
        QCOMPARE(fanNames, fans);

        // Every reading the client shows is in the metrics, in fixed units.
        const QJsonObject shown = cli({QStringLiteral("--json")});
        int compared = 0;
        for (const QJsonValue& row : shown[QStringLiteral("temperatures")].toArray()) {
            const QString key = QStringLiteral("ondara_temperature_celsius{component=%1,sensor=%2}")
                                    .arg(row[QStringLiteral("component")].toString(),
                                         row[QStringLiteral("sensor")].toString());
            QCOMPARE(samples.value(key, NAN), row[QStringLiteral("value")].toDouble());
            ++compared;
        }
        for (const QJsonValue& row : shown[QStringLiteral("fans")].toArray()) {
            const QString key = QStringLiteral("ondara_fan_speed_rpm{fan=%1,name=%2}")
                                    .arg(row[QStringLiteral("fan")].toInt())
                                    .arg(row[QStringLiteral("name")].toString());
            QCOMPARE(samples.value(key, NAN), row[QStringLiteral("rpm")].toDouble());
            ++compared;
        }
        for (const QJsonValue& row : shown[QStringLiteral("memory")].toArray()) {
            const double bytes =
                samples.value(QStringLiteral("ondara_memory_bytes{kind=%1}")
                                  .arg(row[QStringLiteral("name")].toString().toLower()),
                              NAN);
            QVERIFY(std::abs(bytes / 1073741824.0 - row[QStringLiteral("value")].toDouble()) <
                    0.006);
            ++compared;
        }
        QVERIFY(compared >= 4);
    }

    // A tree with a label that is a FIFO no one writes and another that holds
    // terminal escapes: the agent maps the rest, and nothing but text reaches
    // the terminal through the listing of what stands behind each key.
    void oddLabelsReachNoTerminal() {
        QTemporaryDir copy;
        QCOMPARE(QProcess::execute(QStringLiteral("cp"),
                                   {QStringLiteral("-a"),
                                    QStringLiteral(ONDARA_FIXTURE_DIR "/hwmon-intel-desktop/."),
                                    copy.path()}),
                 0);
        const QString coretemp =
            copy.filePath(QStringLiteral("devices/platform/coretemp.0/hwmon/hwmon3"));
        QVERIFY(QFile::remove(coretemp + QStringLiteral("/temp2_label")));
        QCOMPARE(::mkfifo(QFile::encodeName(coretemp + QStringLiteral("/temp2_label")).constData(),
                          0600),
                 0);
        QFile label(coretemp + QStringLiteral("/temp3_label"));
        QVERIFY(label.open(QIODevice::WriteOnly | QIODevice::Truncate));
        label.write("Core\x1b]0;owned\x07\x1b[2J 1\r\xc2\x9b\n");
        label.close();
        Agent agent(copy.path());
        QVERIFY(agent.serving());

        const QByteArray report = run(QStringLiteral(ONDARA_CLI_PATH), {QStringLiteral("--all")});
        QVERIFY(report.contains("Core"));
        const QString text = QString::fromUtf8(report);
        for (const QChar c : text) {
            QVERIFY2(c == '\n' || (c.unicode() >= 0x20 && c.unicode() != 0x7F &&
                                   (c.unicode() < 0x80 || c.unicode() >= 0xA0)),
                     qPrintable(QString::number(c.unicode(), 16)));
        }
    }
};

QTEST_GUILESS_MAIN(TestHwmonMachines)
#include "tst_hwmonmachines.moc"
