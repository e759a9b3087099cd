#include "ReadingsCollector.h"

#include "OndaraHelperProtocol.h"
#include "ReadingsReport.h"

#include <QPointer>

ReadingsCollector::ReadingsCollector(OndaraHelperProtocol* helper, ReadingsReport::Scope scope,
                                     SourcesQuery sources, QObject* parent)
    : QObject(parent)
    , helper(helper)
    , scope(scope)
    , sourcesQuery(std::move(sources)) {
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this,
            [this] { abort(QStringLiteral("the agent did not answer in time")); });
}

void ReadingsCollector::collect(int timeoutMs) {
    ++round;
    running = true;
    snapshot = ReadingsSnapshot();
    deadline.start(timeoutMs);
    askForSelection();
}

void ReadingsCollector::abort(const QString& reason) {
    if (!running) {
        return;
    }
    running = false;
    deadline.stop();
    Q_EMIT failed(reason);
}

bool ReadingsCollector::answered(int answerRound) {
    if (!running || answerRound != round) {
        return false;
    }
    --outstanding;
    return true;
}

void ReadingsCollector::phaseDone() {
    if (outstanding > 0) {
        return;
    }
    if (!readingPhase) {
        askForReadings();
        return;
    }
    running = false;
    deadline.stop();
    Q_EMIT finished(snapshot);
}

void ReadingsCollector::askForSelection() {
    readingPhase = false;
    const bool includeCandidates = scope == ReadingsReport::Scope::candidates;
    const bool includeSources = includeCandidates && sourcesQuery;
    outstanding = 4 + int(includeCandidates) + int(includeSources);
    // The proxy may outlive this object; a reply must not reach a dead collector.
    QPointer<ReadingsCollector> self(this);
    const int current = round;
    auto dictionaryInto = [self, current](QVariantMap ReadingsSnapshot::*field) {
        return [self, current, field](const QVariantMap& value) {
            if (self && self->answered(current)) {
                self->snapshot.*field = value;
                self->phaseDone();
            }
        };
    };
    helper->tempSensors(dictionaryInto(&ReadingsSnapshot::tempSensors));
    helper->fanSensors(dictionaryInto(&ReadingsSnapshot::fanSensors));
    helper->memSensors(dictionaryInto(&ReadingsSnapshot::memSensors));
    if (includeCandidates) {
        helper->machineSensorList(dictionaryInto(&ReadingsSnapshot::machineSensors));
    }
    if (includeSources) {
        sourcesQuery([self, current](const std::optional<SensorSources>& value) {
            if (self && self->answered(current)) {
                self->snapshot.sources = value;
                self->phaseDone();
            }
        });
    }
    helper->sensorUnits([self, current](const QList<int>& value) {
        if (self && self->answered(current)) {
            self->snapshot.units = value;
            self->phaseDone();
        }
    });
}

void ReadingsCollector::askForReadings() {
    readingPhase = true;
    outstanding = 3;
    QPointer<ReadingsCollector> self(this);
    const int current = round;
    const QList<quint32> codes = ReadingsReport::sensorCodesToRead(snapshot, scope);
    const QList<int> fans = ReadingsReport::fansToRead(snapshot, scope);
    helper->temperatureForSensors(codes, [self, current, codes](const QList<int>& value) {
        if (self && self->answered(current)) {
            for (qsizetype i = 0; i < codes.size() && i < value.size(); ++i) {
                self->snapshot.temperatures.insert(codes.at(i), value.at(i));
            }
            self->phaseDone();
        }
    });
    helper->rpmForFans(fans, [self, current, fans](const QList<int>& value) {
        if (self && self->answered(current)) {
            for (qsizetype i = 0; i < fans.size() && i < value.size(); ++i) {
                self->snapshot.fanSpeeds.insert(fans.at(i), value.at(i));
            }
            self->phaseDone();
        }
    });
    helper->memoryUsage([self, current](const QList<double>& value) {
        if (self && self->answered(current)) {
            self->snapshot.memory = value;
            self->phaseDone();
        }
    });
}
