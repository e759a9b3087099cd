// How fast and how lean the agent serves its clients, measured on the
// built-in demo machine: the benchmark starts a private dbus-daemon and the
// real OndaraHelper program, and talks to it through the clients' proxy.

#include "AgentHistory.h"
#include "AgentResources.h"
#include "BenchSupport.h"
#include "HelperDaemon.h"
#include "OndaraNames.h"
#include "SMCKit.h"
#include "ata/SmartReaderProcess.h"
#include "defaults/UserDefaults.h"
#include "ipc/OndaraHelperProxy.h"
#include "profile/MachineProfile.h"
#include "smc/HwmonSmcDriver.h"
#include "smc/ProfileSmcDriver.h"
#include "vm/ProcMeminfoSource.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Fifteen temperature keys of the demo machine: a full setup-window tick.
const char* const demoKeys[] = {"TA0P", "TB0T", "TB1T", "TB2T", "TC0D", "TC0F", "TC0H", "TC0P",
                                "TG0D", "TG0P", "TH0P", "TM0P", "TM0S", "Tm0P", "Tp0P"};

QList<quint32> demoCodes() {
    QList<quint32> codes;
    for (const char* key : demoKeys) {
        codes.append(*SMCKit::fourCharCode(QString::fromLatin1(key)));
    }
    return codes;
}

// One client connection with the proxy over it.
class BenchClient {
public:
    BenchClient(const QString& address, const QString& name)
        : bus(QDBusConnection::connectToBus(address, name))
        , proxy(std::make_unique<OndaraHelperProxy>(bus)) {}
    ~BenchClient() {
        proxy.reset();
        QDBusConnection::disconnectFromBus(bus.name());
    }

    // One query, waited for; false when it was not answered.
    template <typename Call> bool roundTrip(Call call) {
        bool answered = false;
        call(*proxy, [&answered](const auto&) { answered = true; });
        return spinUntil([&answered] { return answered; });
    }

    QDBusConnection bus;
    std::unique_ptr<OndaraHelperProxy> proxy;
};

DemoAgent* sharedAgent = nullptr;
QString sharedBusAddress;
BenchClient* sharedClient = nullptr;

