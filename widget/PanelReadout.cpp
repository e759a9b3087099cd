#include "PanelReadout.h"

#include "HelperStateText.h"
#include "NamedAssets.h"
#include "PanelAlerts.h"
#include "SleepWatch.h"
#include "StatusNotifierItem.h"
#include "StatusNotifierMenu.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QSystemTrayIcon>
#include <algorithm>

namespace {

const QString kChosenKey = QStringLiteral("panelReading");
// Alerts on series the widget does not show get a line each up to this many.
constexpr qsizetype kNamedAlerts = 3;

const PanelReading* pick(const QList<PanelReading>& readings, const QString& key) {
    for (const PanelReading& reading : readings) {
        if (reading.key == key) {
            return &reading;
        }
    }
    // The hottest temperature, else the first reading there is.
    const PanelReading* hottest = nullptr;
    for (const PanelReading& reading : readings) {
        if (reading.kind == PanelReading::Kind::temperature &&
            (hottest == nullptr || reading.value > hottest->value)) {
            hottest = &reading;
        }
    }
    return hottest != nullptr ? hottest : (readings.isEmpty() ? nullptr : &readings.first());
}

StatusNotifierImages applicationImages() {
    StatusNotifierImages images;
    const QIcon icon = NamedAssets::applicationIcon();
    for (const int pixels : ReadoutIcon::pixelSizes()) {
        QImage image = icon.pixmap(QSize(pixels, pixels), 1.0).toImage();
        if (image.size() != QSize(pixels, pixels)) {
            image = image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        images.append(StatusNotifierImage::fromImage(image));
    }
    return images;
}

// Some hosts show the body as it stands, others read it as markup when it
// looks like markup. Plain lines read right in both; only text that would be
// taken for markup (a name with "<" or "&") is escaped, with markup's breaks.
QString busToolTipBody(const QStringList& lines) {
    const QString plain = lines.join(QLatin1Char('\n'));
    if (!plain.contains(QLatin1Char('<')) && !plain.contains(QLatin1Char('&'))) {
        return plain;
    }
    QStringList escaped;
    for (const QString& line : lines) {
        escaped.append(line.toHtmlEscaped());
    }
    return escaped.join(QStringLiteral("<br/>"));
}

} // namespace

PanelReadout::PanelReadout(WidgetWindow* window, OndaraHelperProtocol* helper,
                           OndaraHistoryProxy* history,
                           DistributedNotificationCenter* notifications, HelperPresence* presence,
                           const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                           const QString& stateFile, int intervalMilliseconds, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_helper(helper)
    , m_stateFile(stateFile)
    , m_readings(new PanelReadings(helper, notifications, presence, intervalMilliseconds, this))
    , m_alerts(new PanelAlerts(history, presence, this))
    , m_sleepWatch(new SleepWatch(intervalMilliseconds, systemBus, this))
    , m_menu(new QMenu(window))
    , m_busMenu(new StatusNotifierMenu(m_menu, this))
    , m_item(new StatusNotifierItem(sessionBus, QString::fromLatin1(StatusNotifierMenu::objectPath),
                                    this))
    , m_bus(sessionBus) {
    m_chosenKey = QSettings(m_stateFile, QSettings::IniFormat).value(kChosenKey).toString();
    if (m_chosenKey.isEmpty()) {
        m_chosenKey = hottestKey;
    }
    buildMenu();
    connect(m_readings, &PanelReadings::changed, this, [this] {
        rebuildChoices();
        show();
    });
    connect(m_alerts, &PanelAlerts::changed, this, [this] {
        nameUnshownAlerts();
        show();
    });
    connect(m_readings, &PanelReadings::ticked, m_sleepWatch, &SleepWatch::tickArrived);
    connect(m_readings, &PanelReadings::ticked, m_alerts, &PanelAlerts::refreshed);
    connect(m_sleepWatch, &SleepWatch::goingToSleep, m_readings, &PanelReadings::forget);
    connect(m_sleepWatch, &SleepWatch::resumed, this, [this] {
        m_readings->refreshNow();
        m_alerts->ask();
        TodayViewController* controller = m_window->controller();
        if (controller->isOnScreen()) {
            controller->widgetPerformUpdate({});
        }
    });
    connect(m_item, &StatusNotifierItem::activated, m_window, &WidgetWindow::toggleShown);
    connect(m_item, &StatusNotifierItem::contextMenuRequested, m_menu,
            [this](int x, int y) { m_menu->popup(QPoint(x, y)); });
    connect(m_item, &StatusNotifierItem::shownChanged, this, &PanelReadout::useTray);
    show();
}

PanelReadout::~PanelReadout() = default;

void PanelReadout::start() {
    m_busMenu->publish(m_bus);
    if (!m_item->publish()) {
        useTray(false);
    }
    m_readings->start();
    m_alerts->ask();
}

void PanelReadout::buildMenu() {
    QAction* showWidget = m_menu->addAction(tr("Show Widget"));
    showWidget->setCheckable(true);
    connect(showWidget, &QAction::triggered, m_window, [this](bool on) {
        if (on != m_window->isVisible()) {
            m_window->toggleShown();
        }
    });
    connect(m_window, &WidgetWindow::visibilityChanged, showWidget, &QAction::setChecked);
    showWidget->setChecked(m_window->isVisible());
    m_menu->addAction(tr("Open Ondara"), m_window->controller(), &TodayViewController::openApp);
    m_choiceMenu = m_menu->addMenu(tr("Reading in the Panel"));
    m_choices = new QActionGroup(m_choiceMenu);
    m_choices->setExclusive(true);
    rebuildChoices();
    m_menu->addAction(m_window->keepAboveAction());
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), qApp, &QApplication::quit);
}

