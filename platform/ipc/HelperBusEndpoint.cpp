#include "ipc/HelperBusEndpoint.h"

#include "OndaraHelperProtocol.h"
#include "SensorRecordCodec.h"
#include "ipc/IpcLogging.h"
#include "ipc/PendingBusReply.h"
#include "ipc/PropertyListDBus.h"

#include <QDBusError>
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

} // namespace

HelperBusEndpoint::HelperBusEndpoint(ServiceLookup lookup, QObject* parent)
    : QObject(parent)
    , lookup(std::move(lookup)) {}

OndaraHelperProtocol* HelperBusEndpoint::callerService() {
    OndaraHelperProtocol* service = lookup(message().service());
    if (!service && message().isReplyRequired()) {
        sendErrorReply(QDBusError::AccessDenied,
                       QStringLiteral("The agent does not serve this client"));
    }
    return service;
}

void HelperBusEndpoint::forwardQuery(
    const char* method,
    const std::function<void(OndaraHelperProtocol&, std::function<void(const QVariant&)>)>& call) {
    OndaraHelperProtocol* service = callerService();
    if (!service) {
        return;
    }
    setDelayedReply(true);
    auto pending = std::make_shared<PendingBusReply>(connection(), message());
    try {
        call(*service, [pending](const QVariant& value) { pending->answer(value); });
    } catch (const std::exception& error) {
        // An exception must never unwind into the bus dispatch: it would end the agent.
        qCWarning(lcIpc, "%s failed: %s", method, error.what());
        pending->fail(QString::fromUtf8(error.what()));
    } catch (...) {
        qCWarning(lcIpc, "%s failed", method);
        pending->fail(QStringLiteral("The request failed"));
    }
}

void HelperBusEndpoint::forwardCommand(const char* method,
                                       const std::function<void(OndaraHelperProtocol&)>& call) {
    OndaraHelperProtocol* service = callerService();
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
    forwardQuery("temperatureForSensors", [&sensors](OndaraHelperProtocol& service, Answer answer) {
        service.temperatureForSensors(sensors, integersAnswer(std::move(answer)));
    });
    return {};
}

QList<int> HelperBusEndpoint::rpmForFans(const QList<int>& fans) {
    forwardQuery("rpmForFans", [&fans](OndaraHelperProtocol& service, Answer answer) {
        service.rpmForFans(fans, integersAnswer(std::move(answer)));
    });
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
    forwardCommand("changeStateForSensor", [&](OndaraHelperProtocol& service) {
        service.changeStateForSensor(sensorKey, type, state);
    });
}

void HelperBusEndpoint::changeTempUnitToCelsius(bool celsius) {
    forwardCommand("changeTempUnitToCelsius", [&](OndaraHelperProtocol& service) {
        service.changeTempUnitToCelsius(celsius);
    });
}

void HelperBusEndpoint::changeFanUnitToRPM(bool rpm) {
    forwardCommand("changeFanUnitToRPM",
                   [&](OndaraHelperProtocol& service) { service.changeFanUnitToRPM(rpm); });
}

void HelperBusEndpoint::changeVisibilityForSection(const QString& section, bool visible) {
    forwardCommand("changeVisibilityForSection", [&](OndaraHelperProtocol& service) {
        service.changeVisibilityForSection(section, visible);
    });
}

void HelperBusEndpoint::changeSensorWithNewSensor(uint sensor, const QString& component) {
    forwardCommand("changeSensorWithNewSensor", [&](OndaraHelperProtocol& service) {
        service.changeSensorWithNewSensor(sensor, component);
    });
}

QVariantMap HelperBusEndpoint::Sources() {
    const QVariant answer = PropertyListDBus::toDBus(
        SensorRecordCodec::toPropertyList(sources ? sources() : SensorSources()));
    return answer.toMap();
}
