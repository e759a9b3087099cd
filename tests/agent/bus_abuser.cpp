// Test helper: a client no agent should have to serve, in a process of its
// own so that building and sending its calls costs the test nothing. Prints
// one line per answer (the error name, or "reply"), then exits.
//
//   bus_abuser codes N COUNT      COUNT calls of temperatureForSensors with N codes at once
//   bus_abuser text N             one changeStateForSensor whose key is N characters
//   bus_abuser commands COUNT     COUNT unit changes, without waiting for anything
//   bus_abuser leavers COUNT      COUNT clients that each ask and leave before the answer

#include "OndaraNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <cstdio>

namespace {

QDBusMessage helperCall(const QString& member, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(OndaraNames::helperServiceName,
                                                          OndaraNames::helperObjectPath,
                                                          OndaraNames::helperInterface, member);
    message.setArguments(arguments);
    return message;
}

void print(const QDBusMessage& reply) {
    std::printf("%s\n", reply.type() == QDBusMessage::ReplyMessage ? "reply"
                                                                   : qPrintable(reply.errorName()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString kind = arguments.value(1);
    const int size = arguments.value(2).toInt();
    QDBusConnection bus = QDBusConnection::sessionBus();
    QList<QDBusPendingCall> calls;
    if (kind == QLatin1String("codes")) {
        const QDBusMessage call = helperCall(QStringLiteral("temperatureForSensors"),
                                             {QVariant::fromValue(QList<uint>(size, 0x54433050u))});
        for (int i = arguments.value(3).toInt(); i > 0; --i) {
            calls.append(bus.asyncCall(call, 600000));
        }
    } else if (kind == QLatin1String("text")) {
        calls.append(bus.asyncCall(
            helperCall(QStringLiteral("changeStateForSensor"),
                       {QString(size, QLatin1Char('x')), QStringLiteral("Temps"), true}),
            600000));
    } else if (kind == QLatin1String("commands")) {
        for (int i = 0; i < size; ++i) {
            bus.send(helperCall(QStringLiteral("changeTempUnitToCelsius"), {i % 2 == 0}));
        }
        print(bus.call(helperCall(QStringLiteral("appVersion"), {}), QDBus::Block, 600000));
        return 0;
    } else if (kind == QLatin1String("leavers")) {
        // All of them connect, all ask, and all leave at once.
        QStringList names;
        for (int i = 0; i < size; ++i) {
            names.append(QStringLiteral("leaver%1").arg(i));
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, names.last());
        }
        for (const QString& name : names) {
            QDBusConnection(name).send(helperCall(QStringLiteral("tempSensors"), {}));
        }
        // The bus answers in order: once it has, the calls have reached the agent.
        for (const QString& name : names) {
            QDBusConnection(name).call(QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        }
        for (const QString& name : names) {
            QDBusConnection::disconnectFromBus(name);
        }
        return 0;
    } else {
        std::fprintf(stderr, "bus_abuser: unknown kind\n");
        return 2;
    }
    for (QDBusPendingCall& call : calls) {
        call.waitForFinished();
        print(call.reply());
    }
    return 0;
}
