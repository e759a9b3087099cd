#include "MemoryFigures.h"

#include <array>

namespace {

struct Figure {
    const char* name;
    const char* shown;
};

// The names stay English in the agent's lists; only what is shown changes.
constexpr std::array kFigures{
    Figure{"Total", QT_TRANSLATE_NOOP("MemoryFigures", "Total")},
    Figure{"Used", QT_TRANSLATE_NOOP("MemoryFigures", "Used")},
    Figure{"Free", QT_TRANSLATE_NOOP("MemoryFigures", "Free")},
    Figure{"Wired", QT_TRANSLATE_NOOP("MemoryFigures", "Wired")},
    Figure{"Active", QT_TRANSLATE_NOOP("MemoryFigures", "Active")},
    Figure{"Inactive", QT_TRANSLATE_NOOP("MemoryFigures", "Inactive")},
    Figure{"Compressed", QT_TRANSLATE_NOOP("MemoryFigures", "Compressed")},
};

} // namespace

const QStringList& MemoryFigures::shownInBoxes() {
    static const QStringList figures{QStringLiteral("Wired"), QStringLiteral("Active"),
                                     QStringLiteral("Inactive"), QStringLiteral("Compressed")};
    return figures;
}

QString MemoryFigures::displayName(const QString& figure) {
    for (const Figure& known : kFigures) {
        if (figure == QLatin1StringView(known.name)) {
            return tr(known.shown);
        }
    }
    return figure;
}
