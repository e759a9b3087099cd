#pragma once

#include <QAccessible>

// Custom-painted widgets tell screen readers what they show through
// interfaces of their own. A widget's constructor installs the factory for
// its class; the first call installs it, later ones do nothing.
namespace AccessibleFactory {

template <typename Widget, typename Interface> void install() {
    static const bool installed = [] {
        QAccessible::installFactory([](const QString&, QObject* object) -> QAccessibleInterface* {
            auto* widget = qobject_cast<Widget*>(object);
            return widget ? new Interface(widget) : nullptr;
        });
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace AccessibleFactory
