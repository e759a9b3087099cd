#include "StatusNotifierMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QDBusConnection>
#include <QMenu>
#include <QTimer>

namespace {

// Hosts ask for whole trees; a menu deeper than this is cut there.
constexpr int kMaxDepth = 4;

// Mnemonics: "&" in Qt, "_" on the bus, where a "_" of the text is doubled.
QString busLabel(QString text) {
    text.replace(QLatin1Char('_'), QStringLiteral("__"));
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                label += QLatin1Char('&');
                ++i;
            } else {
                label += QLatin1Char('_');
            }
        } else {
            label += text[i];
        }
    }
    return label;
}

} // namespace

StatusNotifierMenu::StatusNotifierMenu(QMenu* menu, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
    , m_changeTimer(new QTimer(this)) {
    StatusNotifierTypes::registerTypes();
    // Many changes at once (a submenu rebuilt) make one new layout.
    m_changeTimer->setSingleShot(true);
    m_changeTimer->setInterval(0);
    connect(m_changeTimer, &QTimer::timeout, this, [this] {
        ++m_revision;
        Q_EMIT LayoutUpdated(m_revision, 0);
    });
}

StatusNotifierMenu::~StatusNotifierMenu() = default;

bool StatusNotifierMenu::publish(QDBusConnection bus) {
    return bus.registerObject(QString::fromLatin1(objectPath), this,
                              QDBusConnection::ExportScriptableContents |
                                  QDBusConnection::ExportAllProperties);
}

void StatusNotifierMenu::menuChanged() {
    m_changeTimer->start();
}

int StatusNotifierMenu::idOf(QAction* action) {
    const auto known = m_ids.constFind(action);
    if (known != m_ids.cend()) {
        return *known;
    }
    const int id = m_nextId++;
    m_ids.insert(action, id);
    m_actions.insert(id, action);
    connect(action, &QAction::changed, this, &StatusNotifierMenu::menuChanged);
    connect(action, &QObject::destroyed, this, [this, action, id] {
        m_ids.remove(action);
        m_actions.remove(id);
    });
    return id;
}

QAction* StatusNotifierMenu::actionOf(int id) const {
    return m_actions.value(id).data();
}

QVariantMap StatusNotifierMenu::propertiesOf(QAction* action, const QStringList& names) const {
    QVariantMap all;
    if (action->isSeparator()) {
        all.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        all.insert(QStringLiteral("label"), busLabel(action->text()));
    }
    // Defaults (enabled, visible) are left out, as the layout asks.
    if (!action->isEnabled()) {
        all.insert(QStringLiteral("enabled"), false);
    }
    if (!action->isVisible()) {
        all.insert(QStringLiteral("visible"), false);
    }
    if (action->isCheckable()) {
        const bool radio = action->actionGroup() != nullptr && action->actionGroup()->isExclusive();
        all.insert(QStringLiteral("toggle-type"),
                   radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        all.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu() != nullptr) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (names.isEmpty()) {
        return all;
    }
    QVariantMap asked;
    for (const QString& name : names) {
        if (all.contains(name)) {
            asked.insert(name, all.value(name));
        }
    }
    return asked;
}

QVariantMap StatusNotifierMenu::rootProperties(const QStringList& names) {
    if (!names.isEmpty() && !names.contains(QStringLiteral("children-display"))) {
        return {};
    }
    return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
}

MenuLayoutItem StatusNotifierMenu::layoutOf(int id, QMenu* menu, int depth,
                                            const QStringList& names) {
    MenuLayoutItem item;
    item.id = id;
    if (id != 0) {
        item.properties = propertiesOf(actionOf(id), names);
    } else {
        item.properties = rootProperties(names);
    }
    if (menu == nullptr || depth == 0) {
        return item;
    }
    for (QAction* action : menu->actions()) {
        item.children.append(layoutOf(idOf(action), action->menu(), depth - 1, names));
    }
    return item;
}

uint StatusNotifierMenu::GetLayout(int parentId, int recursionDepth,
                                   const QStringList& propertyNames, MenuLayoutItem& layout) {
    QMenu* menu = m_menu;
    if (parentId != 0) {
        QAction* action = actionOf(parentId);
        menu = action != nullptr ? action->menu() : nullptr;
    }
    const int depth = recursionDepth < 0 ? kMaxDepth : std::min(recursionDepth, kMaxDepth);
    if (parentId == 0 || actionOf(parentId) != nullptr) {
        layout = layoutOf(parentId, menu, depth, propertyNames);
    } else {
        layout = MenuLayoutItem{parentId, {}, {}};
    }
    return m_revision;
}

MenuItemPropertiesList StatusNotifierMenu::GetGroupProperties(const QList<int>& ids,
                                                              const QStringList& propertyNames) {
    MenuItemPropertiesList list;
    for (const int id : ids) {
        if (id == 0) {
            // Hosts read the root too, to know it holds the menu.
            list.append({0, rootProperties(propertyNames)});
        } else if (QAction* action = actionOf(id)) {
            list.append({id, propertiesOf(action, propertyNames)});
        }
    }
    return list;
}

QDBusVariant StatusNotifierMenu::GetProperty(int id, const QString& name) {
    QAction* action = actionOf(id);
    const QVariant value = id == 0             ? rootProperties({name}).value(name)
                           : action != nullptr ? propertiesOf(action, {name}).value(name)
                                               : QVariant();
    // The bus cannot carry an empty variant.
    return QDBusVariant(value.isValid() ? value : QVariant(QString()));
}

void StatusNotifierMenu::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                               uint /*timestamp*/) {
    QAction* action = actionOf(id);
    if (action == nullptr || eventId != QLatin1String("clicked") || !action->isEnabled()) {
        return;
    }
    // After the reply: Quit must not end the program inside the call.
    QMetaObject::invokeMethod(
        action, [action] { action->trigger(); }, Qt::QueuedConnection);
}

bool StatusNotifierMenu::AboutToShow(int id) {
    QMenu* menu = id == 0 ? m_menu : nullptr;
    if (QAction* action = actionOf(id)) {
        menu = action->menu();
    }
    if (menu != nullptr) {
        Q_EMIT menu->aboutToShow();
    }
    return false;
}

bool StatusNotifierMenu::knows(int id) const {
    return id == 0 || actionOf(id) != nullptr;
}

QList<int> StatusNotifierMenu::EventGroup(const QList<MenuEvent>& events) {
    QList<int> idErrors;
    for (const MenuEvent& event : events) {
        if (knows(event.id)) {
            Event(event.id, event.eventId, event.data, event.timestamp);
        } else {
            idErrors.append(event.id);
        }
    }
    return idErrors;
}

QList<int> StatusNotifierMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    // The layout is always current (a change is announced at once), so no
    // item needs to be read again.
    for (const int id : ids) {
        if (knows(id)) {
            AboutToShow(id);
        } else {
            idErrors.append(id);
        }
    }
    return {};
}
