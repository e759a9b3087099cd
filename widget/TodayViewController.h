#pragma once

// Errors in the widget: an absent or silent agent leaves the views as they
// are, and answers that are not entries are left out. Only main ends the
// program.

#include "OndaraNames.h"
#include "ipc/HelperPresence.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class DistributedNotificationCenter;
class FanBoxView;
class Gauge;
class OndaraHelperProtocol;
class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;
class QTimer;
class QUrl;
class UserDefaults;
class WidgetBoxView;
class WidgetTabView;
class WidgetTabViewItem;
namespace Ui {
class TodayViewController;
}

// The widget's view and its controller: the readings the user chose, in up to
// three tabs (temperatures, fans, memory). Everything shown comes from the
// agent; the settings suite gives only whether the agent is installed and
// the tab selected last. While the view is on screen the selected tab is
// refreshed every 4 seconds; while it is not, nothing is asked at all.
// While the agent is away or stopped, a line under the tabs says so, with
// "Open Ondara", and the readings dim.
class TodayViewController : public QWidget {
    Q_OBJECT
public:
    // The host's answer to widgetPerformUpdate.
    enum class UpdateResult { newData = 0, noData = 1, failed = 2 };

    static constexpr int kRefreshMilliseconds = 4000;
    static constexpr int kViewWidth = 320;

    // helper, notifications and defaults may be null (no agent connection, no
    // bus, no settings suite); they must outlive the controller.
    TodayViewController(OndaraHelperProtocol* helper, DistributedNotificationCenter* notifications,
                        UserDefaults* defaults, QWidget* parent = nullptr);
    ~TodayViewController() override;

    // The host's entry points.
    void viewDidAppear();
    void viewWillDisappear();
    void widgetPerformUpdate(const std::function<void(UpdateResult)>& completion);
    bool isOnScreen() const { return m_onScreen; }

    // How opening the application is tried: first the URL, then a direct
    // start of the program. Both answer whether they succeeded.
    using UrlOpener = std::function<bool(const QUrl&)>;
    using ProgramStarter = std::function<bool()>;
    void setApplicationOpeners(UrlOpener openUrl, ProgramStarter startProgram);
    // Whether selecting a tab is remembered in the suite (a screenshot
    // selects a tab without that).
    void setRemembersSelectedTab(bool on) { m_remembersTab = on; }

    // The size the host window should have.
    QSize preferredContentSize() const { return m_preferredContentSize; }
    const QList<int>& units() const { return m_units; }
    const QList<int>& visibleSections() const { return m_visibleSections; }
    const QList<WidgetBoxView*>& tempBoxes() const { return m_tempBoxes; }
    const QList<FanBoxView*>& fanBoxes() const { return m_fanBoxes; }
    const QList<WidgetBoxView*>& memBoxes() const { return m_memBoxes; }
    const QList<WidgetTabViewItem*>& allTabs() const { return m_allTabs; }
    WidgetTabView* tabView() const;
    Gauge* memBar() const;
    QLabel* totalMemLabel() const;
    QLabel* noSectionsMsg() const;
    QLabel* configureMsg() const;
    // The line shown while the agent is away, and its button.
    QWidget* awayMessage() const { return m_away; }
    QLabel* awayText() const { return m_awayText; }
    QPushButton* awayOpenButton() const { return m_awayOpen; }
    void setHelperPresence(HelperPresence::State state,
                           const std::optional<AgentStopRecord::Stop>& stop = std::nullopt);
    bool readingsStale() const { return m_stale; }
    // Shows what the presence judges from now on, tells it of each refresh and
    // answer, and asks for everything again whenever the agent appears.
    void follow(HelperPresence* presence);
    // Row views by section (0 temperatures, 1 fans, 2 memory) and row.
    QWidget* row(int section, int index) const;
    bool timerActive() const;
    // Whether the list of this tab's section has been laid out since start.
    bool hasLaidOut(const QString& tabIdentifier) const {
        return m_laidOut.contains(tabIdentifier);
    }

    // The text of a whole-degree Celsius reading: as it is, or in Fahrenheit
    // rounded half up.
    static QString temperatureText(int celsius, bool inCelsius);
    // The agent's notifications after which what the widget shows may differ.
    static constexpr std::array<QLatin1StringView, 5> observedNotifications{
        OndaraNames::Notifications::tempsDidChange, OndaraNames::Notifications::fansDidChange,
        OndaraNames::Notifications::memDidChange, OndaraNames::Notifications::sectionsDidChange,
        OndaraNames::Notifications::unitsDidChange};

public Q_SLOTS:
    void openApp();
    void updateReadings();
    // Another refresh of the same period (the panel's) has just run: while on
    // screen, refresh now too and let the timer wait on, so both share one
    // wakeup of this program and of the agent. The timer still refreshes
    // should the other stop.
    void refreshAlongside();
    void defaultsDidChange(const QString& name);
    // The agent's bus name has a new owner: ask again for everything that
    // appearing asks for, since a new agent may hold another selection.
    void agentDidRestart();

Q_SIGNALS:
    void preferredContentSizeChanged(QSize size);
    // A reply of the readings of this tab has been shown.
    void readingsShown(const QString& tabIdentifier);
    // A refresh asked the agent for readings.
    void readingsRequested();

private:
    void viewDidLoad();
    void showMessages();
    void tabDidSelect(WidgetTabViewItem* item);
    void askForEverything();
    void askUnits();
    void askSections();
    void askTempList();
    void askFanList();
    void askMemList();
    void startTimer();

    void layOutTemps(const QVariantMap& reply);
    void layOutFans(const QVariantMap& reply);
    void layOutMems(const QVariantMap& reply);
    // Shows the rows a section needs for this many entries.
    void showRows(int section, qsizetype entries);
    void afterLayingOut(int section);
    void updateTemps();
    void updateFans();
    void askMemoryUsage();
    void showTemps(const QList<int>& reply, bool celsius);
    void showFans(const QList<int>& reply, bool percent);
    void showMemory(const QList<double>& reply);
    void applySections();
    int heightForTab(const QString* identifier);
    void resizeForTab(const QString* identifier);

    // The agent while the view is on screen, else null: a hidden widget
    // sends nothing.
    OndaraHelperProtocol* helper() const;
    template <typename Value, typename Handler>
    std::function<void(const Value&)> later(Handler handler);

    std::unique_ptr<Ui::TodayViewController> ui;
    OndaraHelperProtocol* m_helper;
    DistributedNotificationCenter* m_notifications;
    UserDefaults* m_defaults;
    QList<WidgetBoxView*> m_tempBoxes;
    QList<FanBoxView*> m_fanBoxes;
    QList<WidgetBoxView*> m_memBoxes;
    QList<int> m_visibleSections{1, 1, 1};
    QList<int> m_units{0, 0};
    QTimer* m_timer = nullptr;
    qreal m_spacer = 20;
    QList<WidgetTabViewItem*> m_allTabs;
    QSize m_preferredContentSize;
    QSet<QString> m_laidOut;
    bool m_onScreen = false;
    bool m_remembersTab = true;
    UrlOpener m_openUrl;
    ProgramStarter m_startProgram;
    QWidget* m_away = nullptr;
    QLabel* m_awayText = nullptr;
    QPushButton* m_awayOpen = nullptr;
    QList<QGraphicsOpacityEffect*> m_dimmers;
    bool m_stale = false;
    // The memory figures last shown; empty while the bar is to be drawn anew.
    QList<double> m_shownMemory;
};
