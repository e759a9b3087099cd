// Test helper: one process writing its own keys into a shared suite, one
// synchronize per round, printing the round number after each success.
//   defaults_writer DIR SUITE PREFIX COUNT [PAYLOAD_CHARACTERS]
// Round i sets PREFIX<i> = i and PREFIXcount = i + 1 (and, with a payload, a
// large string under PREFIXpayload so each write takes a while).

#include "defaults/UserDefaults.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const auto defaults = UserDefaults::openSuite(args.value(2), args.value(1));
    if (args.size() < 5 || !defaults) {
        std::fputs("usage: defaults_writer DIR SUITE PREFIX COUNT [PAYLOAD_CHARACTERS]\n", stderr);
        return 2;
    }
    const QString prefix = args.at(3);
    const QString payload(args.value(5).toInt(), QLatin1Char('x'));
    for (int i = 0; i < args.at(4).toInt(); ++i) {
        defaults->setObject(prefix + QString::number(i), qlonglong(i));
        defaults->setObject(prefix + QStringLiteral("count"), qlonglong(i + 1));
        if (!payload.isEmpty()) {
            defaults->setObject(prefix + QStringLiteral("payload"), payload);
        }
        // A lock wait that runs out leaves the changes pending for the next
        // attempt; the test counts on nothing being lost, not on every wait
        // ending in time on a loaded machine.
        int attempts = 0;
        while (!defaults->synchronize()) {
            if (++attempts == 5) {
                std::fprintf(stderr, "synchronize failed in round %d\n", i);
                return 1;
            }
        }
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}
