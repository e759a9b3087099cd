#include "ipc/HelperBusEndpoint.h"

#include "OndaraHelperProtocol.h"
#include "SensorRecordCodec.h"
#include "ipc/HelperCallQueue.h"
#include "ipc/HelperHistoryService.h"
#include "ipc/IpcLogging.h"
#include "ipc/PendingBusReply.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <exception>
#include <memory>

namespace {

using Answer = std::function<void(const QVariant&)>;

OndaraHelperProtocol::DictionaryReply dictionaryAnswer(Answer answer) {
    return [answer = std::move(answer)](const QVariantMap& value) {
        answer(PropertyListDBus::toDBus(value));
    };
}

OndaraHelperProtocol::IntegersReply integersAnswer(Answer answer) {
    return [answer = std::move(answer)](const QList<int>& value) {
        answer(QVariant::fromValue(value));
    };
}

// QtDBus turns an array argument into a QList before any slot sees it: a
// client's array of millions of codes alone would stall the agent for a
// second. In a process that serves the agent, lists of integers arrive only as
// call arguments (and as replies no longer than the limit), so reading them
// stops one element past the limit and the endpoint refuses such a list.
template <typename T> void demarshallBounded(const QDBusArgument& argument, void* data) {
    auto& list = *static_cast<QList<T>*>(data);
    list.clear();
    argument.beginArray();
    while (!argument.atEnd() && list.size() <= HelperBusEndpoint::maximumElements) {
        T item{};
        argument >> item;
        list.append(item);
    }
    argument.endArray();
}

template <typename T> void marshallList(QDBusArgument& argument, const void* data) {
    argument << *static_cast<const QList<T>*>(data);
}

void boundIncomingLists() {
    static const bool bound = [] {
        // Qt registers its own operators for these types when it first needs
        // them; registering them first makes ours the ones that stay.
        qDBusRegisterMetaType<QList<uint>>();
        qDBusRegisterMetaType<QList<int>>();
        QDBusMetaType::registerMarshallOperators(QMetaType::fromType<QList<uint>>(),
                                                 marshallList<uint>, demarshallBounded<uint>);
        QDBusMetaType::registerMarshallOperators(QMetaType::fromType<QList<int>>(),
                                                 marshallList<int>, demarshallBounded<int>);
        return true;
    }();
    Q_UNUSED(bound);
}

} // namespace

HelperBusEndpoint::HelperBusEndpoint(ServiceLookup lookup, QObject* parent)
    : QObject(parent)
    , lookup(std::move(lookup))
    , queue(new HelperCallQueue(maximumCallsInFlight, this)) {
    boundIncomingLists();
}

HelperBusEndpoint::~HelperBusEndpoint() = default;

void HelperBusEndpoint::dropClient(const QString& clientUniqueName) {
    queue->dropClient(clientUniqueName);
}

void HelperBusEndpoint::refuse(QDBusError::ErrorType type, const QString& text) {
    // A command sent without wanting a reply is dropped without a word.
    if (message().isReplyRequired()) {
        sendErrorReply(type, text);
    }
}

bool HelperBusEndpoint::acceptsElements(qsizetype count) {
    if (count <= maximumElements) {
        return true;
    }
    refuse(QDBusError::InvalidArgs,
           QStringLiteral("At most %1 elements are read in one call").arg(maximumElements));
    return false;
}

bool HelperBusEndpoint::acceptsTexts(std::initializer_list<const QString*> texts) {
    for (const QString* text : texts) {
        if (text->size() > maximumTextLength) {
            refuse(QDBusError::InvalidArgs,
                   QStringLiteral("Texts of more than %1 characters name nothing here")
                       .arg(maximumTextLength));
            return false;
        }
    }
    return true;
}

