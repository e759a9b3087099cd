#include "LaunchAgentPlist.h"

#include "PropertyList.h"
#include "PropertyListBounds.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace {

// A well-known D-Bus name: two or more dot-separated elements of letters,
// digits, "_" and "-", none starting with a digit, at most 255 characters.
bool isBusName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    return name.size() <= 255 && pattern.match(name).hasMatch();
}

} // namespace

bool LaunchAgentPlist::holdsControlCharacters(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
    });
}

std::optional<LaunchAgentPlist> LaunchAgentPlist::read(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    QFile file(path);
    if (!file.exists()) {
        return fail(QStringLiteral("no such file"));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(file.errorString());
    }
    const auto parsed = PropertyList::parse(file.read(PropertyListBounds::maximumSize + 1));
    if (!parsed || !PropertyList::isDictionary(*parsed)) {
        return fail(QStringLiteral("not a property list dictionary"));
    }
    const QVariantMap top = parsed->toMap();

    LaunchAgentPlist plist;
    const QVariant label = top.value(QStringLiteral("Label"));
    // Everything below ends up in unit files, file names and command lines,
    // where a line break or an escape would be read as more than its text.
    if (label.typeId() != QMetaType::QString || label.toString().isEmpty()) {
        return fail(QStringLiteral("no Label"));
    }
    plist.m_label = label.toString();
    // The label names files of ours (unit, pid file): it must stay one plain
    // file name.
    if (plist.m_label.contains(QLatin1Char('/')) || plist.m_label.startsWith(QLatin1Char('.')) ||
        holdsControlCharacters(plist.m_label)) {
        return fail(QStringLiteral("the Label \"%1\" is not a plain name").arg(plist.m_label));
    }

    for (const QVariant& argument :
         PropertyList::arrayOf(top.value(QStringLiteral("ProgramArguments")))
             .value_or(QVariantList())) {
        if (argument.typeId() != QMetaType::QString) {
            return fail(QStringLiteral("ProgramArguments holds something other than text"));
        }
        if (holdsControlCharacters(argument.toString())) {
            return fail(QStringLiteral("ProgramArguments holds control characters"));
        }
        plist.m_programArguments.append(argument.toString());
    }
    // launchd's Program key names the program when ProgramArguments leaves it out.
    const QVariant program = top.value(QStringLiteral("Program"));
    if (program.typeId() == QMetaType::QString && !program.toString().isEmpty()) {
        if (plist.m_programArguments.isEmpty()) {
            plist.m_programArguments.append(program.toString());
        } else {
            plist.m_programArguments[0] = program.toString();
        }
    }
    if (holdsControlCharacters(plist.program())) {
        return fail(QStringLiteral("Program holds control characters"));
    }
    if (plist.program().isEmpty()) {
        return fail(QStringLiteral("no program to run (ProgramArguments)"));
    }

    const QVariantMap services = top.value(QStringLiteral("MachServices")).toMap();
    if (!services.isEmpty()) {
        plist.m_busName = services.firstKey();
        if (!isBusName(plist.m_busName)) {
            return fail(QStringLiteral("MachServices names no bus name"));
        }
    }
    return plist;
}
