#include "ipc/OndaraHelperProxy.h"

#include "BusMessage.h"
#include "OndaraHelperInterface.h"
#include "OndaraHelperSourcesInterface.h"
#include "OndaraNames.h"
#include "SensorRecordCodec.h"
#include "ipc/DirectBusConnection.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QScopeGuard>

namespace {

// A reply whose signature differs from the contract's is refused here rather
// than handed to the caller half-read.
template <typename T> QString outsideContract(const QDBusMessage& message, T* value) {
    const QDBusPendingReply<T> reply(message);
    if (!reply.isValid()) {
        return reply.error().name() + QStringLiteral(": ") + reply.error().message();
    }
    *value = reply.value();
    return {};
}

// Delivers an answer of the contract's type to the caller as it arrived.
template <typename T, typename Reply> auto deliverAs(Reply reply) {
    return [reply = std::move(reply)](const QDBusMessage& message) {
        T received{};
        QString problem = outsideContract(message, &received);
        if (problem.isEmpty()) {
            reply(received);
        }
        return problem;
    };
}

// A dictionary answer in canonical property-list form, handed to `use`.
template <typename Use> QString canonicalDictionary(const QDBusMessage& message, const Use& use) {
    QVariantMap received;
    QString problem = outsideContract(message, &received);
    if (!problem.isEmpty()) {
        return problem;
    }
    const QVariant canonical = PropertyListDBus::fromDBus(received);
    if (!canonical.isValid()) {
        return QStringLiteral("The answer holds values outside the contract");
    }
    use(canonical.toMap());
    return QString();
}

// The same refusal QtDBus words for an answer of another signature.
QString unexpectedSignature(const BusMessage& message, const char* expected) {
    return QStringLiteral("org.freedesktop.DBus.Error.InvalidSignature: Unexpected reply "
                          "signature: got \"%1\", expected \"%2\"")
        .arg(QString::fromStdString(message.signature), QLatin1String(expected));
}

// A direct answer of one array, handed to `reply` as QtDBus would have.
template <typename Item, typename Reply> auto deliverArray(const char* signature, Reply reply) {
    return [signature, reply = std::move(reply)](const BusMessage& message) {
        const auto values = [&message] {
            if constexpr (std::is_same_v<Item, double>) {
                return message.reals();
            } else {
                return message.integers();
            }
        }();
        if (!values) {
            return unexpectedSignature(message, signature);
        }
        reply(QList<Item>(values->begin(), values->end()));
        return QString();
    };
}

template <typename Item> std::string integersBody(const QList<Item>& values) {
    return BusMessage::integerArrayBody(std::vector<std::uint32_t>(values.begin(), values.end()));
}

} // namespace

OndaraHelperProxy::OndaraHelperProxy(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , connection(bus)
    , remote(std::make_unique<OndaraHelperInterface>(QString(OndaraNames::helperServiceName),
                                                     QString(OndaraNames::helperObjectPath), bus)) {
}

OndaraHelperProxy::~OndaraHelperProxy() = default;

std::function<void()> OndaraHelperProxy::settler() {
    return [self = QPointer<OndaraHelperProxy>(this)] {
        if (self && --self->pending == 0) {
            Q_EMIT self->requestsSettled();
        }
    };
}

DirectBusConnection* OndaraHelperProxy::directConnection() {
    if (directWanted && !directTried) {
        directTried = true;
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        if (connection.isConnected() && !address.isEmpty() &&
            connection.name() == QDBusConnection::sessionBus().name()) {
            direct = DirectBusConnection::open(address.toStdString());
        }
    }
    return direct && direct->isConnected() ? direct.get() : nullptr;
}

bool OndaraHelperProxy::directQuery(const QString& method, std::string_view signature,
                                    std::string_view body,
                                    std::function<QString(const BusMessage&)> deliver) {
    DirectBusConnection* bus = directConnection();
    if (!bus) {
        return false;
    }
    const auto finished = [this, method, deliver = std::move(deliver)](const BusMessage* reply,
                                                                       const QString& problem) {
        const auto settle = qScopeGuard(settler());
        const QString failure = reply ? deliver(*reply) : problem;
        if (!failure.isEmpty()) {
            Q_EMIT requestFailed(method, failure);
        }
    };
    if (!bus->call(OndaraNames::helperServiceName.data(), OndaraNames::helperObjectPath.data(),
                   OndaraNames::helperInterface.data(), method.toStdString(), signature, body,
                   remote->timeout(), finished)) {
        return false;
    }
    ++pending;
    return true;
}

void OndaraHelperProxy::setTimeout(int milliseconds) {
    remote->setTimeout(milliseconds);
    if (sourcesRemote) {
        sourcesRemote->setTimeout(milliseconds);
    }
}

OndaraHelperSourcesInterface& OndaraHelperProxy::sourcesInterface() {
    if (!sourcesRemote) {
        sourcesRemote = std::make_unique<OndaraHelperSourcesInterface>(
            QString(OndaraNames::helperServiceName), QString(OndaraNames::helperObjectPath),
            connection);
        sourcesRemote->setTimeout(remote->timeout());
    }
    return *sourcesRemote;
}

int OndaraHelperProxy::timeout() const {
    return remote->timeout();
}

int OndaraHelperProxy::pendingRequests() const {
    return pending;
}

void OndaraHelperProxy::whenAnswered(const QDBusPendingCall& call, const QString& method,
                                     std::function<QString(const QDBusMessage&)> deliver,
                                     std::function<bool(const QDBusError&)> expected) {
    // The watcher is a child of the proxy: a proxy that goes away takes its
    // outstanding replies with it, and none is called afterwards.
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    ++pending;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method, deliver = std::move(deliver),
             expected = std::move(expected)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                // Settled after the reply or the failure signal has run, which
                // may have destroyed the proxy.
                const auto settle = qScopeGuard(settler());
                if (finished->isError()) {
                    const QDBusError error = finished->error();
                    if (expected && expected(error)) {
                        return;
                    }
                    Q_EMIT requestFailed(method,
                                         error.name() + QStringLiteral(": ") + error.message());
                    return;
                }
                const QString problem = deliver(finished->reply());
                if (!problem.isEmpty()) {
                    Q_EMIT requestFailed(method, problem);
                }
            });
}

