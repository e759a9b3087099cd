#pragma once

// Errors in ondara-cli: a round that cannot be completed ends in failed()
// with a one-line reason, which main prints to standard error before it
// chooses the exit status; entries that are not the layout's are left out.

#include "ReadingsReport.h"
#include "ReadingsSnapshot.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class OndaraHelperProtocol;

// Gathers one ReadingsSnapshot from the agent: first the selection and the
// units, then the readings of what they show. Each collect() ends in exactly
// one finished or failed; answers of an earlier, abandoned round are ignored.
class ReadingsCollector : public QObject {
    Q_OBJECT
public:
    // Asks the agent what stands behind its keys; the answer is nothing when
    // the agent does not say.
    using SourcesReply = std::function<void(const std::optional<SensorSources>&)>;
    using SourcesQuery = std::function<void(SourcesReply)>;

    // The full report (Scope::candidates) also asks `sources`, when given.
    ReadingsCollector(OndaraHelperProtocol* helper, ReadingsReport::Scope scope,
                      SourcesQuery sources = {}, QObject* parent = nullptr);

    // Fails the round when the agent has not answered everything within timeoutMs.
    void collect(int timeoutMs);

public Q_SLOTS:
    // Ends the running round with failed(reason); nothing happens between rounds.
    void abort(const QString& reason);

Q_SIGNALS:
    void finished(const ReadingsSnapshot& snapshot);
    void failed(const QString& reason);

private:
    void askForSelection();
    void askForReadings();
    // Counts one answer of the running round; returns false for a stale one.
    bool answered(int round);
    void phaseDone();

    OndaraHelperProtocol* helper;
    ReadingsReport::Scope scope;
    SourcesQuery sourcesQuery;
    QTimer deadline;
    ReadingsSnapshot snapshot;
    int round = 0;
    bool running = false;
    int outstanding = 0;
    bool readingPhase = false;
};