void BM_AppVersionRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        if (!sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
                p.appVersion([reply](double value) { reply(value); });
            })) {
            state.SkipWithError("appVersion not answered");
            break;
        }
    }
}
BENCHMARK(BM_AppVersionRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_TemperatureForSensors15RoundTrip(benchmark::State& state) {
    const QList<quint32> codes = demoCodes();
    for (auto _ : state) {
        if (!sharedClient->roundTrip([&codes](OndaraHelperProtocol& p, auto reply) {
                p.temperatureForSensors(codes, reply);
            })) {
            state.SkipWithError("temperatureForSensors not answered");
            break;
        }
    }
}
BENCHMARK(BM_TemperatureForSensors15RoundTrip)->Unit(benchmark::kMicrosecond);

// temperatureForSensors of `codes` per iteration; the counter is the agent's
// own CPU time per request.
void temperaturesWithAgentCost(benchmark::State& state, const QList<quint32>& codes) {
    const double before = cpuSecondsOfThreads(sharedAgent->process.processId());
    for (auto _ : state) {
        if (!sharedClient->roundTrip([&codes](OndaraHelperProtocol& p, auto reply) {
                p.temperatureForSensors(codes, reply);
            })) {
            state.SkipWithError("temperatureForSensors not answered");
            break;
        }
    }
    const double spent = cpuSecondsOfThreads(sharedAgent->process.processId()) - before;
    state.counters["agent_us"] = 1e6 * spent / double(std::max<int64_t>(1, state.iterations()));
}

// What the widget's temperature tab asks every 4 s: the code of each of its
// nine boxes, shown or not, so mostly codes no sensor has (0). The counter is
// the agent's own CPU time per request.
void BM_WidgetTickRoundTrip(benchmark::State& state) {
    QList<quint32> codes(9, 0);
    codes[0] = *SMCKit::fourCharCode(QStringLiteral("TC0D"));
    codes[1] = *SMCKit::fourCharCode(QStringLiteral("TH0P"));
    temperaturesWithAgentCost(state, codes);
}
BENCHMARK(BM_WidgetTickRoundTrip)->Unit(benchmark::kMicrosecond);

// The floor under a refresh: three temperatures asked through QtDBus (the
// counter is the agent's CPU per call, both its threads) against the same
// three read straight from the driver the agent runs (ONDARA_BENCH_SMC
// "hwmon:PATH" or the demo machine). What is left is QtDBus and the queue.
std::shared_ptr<SmcDriver> benchDriver(QList<quint32>* three) {
    const QString smc = qEnvironmentVariable("ONDARA_BENCH_SMC", QStringLiteral("demo"));
    if (smc.startsWith(QStringLiteral("hwmon:"))) {
        auto driver = std::make_shared<HwmonSmcDriver>(smc.mid(6));
        for (const HwmonSensorMap::Temperature& temperature : driver->map().temperatures()) {
            if (three->size() < 3) {
                three->append(temperature.key);
            }
        }
        return driver;
    }
    for (const char* key : {"TC0D", "TG0D", "TH0P"}) {
        three->append(*SMCKit::fourCharCode(QString::fromLatin1(key)));
    }
    return std::make_shared<ProfileSmcDriver>(
        *MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist")));
}

void BM_ThreeTemperaturesRoundTrip(benchmark::State& state) {
    QList<quint32> codes;
    benchDriver(&codes);
    temperaturesWithAgentCost(state, codes);
}
BENCHMARK(BM_ThreeTemperaturesRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_ThreeTemperaturesRead(benchmark::State& state) {
    QList<quint32> codes;
    SMCKit::setDriver(benchDriver(&codes));
    SMCKit::openConnection();
    for (auto _ : state) {
        for (quint32 code : codes) {
            benchmark::DoNotOptimize(SMCKit::readTemperature(code));
        }
    }
}
BENCHMARK(BM_ThreeTemperaturesRead)->Unit(benchmark::kMicrosecond);

void BM_MemoryUsageRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        if (!sharedClient->roundTrip(
                [](OndaraHelperProtocol& p, auto reply) { p.memoryUsage(reply); })) {
            state.SkipWithError("memoryUsage not answered");
            break;
        }
    }
}
BENCHMARK(BM_MemoryUsageRoundTrip)->Unit(benchmark::kMicrosecond);

// What the window and the widget ask when they open: the selection's
// dictionaries and the active lists, each answered from the stored selection.
void BM_SelectionQueriesRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        const bool answered = sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
            p.tempSensors(reply);
        }) && sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
            p.machineSensorList(reply);
        }) && sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
            p.activeTempSensors(reply);
        }) && sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
            p.activeFanSensors(reply);
        });
        if (!answered) {
            state.SkipWithError("a selection query was not answered");
            break;
        }
    }
}
BENCHMARK(BM_SelectionQueriesRoundTrip)->Unit(benchmark::kMicrosecond);

// The same fifteen reads straight through the SMC layer, in this process.
void BM_DirectDriverReads15(benchmark::State& state) {
    const auto profile = MachineProfile::fromFile(QStringLiteral(":/profiles/demo.plist"));
    SMCKit::setDriver(std::make_shared<ProfileSmcDriver>(*profile));
    SMCKit::openConnection();
    const QList<quint32> codes = demoCodes();
    for (auto _ : state) {
        for (quint32 code : codes) {
            benchmark::DoNotOptimize(SMCKit::readTemperature(code));
        }
    }
}
BENCHMARK(BM_DirectDriverReads15)->Unit(benchmark::kMicrosecond);

// Every temperature and fan of the recorded Intel desktop, straight through
// the hwmon backend in this process: the sysfs reads of an agent's round
// (files of a copied tree, so each kept file is also asked whether it went).
void BM_HwmonReadsIntelDesktop(benchmark::State& state) {
    auto driver = std::make_shared<HwmonSmcDriver>(
        QStringLiteral(ONDARA_FIXTURE_DIR "/hwmon-intel-desktop/class/hwmon"));
    const HwmonSensorMap& map = driver->map();
    SMCKit::setDriver(driver);
    SMCKit::openConnection();
    for (auto _ : state) {
        for (const HwmonSensorMap::Temperature& temperature : map.temperatures()) {
            benchmark::DoNotOptimize(SMCKit::readTemperature(temperature.key));
        }
        for (int fan = 0; fan < map.fans().size(); ++fan) {
            benchmark::DoNotOptimize(SMCKit::readFanCurrentSpeed(fan));
        }
    }
    state.counters["reads"] = double(map.temperatures().size() + map.fans().size());
}
BENCHMARK(BM_HwmonReadsIntelDesktop)->Unit(benchmark::kMicrosecond);