void HelperBusEndpoint::forwardQuery(const char* method, QueryCall call) {
    const QString client = message().service();
    setDelayedReply(true);
    auto pending = std::make_shared<PendingBusReply>(connection(), message());
    auto run = [this, method, client, pending, call = std::move(call)] {
        OndaraHelperProtocol* service = lookup(client);
        if (!service) {
            pending->fail(QDBusError::AccessDenied,
                          QStringLiteral("The agent does not serve this client"));
            return;
        }
        try {
            call(*service, [pending](const QVariant& value) { pending->answer(value); });
        } catch (const std::exception& error) {
            // An exception must never unwind into the event loop: it would end the agent.
            qCWarning(lcIpc, "%s failed: %s", method, error.what());
            pending->fail(QString::fromUtf8(error.what()));
        } catch (...) {
            qCWarning(lcIpc, "%s failed", method);
            pending->fail(QStringLiteral("The request failed"));
        }
    };
    if (!queue->enqueue(client, std::move(run), pending)) {
        pending->fail(QDBusError::LimitsExceeded,
                      QStringLiteral("Too many calls of this client are waiting"));
    }
}

void HelperBusEndpoint::forwardCommand(const char* method,
                                       std::function<void(OndaraHelperProtocol&)> call) {
    const QString client = message().service();
    auto run = [this, method, client, call = std::move(call)] {
        OndaraHelperProtocol* service = lookup(client);
        if (!service) {
            return;
        }
        try {
            call(*service);
        } catch (const std::exception& error) {
            qCWarning(lcIpc, "%s failed: %s", method, error.what());
        } catch (...) {
            qCWarning(lcIpc, "%s failed", method);
        }
    };
    if (!queue->enqueue(client, std::move(run))) {
        refuse(QDBusError::LimitsExceeded,
               QStringLiteral("Too many calls of this client are waiting"));
    }
}

double HelperBusEndpoint::appVersion() {
    forwardQuery("appVersion", [](OndaraHelperProtocol& service, Answer answer) {
        service.appVersion([answer](double value) { answer(value); });
    });
    return 0;
}

