#pragma once

#include "Result.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

// A machine described in a property list: its SMC keys ("smc"), its drives'
// SMART data ("drives") and its memory figures ("memory"). The built-in demo
// machine and the test machines are such files; each backend reads its own
// section.
class MachineProfile {
public:
    // Reads an XML or binary property list (a Qt resource path works too).
    // A one-line reason when the file can't be read or its top level is not a
    // dictionary.
    static Result<MachineProfile> fromFile(const QString& path);
    static MachineProfile fromMap(const QVariantMap& root);

    QString name() const;
    QVariantMap smc() const;
    QVariantList drives() const;
    QVariantMap memory() const;
    bool hasSmc() const;
    bool hasDrives() const;
    bool hasMemory() const;

private:
    explicit MachineProfile(QVariantMap root);
    QVariantMap root;
};
