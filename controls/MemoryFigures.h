#pragma once

#include <QCoreApplication>
#include <QStringList>

// The agent's memory figures by the names its lists use, and the words the
// programs show for them in the user's language.
class MemoryFigures {
    Q_DECLARE_TR_FUNCTIONS(MemoryFigures)
public:
    // The figures of the memory tiles, in their order.
    static const QStringList& shownInBoxes();
    // The shown name of a figure; a name the programs do not know stays as
    // the agent sent it.
    static QString displayName(const QString& figure);
};
