#pragma once

#include "ReadingsReport.h"
#include "ReadingsSnapshot.h"

#include <QObject>
#include <QString>
#include <QTimer>

class OndaraHelperProtocol;

// Gathers one ReadingsSnapshot from the agent: first the selection and the
// units, then the readings of what they show. Each collect() ends in exactly
// one finished or failed; answers of an earlier, abandoned round are ignored.
class ReadingsCollector : public QObject {
    Q_OBJECT
public:
    ReadingsCollector(OndaraHelperProtocol* helper, ReadingsReport::Scope scope,
                      QObject* parent = nullptr);

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
    QTimer deadline;
    ReadingsSnapshot snapshot;
    int round = 0;
    bool running = false;
    int outstanding = 0;
    bool readingPhase = false;
};
