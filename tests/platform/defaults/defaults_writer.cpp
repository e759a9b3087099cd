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
    if (args.size() < 5) {
        std::fputs("usage: defaults_writer DIR SUITE PREFIX COUNT [PAYLOAD_CHARACTERS]\n", stderr);
        return 2;
    }
    const auto defaults = UserDefaults::openSuite(args.at(2), args.at(1));
    if (!defaults) {
        std::fputs("cannot open the suite\n", stderr);
        return 1;
    }
    const QString prefix = args.at(3);
    const int count = args.at(4).toInt();
    const QString payload =
        args.size() > 5 ? QString(args.at(5).toInt(), QLatin1Char('x')) : QString();
    for (int i = 0; i < count; ++i) {
        defaults->setObject(prefix + QString::number(i), qlonglong(i));
        defaults->setObject(prefix + QStringLiteral("count"), qlonglong(i + 1));
        if (!payload.isEmpty()) {
            defaults->setObject(prefix + QStringLiteral("payload"), payload);
        }
        if (!defaults->synchronize()) {
            std::fprintf(stderr, "synchronize failed in round %d\n", i);
            return 1;
        }
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}
