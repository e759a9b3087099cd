#include "AccessibleCustomTabView.h"

#include "CustomTabView.h"

#include <QStackedWidget>
#include <QTabBar>

AccessibleCustomTabView::AccessibleCustomTabView(CustomTabView* view)
    : AccessibleSelectiveView(view, QAccessible::Client) {}

QList<QWidget*> AccessibleCustomTabView::accessibleChildren() const {
    auto* view = static_cast<CustomTabView*>(widget());
    QList<QWidget*> children;
    for (QObject* child : view->children()) {
        auto* shown = qobject_cast<QWidget*>(child);
        if (shown && shown != view->tabBar() && !shown->isWindow()) {
            children.append(shown);
        }
    }
    return children;
}
