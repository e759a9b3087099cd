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
    // Label or no program to run, or names no valid bus name.
    static std::optional<LaunchAgentPlist> read(const QString& path, QString* error);
    // Whether a text holds C0 or C1 control characters, which the unit file,
    // a file name or a terminal would read as more than text. Such labels,
    // arguments and bus names are refused.
    static bool holdsControlCharacters(const QString& text);

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