// The memory figures of every memoryUsage answer and history round, from
// this machine's /proc/meminfo.
void BM_MemoryFiguresFromProc(benchmark::State& state) {
    ProcMeminfoSource source;
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.statistics());
    }
}
BENCHMARK(BM_MemoryFiguresFromProc)->Unit(benchmark::kMicrosecond);

// The agent's own history round on the recorded Intel desktop, in this
// process: every chosen sensor, fan and memory figure read, stored and
// handed to the (default, disabled) alert rules, the demo drive every fourth
// round, a row written to SQLite every 24 rounds. What an idle agent pays
// every 5 s besides its wakeup.
void BM_HistoryRoundIntelDesktop(benchmark::State& state) {
    QTemporaryDir home;
    AgentCommandLine commandLine;
    commandLine.smc =
        QStringLiteral("hwmon:" ONDARA_FIXTURE_DIR "/hwmon-intel-desktop/class/hwmon");
    commandLine.smart = QStringLiteral("demo");
    HelperDaemon daemon(commandLine);
    if (!daemon.start()) {
        state.SkipWithError("the backends did not load");
        return;
    }
    SMCControllerEnvironment environment;
    environment.openDefaults = [&home] {
        return UserDefaults::openSuite(OndaraNames::suiteName, home.path());
    };
    environment.versionText = QStringLiteral("1.0");
    daemon.setControllerEnvironment(environment);
    AgentHistory& history = daemon.makeHistory(home.filePath(QStringLiteral("state")),
                                               AgentHistory::defaultIntervalSeconds, nullptr);
    qint64 now = 1700000000000;
    history.setClock([&now] { return now; });
    history.openStore();
    // The first rounds open the controller and the kept files.
    for (int i = 0; i < AgentHistory::roundsPerDriveReading; ++i) {
        now += 5000;
        history.sampleRound();
    }
    // Arg 1: the caches hold other programs' data by the next round, as they
    // do after 5 s of an idle agent on a busy machine.
    const bool cold = state.range(0) != 0;
    std::vector<char> elsewhere(cold ? 32 << 20 : 0);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (size_t i = 0; i < elsewhere.size(); i += 64) {
                elsewhere[i] = char(elsewhere[i] + 1);
            }
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        now += 5000;
        history.sampleRound();
    }
    state.counters["series"] = double(AgentHistory::sampledSeries(*daemon.controller()).size());
}
BENCHMARK(BM_HistoryRoundIntelDesktop)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One drive reading's process, as the agent starts it every fourth round on a
// machine with an ATA drive: the reader asked for disk 0 (without its
// capabilities it answers what it could not open). The counter is the
// reader's own CPU per run; the time is the agent's wait.
void BM_SmartReaderRun(benchmark::State& state) {
    const double before = childrenCpuSeconds();
    for (auto _ : state) {
        const SmartReaderProcess run = SmartReaderProcess::run(ONDARA_SMART_READER, {"read", "0"},
                                                               std::chrono::seconds(5), 1 << 16);
        if (run.outcome != SmartReaderProcess::Outcome::finished) {
            state.SkipWithError("the reader did not finish");
            break;
        }
    }
    state.counters["reader_us"] =
        1e6 * (childrenCpuSeconds() - before) / double(std::max<int64_t>(1, state.iterations()));
}
BENCHMARK(BM_SmartReaderRun)->Unit(benchmark::kMicrosecond);

