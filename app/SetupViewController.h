#pragma once

#include "BoxViewDelegate.h"
#include "SensorRecords.h"
#include "ipc/HelperPresence.h"

#include <QList>
#include <QVariantMap>
#include <QWidget>

class BoxFanView;
class BoxFocusGroup;
class BoxView;
class CustomTabView;
class Gauge;
class HelperBanner;
class QGraphicsOpacityEffect;
class OndaraHelperProtocol;
class QCheckBox;
class QLabel;
class QTimer;
class SegmentedControl;

namespace Ui {
class SetupViewController;
}

// The application's window: three panels of live tiles (temperatures, fans,
// memory) in a tab view, where the user chooses what the widget shows (up to
// nine readings per panel), the units and the visible sections. Every change
// goes to the agent as a command; the window keeps no settings of its own.
//
// It asks the agent for its four sensor dictionaries when created and fills
// the panels when all four have arrived (or after a second with whatever
// came); asking again later (the agent appeared anew) fills them again.
// While shown it refreshes every reading every 5 seconds, every 4 once the
// fan or memory panel has been opened.
//
// While the agent is away (or stopped) a banner above the panels says so, the
// tiles, unit selectors, section check boxes and gears are disabled, so that
// no click looks as if it took effect, and the readings dim; all of it clears
// when the agent answers again. Readings that went two refreshes without an
// answer dim too.
//
// With the keyboard, Tab goes from the panel selector to the panel's unit
// selector, its tiles (one stop; the arrows move between them), the section
// check boxes and the update button, and round again.
class SetupViewController : public QWidget, public BoxViewDelegate {
    Q_OBJECT
public:
    static constexpr int maxNumberOfSensorsInWidget = 9;
    static constexpr double kPanelRefreshInterval = 4.0;
    // How long the window waits for the dictionaries before it shows what it has.
    static constexpr int kDictionaryWaitMs = 1000;

    explicit SetupViewController(OndaraHelperProtocol* helper, QWidget* parent = nullptr);
    ~SetupViewController() override;

    OndaraHelperProtocol* helper() const { return m_helper; }

    CustomTabView* mainTabView() const;
    // Rows 1 to 3 of the temperature panel, 1 and 2 of the fan panel.
    QWidget* tempStack(int row) const;
    QWidget* fanStack(int row) const;
    // The check boxes by tag: 0 temperatures, 1 fans, 2 memory.
    QCheckBox* showCheck(int tag) const;
    SegmentedControl* tempUnitSelector() const;
    SegmentedControl* fanUnitSelector() const;
    Gauge* memBar() const;
    QLabel* totalMemoryLabel() const;
    QLabel* helpMsg() const;
    QLabel* noSensorsMsg() const;
    QLabel* noFansMsg() const;
    HelperBanner* helperBanner() const { return m_banner; }

    // The agent came, went or stopped (HelperPresence's judgement).
    void setHelperPresence(HelperPresence::State state,
                           const std::optional<AgentStopRecord::Stop>& stop = std::nullopt);
    bool helperPresent() const { return m_helperPresent; }
    // Shows what the presence judges from now on, tells it of each refresh and
    // answer, and asks for the lists again whenever the agent appears.
    void follow(HelperPresence* presence);
    // The readings are dimmed: the agent is away or they went unanswered.
    bool readingsStale() const { return m_stale; }
    // Refreshes after which unanswered readings dim.
    static constexpr int kStaleRefreshes = 2;

    QList<BoxView*> tempBoxes() const { return m_tempBoxes; }
    QList<BoxView*> tempSelectedBoxes() const { return m_tempSelectedBoxes; }
    QList<BoxView*> tempUnselectedBoxes() const { return m_tempUnselectedBoxes; }
    QList<BoxFanView*> fanBoxes() const { return m_fanBoxes; }
    QList<BoxView*> fanSelectedBoxes() const { return m_fanSelectedBoxes; }
    QList<BoxView*> fanUnselectedBoxes() const { return m_fanUnselectedBoxes; }
    QList<BoxView*> memBoxes() const { return m_memBoxes; }
    // The keyboard's way through a panel's tiles: 0 temperatures, 1 fans, 2 memory.
    BoxFocusGroup* focusGroup(int section) const;
    QList<BoxView*> memSelectedBoxes() const { return m_memSelectedBoxes; }
    QList<BoxView*> memUnselectedBoxes() const { return m_memUnselectedBoxes; }