QVariantMap HelperBusEndpoint::tempSensors() {
    forwardQuery("tempSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.tempSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::fanSensors() {
    forwardQuery("fanSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.fanSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::memSensors() {
    forwardQuery("memSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.memSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::machineSensorList() {
    forwardQuery("machineSensorList", [](OndaraHelperProtocol& service, Answer answer) {
        service.machineSensorList(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::activeTempSensors() {
    forwardQuery("activeTempSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.activeTempSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::activeFanSensors() {
    forwardQuery("activeFanSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.activeFanSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QVariantMap HelperBusEndpoint::activeMemSensors() {
    forwardQuery("activeMemSensors", [](OndaraHelperProtocol& service, Answer answer) {
        service.activeMemSensors(dictionaryAnswer(std::move(answer)));
    });
    return {};
}

QList<int> HelperBusEndpoint::temperatureForSensors(const QList<uint>& sensors) {
    if (acceptsElements(sensors.size())) {
        forwardQuery("temperatureForSensors",
                     [sensors](OndaraHelperProtocol& service, Answer answer) {
                         service.temperatureForSensors(sensors, integersAnswer(std::move(answer)));
                     });
    }
    return {};
}

QList<int> HelperBusEndpoint::rpmForFans(const QList<int>& fans) {
    if (acceptsElements(fans.size())) {
        forwardQuery("rpmForFans", [fans](OndaraHelperProtocol& service, Answer answer) {
            service.rpmForFans(fans, integersAnswer(std::move(answer)));
        });
    }
    return {};
}

QList<double> HelperBusEndpoint::memoryUsage() {
    forwardQuery("memoryUsage", [](OndaraHelperProtocol& service, Answer answer) {
        service.memoryUsage(
            [answer](const QList<double>& value) { answer(QVariant::fromValue(value)); });
    });
    return {};
}

QList<int> HelperBusEndpoint::visibleSections() {
    forwardQuery("visibleSections", [](OndaraHelperProtocol& service, Answer answer) {
        service.visibleSections(integersAnswer(std::move(answer)));
    });
    return {};
}

QList<int> HelperBusEndpoint::sensorUnits() {
    forwardQuery("sensorUnits", [](OndaraHelperProtocol& service, Answer answer) {
        service.sensorUnits(integersAnswer(std::move(answer)));
    });
    return {};
}

void HelperBusEndpoint::changeStateForSensor(const QString& sensorKey, const QString& type,
                                             bool state) {
    if (acceptsTexts({&sensorKey, &type})) {
        forwardCommand("changeStateForSensor", [=](OndaraHelperProtocol& service) {
            service.changeStateForSensor(sensorKey, type, state);
        });
    }
}

void HelperBusEndpoint::changeTempUnitToCelsius(bool celsius) {
    forwardCommand("changeTempUnitToCelsius", [=](OndaraHelperProtocol& service) {
        service.changeTempUnitToCelsius(celsius);
    });
}

void HelperBusEndpoint::changeFanUnitToRPM(bool rpm) {
    forwardCommand("changeFanUnitToRPM",
                   [=](OndaraHelperProtocol& service) { service.changeFanUnitToRPM(rpm); });
}

void HelperBusEndpoint::changeVisibilityForSection(const QString& section, bool visible) {
    if (acceptsTexts({&section})) {
        forwardCommand("changeVisibilityForSection", [=](OndaraHelperProtocol& service) {
            service.changeVisibilityForSection(section, visible);
        });
    }
}

void HelperBusEndpoint::changeSensorWithNewSensor(uint sensor, const QString& component) {
    if (acceptsTexts({&component})) {
        forwardCommand("changeSensorWithNewSensor", [=](OndaraHelperProtocol& service) {
            service.changeSensorWithNewSensor(sensor, component);
        });
    }
}

QVariantMap HelperBusEndpoint::Sources() {
    const QVariant answer = PropertyListDBus::toDBus(
        SensorRecordCodec::toPropertyList(sources ? sources() : SensorSources()));
    return answer.toMap();
}

template <typename Call> bool HelperBusEndpoint::historyCall(const char* method, Call call) {
    if (!history) {
        refuse(QDBusError::UnknownInterface, QStringLiteral("The agent keeps no history"));
        return false;
    }
    QString problem;
    try {
        problem = call(*history);
        if (problem.isEmpty()) {
            return true;
        }
        refuse(QDBusError::InvalidArgs, problem);
    } catch (const std::exception& error) {
        qCWarning(lcIpc, "%s failed: %s", method, error.what());
        refuse(QDBusError::Failed, QStringLiteral("The request failed"));
    } catch (...) {
        qCWarning(lcIpc, "%s failed", method);
        refuse(QDBusError::Failed, QStringLiteral("The request failed"));
    }
    return false;
}

QStringList HelperBusEndpoint::Series() {
    QStringList answer;
    historyCall("Series", [&answer](HelperHistoryService& service) {
        answer = service.series();
        return QString();
    });
    return answer;
}

QList<HistoryBucket> HelperBusEndpoint::Samples(const QString& series, qlonglong since,
                                                qlonglong until, uint maxPoints) {
    QList<HistoryBucket> answer;
    if (!acceptsTexts({&series})) {
        return answer;
    }
    historyCall("Samples", [&](HelperHistoryService& service) {
        auto samples = service.samples(series, since, until, maxPoints);
        if (!samples) {
            return samples.error();
        }
        answer = std::move(*samples);
        return QString();
    });
    return answer;
}

uint HelperBusEndpoint::Interval() {
    uint answer = 0;
    historyCall("Interval", [&answer](HelperHistoryService& service) {
        answer = service.interval();
        return QString();
    });
    return answer;
}

QList<QVariantMap> HelperBusEndpoint::Rules() {
    QList<QVariantMap> answer;
    historyCall("Rules", [&answer](HelperHistoryService& service) {
        for (const AlertRule& rule : service.rules()) {
            // The bus carries the contract's own types: forSeconds as u.
            QVariantMap entry = rule.toPropertyList(true);
            entry.insert(QStringLiteral("forSeconds"), uint(rule.forSeconds));
            answer.append(entry);
        }
        return QString();
    });
    return answer;
}

void HelperBusEndpoint::SetRule(const QString& series, double above, double clearBelow,
                                uint forSeconds, bool enabled) {
    if (!acceptsTexts({&series})) {
        return;
    }
    historyCall("SetRule", [&](HelperHistoryService& service) {
        return service.setRule({series, above, clearBelow, forSeconds, enabled}).error();
    });
}

void HelperBusEndpoint::RemoveRule(const QString& series) {
    if (!acceptsTexts({&series})) {
        return;
    }
    historyCall("RemoveRule",
                [&](HelperHistoryService& service) { return service.removeRule(series).error(); });
}
