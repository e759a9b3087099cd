#include "AgentCommandLine.h"

#include "smc/AppleSmcSysfsDriver.h"
#include "smc/HwmonSmcDriver.h"

namespace {

const QString profilePrefix = QStringLiteral("profile:");
const QString hwmonWord = QStringLiteral("hwmon");
const QString hwmonPrefix = QStringLiteral("hwmon:");

struct SourceOption {
    const char* option;
    const char* variable;
    QStringList words;
    QString AgentCommandLine::*field;
};

const QString intervalOption = QStringLiteral("--history-interval");
const QString intervalVariable = QStringLiteral("ONDARA_HISTORY_INTERVAL");
constexpr int maximumInterval = 3600;

std::optional<int> intervalSeconds(const QString& value) {
    bool ok = false;
    const int seconds = value.toInt(&ok);
    return ok && seconds >= 0 && seconds <= maximumInterval ? std::optional<int>(seconds)
                                                            : std::nullopt;
}

bool isValidValue(const SourceOption& source, const QString& value) {
    if (source.words.contains(hwmonWord) && value.startsWith(hwmonPrefix)) {
        return value.size() > hwmonPrefix.size();
    }
    return source.words.contains(value) || !AgentCommandLine::profilePath(value).isEmpty();
}

} // namespace

QString AgentCommandLine::profilePath(const QString& value) {
    return value.startsWith(profilePrefix) ? value.mid(profilePrefix.size()) : QString();
}

AgentCommandLine::SmcBackend AgentCommandLine::smcBackend(const QString& value,
                                                          QString* hwmonDirectory) {
    const auto hwmon = [hwmonDirectory](const QString& directory) {
        if (hwmonDirectory) {
            *hwmonDirectory = directory;
        }
        return SmcBackend::hwmon;
    };
    if (value == hwmonWord) {
        return hwmon(HwmonSmcDriver::systemDirectory());
    }
    if (value.startsWith(hwmonPrefix)) {
        return hwmon(value.mid(hwmonPrefix.size()));
    }
    if (value == QLatin1StringView("applesmc")) {
        return SmcBackend::appleSmc;
    }
    if (value != QLatin1StringView("auto")) {
        return SmcBackend::profile;
    }
    if (AppleSmcSysfsDriver::isPresent()) {
        return SmcBackend::appleSmc;
    }
    if (HwmonSmcDriver::mapsTemperature(HwmonSmcDriver::systemDirectory())) {
        return hwmon(HwmonSmcDriver::systemDirectory());
    }
    return SmcBackend::missing;
}

QString AgentCommandLine::usage() {
    return QStringLiteral(
        "Usage: OndaraHelper [--smc auto|applesmc|hwmon[:PATH]|demo|profile:PATH]\n"
        "                    [--smart auto|none|demo|profile:PATH]\n"
        "                    [--memory proc|profile:PATH] [--history-interval SECONDS]\n"
        "                    [--version] [--help]\n"
        "\n"
        "The sensor agent: serves the SMC's temperatures and fans, the drive temperature\n"
        "and the memory figures on the D-Bus session bus as com.quillbank.OndaraHelper.\n"
        "\n"
        "  --smc      auto (default): the applesmc driver when present, else the\n"
        "             hwmon chips when they map a temperature; applesmc;\n"
        "             hwmon: /sys/class/hwmon; hwmon:PATH: PATH as that directory;\n"
        "             demo: the built-in demo machine; profile:PATH: a machine profile\n"
        "  --smart    auto (default): the machine's ATA disks; none: no drive;\n"
        "             demo; profile:PATH\n"
        "  --memory   proc (default): /proc/meminfo; profile:PATH\n"
        "  --history-interval\n"
        "             seconds between two readings the agent keeps in its history\n"
        "             ($XDG_STATE_HOME/ondara/history.sqlite3) and checks its alert\n"
        "             rules against: 1 to 3600, 5 by default; 0 keeps none\n"
        "  --version  print the version and exit\n"
        "  --help     print this text and exit\n"
        "\n"
        "ONDARA_SMC, ONDARA_SMART, ONDARA_MEMORY and ONDARA_HISTORY_INTERVAL set the\n"
        "same; options win.\n");
}