    QString panelType() const { return m_panelType; }
    double refreshInterval() const { return m_refreshInterval; }
    // The readings timer's period in milliseconds, 0 while it is stopped.
    int activeRefreshMs() const;
    bool panelsFilled() const { return m_panelsFilled; }
    bool windowConfigured() const { return m_windowConfigured; }
    // Every section has shown a reading since the panels were last filled.
    bool showsReadings() const { return m_panelsFilled && m_answeredSections == 0b111; }

    // The selected segment of the temperature unit selector (0 Celsius).
    int temperatureUnitSegment() const;
    // Whole degrees Fahrenheit, rounded half up.
    static int fahrenheit(int celsius);

    // The recorded series a tile shows ("temp:TC0D", "fan:0", "mem:Wired").
    static QString seriesOfBox(const BoxView* box);
    // The series of the tile that has the focus, else of the one under the
    // mouse, else of the first tile of the panel shown; empty without tiles.
    QString currentSeries() const;

    // The chooser picked a sensor: the first temperature tile of the
    // component reads it from the next refresh on.
    void useSensorForComponent(quint32 code, const QString& component);

    void boxClicked(BoxView* box) override;
    void boxEntered(BoxView* box) override;
    void boxExited(BoxView* box) override;
    void gearEntered(BoxView* box) override;

public Q_SLOTS:
    // Asks the agent for the four sensor dictionaries and fills the panels
    // again once all four have come.
    void requestSensorDictionaries();
    // One refresh: requests the readings of the shown tiles of all panels.
    void updateReadings();
    // Asks for the update window: whoever provides it listens to
    // updaterRequested; until someone does, a short notice stands in.
    void openUpdater();

Q_SIGNALS:
    void updaterRequested();
    // From a tile's context menu.
    void historyRequested(const QString& series);
    void alertRulesRequested();
    void panelsFilledChanged();
    // A reply of one section has been shown.
    void readingsShown();
    // A refresh asked the agent for readings.
    void readingsRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum Section { Temps = 1, Fans = 2, Mem = 4 };

    void collectBoxes();
    void showBoxMenu(BoxView* box, const QPoint& position);
    void fillPanels();
    int fillTemperatures();
    int fillFans();
    void fillMemory();
    void sectionCheck();
    void enableSectionChecks();
    void showInWidgetChanged(QCheckBox* sender);
    void tabChanged(int index);
    void tempUnitChanged();
    void fanUnitChanged();
    void startTimer(double seconds);
    void showTemperatures(const QList<BoxView*>& boxes, const QList<int>& values);
    void showFanSpeeds(const QList<BoxFanView*>& boxes, const QList<int>& values, bool percent);
    void showMemory(const QList<BoxView*>& boxes, const QList<double>& values);
    void answered(Section section);
    void updateStaleness();
    void applyPresence();
    void applyColors();
    void showAlert(const QString& message, const QString& informative);
    // Runs on the next pass of the event loop, only while the window lives:
    // replies never touch the views from inside the request.
    template <typename Function> void later(Function function);

    Ui::SetupViewController* m_ui;
    OndaraHelperProtocol* m_helper = nullptr;
    QString m_panelType;
    double m_refreshInterval = 5.0;
    QList<BoxView*> m_tempBoxes;
    QList<BoxView*> m_tempSelectedBoxes;
    QList<BoxView*> m_tempUnselectedBoxes;
    QList<BoxFanView*> m_fanBoxes;
    QList<BoxView*> m_fanSelectedBoxes;
    QList<BoxView*> m_fanUnselectedBoxes;
    QList<BoxView*> m_memBoxes;
    QList<BoxView*> m_memSelectedBoxes;
    QList<BoxView*> m_memUnselectedBoxes;
    bool m_windowConfigured = false;
    EntryMap<TemperatureEntry> m_temperatures;
    EntryMap<FanEntry> m_fans;
    EntryMap<MemoryFigureEntry> m_memory;
    EntryMap<CandidateList> m_candidates;
    int m_dictionaryRound = 0;
    int m_dictionariesPending = 0;
    bool m_panelsFilled = false;
    int m_answeredSections = 0;
    QList<double> m_lastMemory;
    QTimer* m_timer = nullptr;
    QList<BoxFocusGroup*> m_focusGroups;
    HelperBanner* m_banner = nullptr;
    QList<QGraphicsOpacityEffect*> m_dimmers;
    bool m_helperPresent = true;
    bool m_stale = false;
    int m_unansweredRefreshes = 0;
};
