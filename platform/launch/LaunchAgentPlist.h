#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The parts of a launchd-style agent description that a user session can act
// on: which job it is, what to run and which bus name the program takes.
class LaunchAgentPlist {
public:
    // Reads an XML or binary property list. Nothing, with one line saying why
    // in *error, when the file is missing, unreadable, not a dictionary, has no
    // Label or no program to run.
    static std::optional<LaunchAgentPlist> read(const QString& path, QString* error);

    QString label() const { return m_label; }
    QStringList programArguments() const { return m_programArguments; }
    QString program() const { return m_programArguments.value(0); }
    // The first name under MachServices; empty when there is none.
    QString busName() const { return m_busName; }

private:
    QString m_label;
    QStringList m_programArguments;
    QString m_busName;
};