// A fresh agent's first client: the controller opens the SMC, scans the
// catalogue, reads the drive and writes the store before answering.
void BM_FirstClientStartup(benchmark::State& state) {
    for (auto _ : state) {
        // The shared agent holds the name; this one gets a bus of its own.
        PrivateBus bus;
        DemoAgent agent(bus.address);
        if (!agent.waitUntilServing()) {
            state.SkipWithError("agent did not start");
            break;
        }
        BenchClient client(bus.address, QStringLiteral("first-client"));
        QElapsedTimer timer;
        timer.start();
        if (!client.roundTrip([](OndaraHelperProtocol& p, auto reply) {
                p.appVersion([reply](double value) { reply(value); });
            })) {
            state.SkipWithError("first call not answered");
            break;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_FirstClientStartup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

// A well-behaved client's appVersion while another client floods the agent
// from a thread of its own: Arg 0 keeps 64 calls of 4096 codes in flight,
// Arg 1 sends unit changes in bursts of 500. worst_ms is the longest wait.
void BM_AppVersionWhileFlooded(benchmark::State& state) {
    const bool commands = state.range(0) == 1;
    std::atomic<bool> stop{false};
    std::thread flood([&stop, commands, address = sharedBusAddress] {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("flood"));
        const auto call = [](const QString& member, const QVariantList& arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                OndaraNames::helperServiceName, OndaraNames::helperObjectPath,
                OndaraNames::helperInterface, member);
            message.setArguments(arguments);
            return message;
        };
        const QDBusMessage codes = call(QStringLiteral("temperatureForSensors"),
                                        {QVariant::fromValue(QList<uint>(4096, 0x54433050u))});
        QList<QDBusPendingCall> inFlight;
        for (int round = 0; !stop; ++round) {
            if (commands) {
                for (int i = 0; i < 500; ++i) {
                    bus.send(
                        call(QStringLiteral("changeTempUnitToCelsius"), {(round + i) % 2 == 0}));
                }
                bus.call(call(QStringLiteral("appVersion"), {}));
                continue;
            }
            while (inFlight.size() < 64) {
                inFlight.append(bus.asyncCall(codes));
            }
            inFlight.takeFirst().waitForFinished();
        }
        for (QDBusPendingCall& pending : inFlight) {
            pending.waitForFinished();
        }
        QDBusConnection::disconnectFromBus(bus.name());
    });
    qint64 worstNs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (!sharedClient->roundTrip([](OndaraHelperProtocol& p, auto reply) {
                p.appVersion([reply](double value) { reply(value); });
            })) {
            state.SkipWithError("appVersion not answered");
            break;
        }
        worstNs = std::max(worstNs, timer.nsecsElapsed());
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    stop = true;
    flood.join();
    state.counters["worst_ms"] = double(worstNs) / 1e6;
}
BENCHMARK(BM_AppVersionWhileFlooded)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(2000);

// Resident memory of the agent after a thousand mixed requests.
void BM_ResidentMemoryAfter1000Requests(benchmark::State& state) {
    const QList<quint32> codes = demoCodes();
    for (auto _ : state) {
        state.counters["VmRSS_before_kB"] = sharedAgent->residentKilobytes();
        for (int i = 0; i < 1000; ++i) {
            const bool answered =
                i % 2 == 0 ? sharedClient->roundTrip([&codes](OndaraHelperProtocol& p, auto reply) {
                    p.temperatureForSensors(codes, reply);
                })
                           : sharedClient->roundTrip(
                                 [](OndaraHelperProtocol& p, auto reply) { p.tempSensors(reply); });
            if (!answered) {
                state.SkipWithError("request not answered");
                return;
            }
        }
        state.counters["VmRSS_after_kB"] = sharedAgent->residentKilobytes();
    }
}
BENCHMARK(BM_ResidentMemoryAfter1000Requests)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    initAgentResources();

    PrivateBus bus;
    if (bus.address.isEmpty()) {
        std::fputs("bench_agent: could not start a private dbus-daemon\n", stderr);
        return 1;
    }
    DemoAgent agent(bus.address);
    if (!agent.waitUntilServing()) {
        std::fprintf(stderr, "bench_agent: the agent did not start:\n%s\n",
                     agent.errors.constData());
        return 1;
    }
    BenchClient client(bus.address, QStringLiteral("bench-client"));
    // The first call creates the controller; the benchmarks measure serving.
    if (!client.roundTrip([](OndaraHelperProtocol& p, auto reply) {
            p.appVersion([reply](double value) { reply(value); });
        })) {
        std::fputs("bench_agent: the agent does not answer\n", stderr);
        return 1;
    }
    sharedAgent = &agent;
    sharedClient = &client;
    sharedBusAddress = bus.address;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedClient = nullptr;
    return 0;
}
