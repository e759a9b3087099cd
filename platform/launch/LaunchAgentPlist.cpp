#include "LaunchAgentPlist.h"

#include "PropertyList.h"

#include <QFile>

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
    const auto parsed = PropertyList::parse(file.readAll());
    if (!parsed || !PropertyList::isDictionary(*parsed)) {
        return fail(QStringLiteral("not a property list dictionary"));
    }
    const QVariantMap top = parsed->toMap();

    LaunchAgentPlist plist;
    const QVariant label = top.value(QStringLiteral("Label"));
    if (label.typeId() != QMetaType::QString || label.toString().isEmpty()) {
        return fail(QStringLiteral("no Label"));
    }
    plist.m_label = label.toString();
    // The label names files of ours (unit, pid file): it must stay one plain
    // file name.
    if (plist.m_label.contains(QLatin1Char('/')) || plist.m_label.startsWith(QLatin1Char('.'))) {
        return fail(QStringLiteral("the Label \"%1\" is not a plain name").arg(plist.m_label));
    }

    for (const QVariant& argument :
         PropertyList::arrayOf(top.value(QStringLiteral("ProgramArguments")))
             .value_or(QVariantList())) {
        if (argument.typeId() != QMetaType::QString) {
            return fail(QStringLiteral("ProgramArguments holds something other than text"));
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
    if (plist.program().isEmpty()) {
        return fail(QStringLiteral("no program to run (ProgramArguments)"));
    }

    const QVariantMap services = top.value(QStringLiteral("MachServices")).toMap();
    if (!services.isEmpty()) {
        plist.m_busName = services.firstKey();
    }
    return plist;
}
