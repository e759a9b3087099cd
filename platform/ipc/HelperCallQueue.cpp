#include "ipc/HelperCallQueue.h"

#include "ipc/PendingBusReply.h"

#include <QTimer>

HelperCallQueue::HelperCallQueue(int maximumPerClient, QObject* parent)
    : QObject(parent)
    , maximumPerClient(maximumPerClient)
    , timer(new QTimer(this)) {
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, &HelperCallQueue::serveNext);
}

HelperCallQueue::~HelperCallQueue() {
    for (auto& [client, calls] : queues) {
        for (Call& call : calls) {
            if (call.reply) {
                call.reply->abandon();
            }
        }
    }
}

bool HelperCallQueue::enqueue(const QString& client, std::function<void()> run,
                              std::shared_ptr<PendingBusReply> reply) {
    std::deque<Call>& calls = queues[client];
    if (int(calls.size()) >= maximumPerClient) {
        return false;
    }
    if (calls.empty()) {
        turns.push_back(client);
    }
    calls.push_back({std::move(run), std::move(reply)});
    timer->start();
    return true;
}

void HelperCallQueue::dropClient(const QString& client) {
    const auto found = queues.find(client);
    if (found == queues.end()) {
        return;
    }
    // Nobody is left to take an answer; a command still changes what it asked.
    std::erase_if(found->second, [](Call& call) {
        if (call.reply) {
            call.reply->abandon();
        }
        return call.reply != nullptr;
    });
    if (found->second.empty()) {
        queues.erase(found);
        std::erase(turns, client);
    }
}

int HelperCallQueue::waiting(const QString& client) const {
    const auto found = queues.find(client);
    return found == queues.end() ? 0 : int(found->second.size());
}

void HelperCallQueue::serveNext() {
    if (turns.empty()) {
        return;
    }
    const QString client = turns.front();
    turns.pop_front();
    const auto found = queues.find(client);
    Call call = std::move(found->second.front());
    found->second.pop_front();
    if (found->second.empty()) {
        queues.erase(found);
    } else {
        turns.push_back(client);
    }
    if (!turns.empty()) {
        timer->start();
    }
    // Last: the call may enqueue or drop clients itself.
    call.run();
}
