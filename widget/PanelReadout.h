#pragma once

#include "PanelReadings.h"
#include "ReadoutIcon.h"
#include "SeriesLabels.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class DistributedNotificationCenter;
class HelperPresence;
class OndaraHelperProtocol;
class OndaraHistoryProxy;
class PanelAlerts;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class SleepWatch;
class StatusNotifierItem;
class StatusNotifierMenu;
class WidgetWindow;

// The widget's readings in the desktop's panel: one reading the user picks
// (the hottest temperature unless they pick another) as the status icon's
// figure, every reading in its tooltip, and a menu to show the widget, open
// the application, pick the reading, keep the widget above and quit.
//
// Where the desktop runs a status-notifier watcher (Plasma, GNOME with its
// indicator extension, most wlroots panels) the icon is a status-notifier
// item with the figure drawn at every size the host may ask for; elsewhere
// it is Qt's tray icon on the X11 tray, with the same images. Never both.
// The icon and the tooltip are sent only when what they show changes. The
// tile turns red while a reading is over its bound or an alert is raised.
class PanelReadout : public QObject {
    Q_OBJECT
public:
    // The reading shown unless the user picks another.
    static inline const QString hottestKey = QStringLiteral("hottest");

    // presence: the judgement of whether the agent is here that the window
    // follows too. history: where the agent's alerts are asked (may be null).
    PanelReadout(WidgetWindow* window, OndaraHelperProtocol* helper, OndaraHistoryProxy* history,
                 DistributedNotificationCenter* notifications, HelperPresence* presence,
                 const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                 const QString& stateFile, int intervalMilliseconds, QObject* parent = nullptr);
    ~PanelReadout() override;

    void start();

    PanelReadings* readings() const { return m_readings; }
    PanelAlerts* alerts() const { return m_alerts; }
    SleepWatch* sleepWatch() const { return m_sleepWatch; }
    StatusNotifierItem* item() const { return m_item; }
    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

    QString chosenKey() const { return m_chosenKey; }
    void choose(const QString& key);
    // What the icon shows now: the figure (empty for the application's own
    // icon), its tone, and the tooltip's body.
    QString figure() const { return m_figure; }
    ReadoutIcon::Tone tone() const { return m_tone; }
    QString toolTipBody() const { return m_body; }

Q_SIGNALS:
    // The icon or the tooltip changed.
    void shownChanged();

private:
    void buildMenu();
    void rebuildChoices();
    void show();
    void useTray(bool statusNotifierShown);
    // The raised alerts' series that no reading shows, in the setup
    // window's order; names them once the agent has said what they are.
    QStringList unshownAlerts() const;
    void nameUnshownAlerts();

    WidgetWindow* m_window;
    OndaraHelperProtocol* m_helper;
    // What the agent's series are called, asked only while an alert is
    // raised on one the widget does not show.
    SeriesLabels m_labels;
    QString m_stateFile;
    PanelReadings* m_readings;
    PanelAlerts* m_alerts;
    SleepWatch* m_sleepWatch;
    QMenu* m_menu;
    QMenu* m_choiceMenu = nullptr;
    QActionGroup* m_choices = nullptr;
    QStringList m_choiceKeys;
    StatusNotifierMenu* m_busMenu;
    StatusNotifierItem* m_item;
    QSystemTrayIcon* m_trayIcon = nullptr;
    ReadoutIcon m_icons;
    QDBusConnection m_bus;
    QString m_chosenKey;
    QString m_figure;
    ReadoutIcon::Tone m_tone = ReadoutIcon::Tone::normal;
    QString m_body;
    bool m_drawn = false;
};