void OndaraHelperProxy::dictionaryQuery(const QDBusPendingCall& call, const QString& method,
                                        DictionaryReply reply) {
    whenAnswered(call, method, [reply = std::move(reply)](const QDBusMessage& message) {
        return canonicalDictionary(message, reply);
    });
}

void OndaraHelperProxy::integersQuery(const QDBusPendingCall& call, const QString& method,
                                      IntegersReply reply) {
    whenAnswered(call, method, deliverAs<QList<int>>(std::move(reply)));
}

void OndaraHelperProxy::appVersion(DoubleReply reply) {
    whenAnswered(remote->appVersion(), QStringLiteral("appVersion"),
                 deliverAs<double>(std::move(reply)));
}

void OndaraHelperProxy::tempSensors(DictionaryReply reply) {
    dictionaryQuery(remote->tempSensors(), QStringLiteral("tempSensors"), std::move(reply));
}

void OndaraHelperProxy::fanSensors(DictionaryReply reply) {
    dictionaryQuery(remote->fanSensors(), QStringLiteral("fanSensors"), std::move(reply));
}

void OndaraHelperProxy::memSensors(DictionaryReply reply) {
    dictionaryQuery(remote->memSensors(), QStringLiteral("memSensors"), std::move(reply));
}

void OndaraHelperProxy::machineSensorList(DictionaryReply reply) {
    dictionaryQuery(remote->machineSensorList(), QStringLiteral("machineSensorList"),
                    std::move(reply));
}

void OndaraHelperProxy::activeTempSensors(DictionaryReply reply) {
    dictionaryQuery(remote->activeTempSensors(), QStringLiteral("activeTempSensors"),
                    std::move(reply));
}

void OndaraHelperProxy::activeFanSensors(DictionaryReply reply) {
    dictionaryQuery(remote->activeFanSensors(), QStringLiteral("activeFanSensors"),
                    std::move(reply));
}

void OndaraHelperProxy::activeMemSensors(DictionaryReply reply) {
    dictionaryQuery(remote->activeMemSensors(), QStringLiteral("activeMemSensors"),
                    std::move(reply));
}

void OndaraHelperProxy::temperatureForSensors(const QList<quint32>& sensors, IntegersReply reply) {
    if (directQuery(QStringLiteral("temperatureForSensors"), "au", integersBody(sensors),
                    deliverArray<int>("ai", reply))) {
        return;
    }
    integersQuery(remote->temperatureForSensors(sensors), QStringLiteral("temperatureForSensors"),
                  std::move(reply));
}

void OndaraHelperProxy::rpmForFans(const QList<int>& fans, IntegersReply reply) {
    if (directQuery(QStringLiteral("rpmForFans"), "ai", integersBody(fans),
                    deliverArray<int>("ai", reply))) {
        return;
    }
    integersQuery(remote->rpmForFans(fans), QStringLiteral("rpmForFans"), std::move(reply));
}

void OndaraHelperProxy::memoryUsage(DoublesReply reply) {
    if (directQuery(QStringLiteral("memoryUsage"), {}, {}, deliverArray<double>("ad", reply))) {
        return;
    }
    whenAnswered(remote->memoryUsage(), QStringLiteral("memoryUsage"),
                 deliverAs<QList<double>>(std::move(reply)));
}

void OndaraHelperProxy::visibleSections(IntegersReply reply) {
    integersQuery(remote->visibleSections(), QStringLiteral("visibleSections"), std::move(reply));
}

void OndaraHelperProxy::sensorUnits(IntegersReply reply) {
    integersQuery(remote->sensorUnits(), QStringLiteral("sensorUnits"), std::move(reply));
}

void OndaraHelperProxy::changeStateForSensor(const QString& sensorKey, const QString& type,
                                             bool state) {
    remote->changeStateForSensor(sensorKey, type, state);
}

void OndaraHelperProxy::changeTempUnitToCelsius(bool celsius) {
    remote->changeTempUnitToCelsius(celsius);
}

void OndaraHelperProxy::changeFanUnitToRPM(bool rpm) {
    remote->changeFanUnitToRPM(rpm);
}

void OndaraHelperProxy::changeVisibilityForSection(const QString& section, bool visible) {
    remote->changeVisibilityForSection(section, visible);
}

void OndaraHelperProxy::changeSensorWithNewSensor(quint32 sensor, const QString& component) {
    remote->changeSensorWithNewSensor(sensor, component);
}

void OndaraHelperProxy::sensorSources(SourcesReply reply) {
    whenAnswered(
        sourcesInterface().Sources(), QStringLiteral("Sources"),
        [reply](const QDBusMessage& message) {
            return canonicalDictionary(message, [&reply](const QVariantMap& sources) {
                reply(SensorRecordCodec::sources(sources));
            });
        },
        // An agent from before the interface answers that it has no such member.
        [reply](const QDBusError& error) {
            const bool older = error.type() == QDBusError::UnknownInterface ||
                               error.type() == QDBusError::UnknownMethod;
            if (older) {
                reply(std::nullopt);
            }
            return older;
        });
}