std::optional<AgentCommandLine> AgentCommandLine::parse(const QStringList& arguments,
                                                        const QProcessEnvironment& environment,
                                                        QString* error) {
    const QList<SourceOption> sources{
        {"--smc",
         "ONDARA_SMC",
         {QStringLiteral("auto"), QStringLiteral("applesmc"), hwmonWord, QStringLiteral("demo")},
         &AgentCommandLine::smc},
        {"--smart",
         "ONDARA_SMART",
         {QStringLiteral("auto"), QStringLiteral("none"), QStringLiteral("demo")},
         &AgentCommandLine::smart},
        {"--memory", "ONDARA_MEMORY", {QStringLiteral("proc")}, &AgentCommandLine::memory},
    };
    auto fail = [error](const QString& reason) {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };

    AgentCommandLine commandLine;
    for (const SourceOption& source : sources) {
        const QString variable = QString::fromLatin1(source.variable);
        if (environment.contains(variable)) {
            const QString value = environment.value(variable);
            if (!isValidValue(source, value)) {
                return fail(QStringLiteral("%1: unknown value \"%2\"").arg(variable, value));
            }
            commandLine.*source.field = value;
        }
    }

    if (environment.contains(intervalVariable)) {
        const auto seconds = intervalSeconds(environment.value(intervalVariable));
        if (!seconds) {
            return fail(QStringLiteral("%1: not a number of seconds from 0 to %2: \"%3\"")
                            .arg(intervalVariable)
                            .arg(maximumInterval)
                            .arg(environment.value(intervalVariable)));
        }
        commandLine.historyInterval = *seconds;
    }

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == intervalOption || argument.startsWith(intervalOption + QLatin1Char('='))) {
            const bool separate = argument == intervalOption;
            if (separate && i + 1 >= arguments.size()) {
                return fail(QStringLiteral("%1 needs a value").arg(intervalOption));
            }
            const QString value =
                separate ? arguments[++i] : argument.mid(intervalOption.size() + 1);
            const auto seconds = intervalSeconds(value);
            if (!seconds) {
                return fail(QStringLiteral("%1: not a number of seconds from 0 to %2: \"%3\"")
                                .arg(intervalOption)
                                .arg(maximumInterval)
                                .arg(value));
            }
            commandLine.historyInterval = *seconds;
            continue;
        }
        if (argument == QLatin1StringView("--version")) {
            commandLine.showVersion = true;
            continue;
        }
        if (argument == QLatin1StringView("--help") || argument == QLatin1StringView("-h")) {
            commandLine.showHelp = true;
            continue;
        }
        const SourceOption* matched = nullptr;
        QString value;
        bool hasValue = false;
        for (const SourceOption& source : sources) {
            const QString option = QString::fromLatin1(source.option);
            if (argument == option) {
                matched = &source;
                if (i + 1 < arguments.size()) {
                    value = arguments[++i];
                    hasValue = true;
                }
                break;
            }
            if (argument.startsWith(option + QLatin1Char('='))) {
                matched = &source;
                value = argument.mid(option.size() + 1);
                hasValue = true;
                break;
            }
        }
        if (!matched) {
            return fail(QStringLiteral("unknown option \"%1\"").arg(argument));
        }
        if (!hasValue) {
            return fail(QStringLiteral("%1 needs a value").arg(QLatin1StringView(matched->option)));
        }
        if (!isValidValue(*matched, value)) {
            return fail(QStringLiteral("%1: unknown value \"%2\"")
                            .arg(QLatin1StringView(matched->option), value));
        }
        commandLine.*matched->field = value;
    }
    return commandLine;
}