void PanelReadout::rebuildChoices() {
    QStringList keys{hottestKey};
    for (const PanelReading& reading : m_readings->readings()) {
        keys.append(reading.key);
    }
    // While no readings come in the choices stay as they were.
    if (keys == m_choiceKeys || (keys.size() == 1 && !m_choiceKeys.isEmpty())) {
        return;
    }
    m_choiceKeys = keys;
    for (QAction* action : m_choices->actions()) {
        delete action;
    }
    const auto add = [this](const QString& text, const QString& key) {
        QAction* action = m_choiceMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(key == m_chosenKey);
        m_choices->addAction(action);
        connect(action, &QAction::triggered, this, [this, key] { choose(key); });
    };
    add(tr("Hottest Temperature"), hottestKey);
    for (const PanelReading& reading : m_readings->readings()) {
        add(reading.name, reading.key);
    }
    m_busMenu->menuChanged();
}

void PanelReadout::choose(const QString& key) {
    if (key == m_chosenKey) {
        return;
    }
    m_chosenKey = key;
    QSettings(m_stateFile, QSettings::IniFormat).setValue(kChosenKey, key);
    const qsizetype index = m_choiceKeys.indexOf(key);
    if (index >= 0 && index < m_choices->actions().size()) {
        m_choices->actions().at(index)->setChecked(true);
    }
    show();
}

void PanelReadout::show() {
    QString figure;
    ReadoutIcon::Tone tone = ReadoutIcon::Tone::normal;
    QStringList lines;
    const QList<PanelReading>& readings = m_readings->readings();
    switch (m_readings->state()) {
    case PanelReadings::State::waiting:
        lines.append(tr("Waiting for the first readings."));
        break;
    case PanelReadings::State::away: {
        // The words the widget's window shows in the same case.
        const std::optional<AgentStopRecord::Stop> stop = m_readings->stop();
        const HelperStateText::Reason reason =
            stop ? HelperStateText::Reason(stop->reason) : std::nullopt;
        lines.append(HelperStateText::headline(reason));
        lines.append(HelperStateText::widgetAdvice(reason));
        break;
    }
    case PanelReadings::State::current: {
        if (const PanelReading* shown = pick(readings, m_chosenKey)) {
            figure = shown->figure;
        } else {
            lines.append(tr("The widget shows no readings."));
        }
        // Any raised alert counts, also of a series the widget does not show.
        const QSet<QString>& raised = m_alerts->raised();
        if (!raised.isEmpty()) {
            tone = ReadoutIcon::Tone::warning;
        }
        for (const PanelReading& reading : readings) {
            lines.append(raised.contains(reading.series) ? tr("%1 (alert)").arg(reading.text)
                                                         : reading.text);
            if (reading.overBound) {
                tone = ReadoutIcon::Tone::warning;
            }
        }
        const QStringList unshown = unshownAlerts();
        for (qsizetype i = 0; i < std::min(unshown.size(), kNamedAlerts); ++i) {
            lines.append(tr("Alert: %1").arg(m_labels.name(unshown[i])));
        }
        if (unshown.size() > kNamedAlerts) {
            lines.append(QStringLiteral("…"));
        }
        break;
    }
    }
    const QString body = lines.join(QLatin1Char('\n'));
    if (m_drawn && figure == m_figure && tone == m_tone && body == m_body) {
        return;
    }
    const bool newIcon = !m_drawn || figure != m_figure || tone != m_tone;
    m_drawn = true;
    m_figure = figure;
    m_tone = tone;
    m_body = body;
    if (newIcon) {
        m_item->setIcon(figure.isEmpty() ? applicationImages() : m_icons.images(figure, tone),
                        tone == ReadoutIcon::Tone::warning);
        if (m_trayIcon != nullptr) {
            m_trayIcon->setIcon(figure.isEmpty() ? NamedAssets::applicationIcon()
                                                 : m_icons.icon(figure, tone));
        }
    }
    m_item->setToolTip(QStringLiteral("Ondara"), busToolTipBody(lines));
    if (m_trayIcon != nullptr) {
        m_trayIcon->setToolTip(QStringLiteral("Ondara\n") + body);
    }
    Q_EMIT shownChanged();
}

QStringList PanelReadout::unshownAlerts() const {
    // Asked at every refresh: with nothing raised, as nearly always, there
    // is nothing to set the readings against.
    if (m_alerts->raised().isEmpty()) {
        return {};
    }
    QSet<QString> shown;
    for (const PanelReading& reading : m_readings->readings()) {
        shown.insert(reading.series);
    }
    QStringList unshown;
    for (const QString& series : m_alerts->raised()) {
        if (!shown.contains(series)) {
            unshown.append(series);
        }
    }
    return m_labels.ordered(unshown);
}

void PanelReadout::nameUnshownAlerts() {
    if (m_helper == nullptr || unshownAlerts().isEmpty()) {
        return;
    }
    const QPointer<PanelReadout> self(this);
    SeriesLabels::fetch(*m_helper, [self](const SeriesLabels& labels) {
        if (self) {
            self->m_labels = labels;
            self->show();
        }
    });
}

void PanelReadout::useTray(bool statusNotifierShown) {
    // Qt's own tray icon talks to the same watcher where there is one, so it
    // is made only where the item has no host: the X11 tray.
    if (statusNotifierShown) {
        delete m_trayIcon;
        m_trayIcon = nullptr;
        return;
    }
    if (m_trayIcon != nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(m_figure.isEmpty() ? NamedAssets::applicationIcon()
                                           : m_icons.icon(m_figure, m_tone));
    m_trayIcon->setToolTip(QStringLiteral("Ondara\n") + m_body);
    m_trayIcon->setContextMenu(m_menu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, m_window,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    m_window->toggleShown();
                }
            });
    m_trayIcon->show();
}
