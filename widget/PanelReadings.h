#pragma once

#include "SensorRecords.h"
#include "ipc/HelperPresence.h"

#include <QList>
#include <QObject>
#include <QString>

class DistributedNotificationCenter;
class OndaraHelperProtocol;
class QTimer;

// One reading as the panel shows it.
struct PanelReading {
    enum class Kind { temperature, fan, memory };
    Kind kind = Kind::temperature;
    QString key; // "temp:NAME", "fan:NUMBER", "mem:FIGURE": what the user picks
    // The agent's name for its history and alerts: "temp:TC0P" (by the
    // component's chosen sensor, not its name), "fan:0", "mem:Used".
    QString series;
    QString name;
    QString figure;   // the short figure an icon has room for
    QString text;     // name and value in the user's unit
    double value = 0; // degrees Celsius, rpm or GiB, to compare readings of a kind
    bool overBound = false;
    bool operator==(const PanelReading&) const = default;
};

// The widget's readings for the panel, asked of the agent on a timer of
// their own: the panel shows them whether the widget's window is open or
// not. The lists (which sensors, units, sections) are asked when they may
// have changed; each refresh asks only the values. Whether the agent is here
// is the shared judgement of HelperPresence, which the panel tells of each
// refresh and answer, as the widget's window does: readings are shown only
// while it says the agent is here.
class PanelReadings : public QObject {
    Q_OBJECT
public:
    enum class State { waiting, current, away };

    // helper and notifications may be null, presence may not; they must
    // outlive this object.
    PanelReadings(OndaraHelperProtocol* helper, DistributedNotificationCenter* notifications,
                  HelperPresence* presence, int intervalMilliseconds, QObject* parent = nullptr);
    ~PanelReadings() override;

    void start();
    State state() const { return m_state; }
    // Why the agent is away, when it left word (while away only).
    std::optional<AgentStopRecord::Stop> stop() const;
    // The readings of the shown sections: temperatures, fans, memory.
    const QList<PanelReading>& readings() const { return m_readings; }

public Q_SLOTS:
    // The timer's work.
    void tick();
    // Everything asked again at once, lists too; answers to earlier requests
    // are dropped.
    void refreshNow();
    // The values are no longer current (the machine is going to sleep): they
    // are not shown until fresh ones arrive.
    void forget();

Q_SIGNALS:
    // The readings or the state changed; nothing is sent otherwise.
    void changed();
    // A refresh is due; its receivers may ask for everything again.
    void ticked();
    // Every answer of a refresh is in, whether it changed anything or not.
    void refreshed();

private:
    void beginRound(bool withLists);
    void askLists();
    void askValues();
    template <typename Value>
    std::function<void(const Value&)> reply(void (PanelReadings::*store)(const Value&));
    void settle();
    void finishRound();
    void publish(State state, const QList<PanelReading>& readings);
    QList<PanelReading> build() const;

    void storeUnits(const QList<int>& units);
    void storeSections(const QList<int>& sections);
    void storeTemps(const QVariantMap& list);
    void storeFans(const QVariantMap& list);
    void storeMems(const QVariantMap& list);
    void storeTempValues(const QList<int>& values);
    void storeFanValues(const QList<int>& values);
    void storeMemValues(const QList<double>& values);

    void presenceChanged();

    OndaraHelperProtocol* m_helper;
    HelperPresence* m_presence;
    QTimer* m_timer;
    quint64 m_round = 0;
    int m_waiting = 0;
    bool m_listsKnown = false;
    bool m_valuesAsked = false;
    State m_state = State::waiting;
    QList<PanelReading> m_readings;

    QList<int> m_units{0, 0};
    QList<int> m_sections{1, 1, 1};
    QList<ActiveTemperature> m_temps;
    QList<ActiveFan> m_fans;
    QList<ActiveMemoryFigure> m_mems;
    QList<int> m_tempValues;
    QList<int> m_fanValues;
    QList<double> m_memValues;
};
