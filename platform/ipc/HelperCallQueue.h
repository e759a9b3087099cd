#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class PendingBusReply;
class QTimer;

// The calls the agent has accepted and not yet served, one queue per client,
// served in turns: one call of each waiting client, then the next round. A
// client that floods the agent thus delays only itself; everyone else waits
// at most one call of each other client. Each call runs from the event loop
// on its own, so calls arriving meanwhile are queued (or refused) at once.
class HelperCallQueue : public QObject {
    Q_OBJECT
public:
    explicit HelperCallQueue(int maximumPerClient, QObject* parent = nullptr);
    ~HelperCallQueue() override;

    // Queues a call of `client`; false (and nothing queued) when that client
    // already has the maximum waiting. A query (one with a `reply`) is dropped,
    // its reply abandoned, should the client leave before its turn.
    bool enqueue(const QString& client, std::function<void()> run,
                 std::shared_ptr<PendingBusReply> reply = nullptr);
    // Forgets the queries of a client that has left (its commands still run).
    void dropClient(const QString& client);

    int waiting(const QString& client) const;

private:
    struct Call {
        std::function<void()> run;
        std::shared_ptr<PendingBusReply> reply;
    };
    void serveNext();

    int maximumPerClient;
    std::map<QString, std::deque<Call>> queues;
    // Clients with calls waiting, in the order they get their turn.
    std::deque<QString> turns;
    QTimer* timer;
};
