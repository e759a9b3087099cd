#include "AgentStopRecord.h"

#include <QDir>

namespace {

const QString kFileName = QStringLiteral("com.quillbank.OndaraHelper.stopped");
// A reason word and one line of message: anything longer is not ours.
constexpr qsizetype kFileLimit = 4096;
constexpr qsizetype kMessageLimit = 1024;

const std::pair<AgentStopRecord::Reason, QLatin1StringView> kWords[] = {
    {AgentStopRecord::Reason::noSensors, QLatin1StringView("noSensors")},
    {AgentStopRecord::Reason::notPrivileged, QLatin1StringView("notPrivileged")},
    {AgentStopRecord::Reason::anotherAgent, QLatin1StringView("anotherAgent")},
};

// The message as one line of printable text, whatever the file held.
QString printable(const QString& text) {
    QString line;
    for (const QChar c : text.left(kMessageLimit)) {
        line += c.isPrint() ? c : QChar(u' ');
    }
    return line.trimmed();
}

} // namespace

int AgentStopRecord::exitStatus(Reason reason) {
    switch (reason) {
    case Reason::noSensors:
        return kNoSensorsStatus;
    case Reason::notPrivileged:
        return kNotPrivilegedStatus;
    case Reason::anotherAgent:
        return kAnotherAgentStatus;
    }
    return 1;
}

std::optional<PrivateFolder> AgentStopRecord::runtimeFolder(const QProcessEnvironment& environment,
                                                            QString* error) {
    const QString value = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!QDir::isAbsolutePath(value)) {
        *error = QStringLiteral("XDG_RUNTIME_DIR is not set to a folder; the agent's pid file "
                                "would have no safe place");
        return std::nullopt;
    }
    const auto runtime =
        PrivateFolder::open(QDir::cleanPath(value), PrivateFolder::Access::ownerOnly, error);
    if (!runtime) {
        *error = QStringLiteral("XDG_RUNTIME_DIR refused: %1").arg(*error);
        return std::nullopt;
    }
    return runtime->subfolder(QStringLiteral("ondara"), PrivateFolder::Access::ownerOnly, error);
}

AgentStopRecord::AgentStopRecord(std::optional<PrivateFolder> folder)
    : m_folder(std::move(folder)) {}

AgentStopRecord AgentStopRecord::standard() {
    QString ignored;
    return AgentStopRecord(runtimeFolder(QProcessEnvironment::systemEnvironment(), &ignored));
}

QByteArray AgentStopRecord::encode(const Stop& stop) {
    for (const auto& [reason, word] : kWords) {
        if (reason == stop.reason) {
            return QByteArray(word.data(), word.size()) + '\n' + printable(stop.message).toUtf8() +
                   '\n';
        }
    }
    return {};
}

std::optional<AgentStopRecord::Stop> AgentStopRecord::decode(const QByteArray& bytes) {
    if (bytes.size() > kFileLimit) {
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(bytes);
    const QString word = text.section(QLatin1Char('\n'), 0, 0);
    for (const auto& [reason, known] : kWords) {
        if (word == known) {
            return Stop{reason, printable(text.section(QLatin1Char('\n'), 1, 1))};
        }
    }
    return std::nullopt;
}

bool AgentStopRecord::write(const Stop& stop, QString* error) const {
    if (!m_folder) {
        *error = QStringLiteral("no runtime folder");
        return false;
    }
    return m_folder->replace(kFileName, encode(stop), QStringLiteral(".") + kFileName, error);
}

std::optional<AgentStopRecord::Stop> AgentStopRecord::read() const {
    if (!m_folder) {
        return std::nullopt;
    }
    QString error;
    const auto bytes = m_folder->read(kFileName, kFileLimit, &error);
    return bytes ? decode(*bytes) : std::nullopt;
}

void AgentStopRecord::clear() const {
    if (m_folder) {
        m_folder->remove(kFileName);
    }
}
