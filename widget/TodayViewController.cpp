#include "TodayViewController.h"

#include "ApplicationOpener.h"
#include "FanBoxView.h"
#include "Gauge.h"
#include "HelperStateText.h"
#include "MemoryFigures.h"
#include "NamedAssets.h"
#include "OndaraHelperProtocol.h"
#include "OndaraNames.h"
#include "SensorRecordCodec.h"
#include "WidgetBoxView.h"
#include "WidgetTabView.h"
#include "WidgetTabViewItem.h"
#include "defaults/UserDefaults.h"
#include "ipc/DistributedNotificationCenter.h"
#include "ui_TodayViewController.h"

#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

const QString kTempsTab = QStringLiteral("TempsTab");
const QString kFansTab = QStringLiteral("FansTab");
const QString kMemTab = QStringLiteral("MemTab");

// One entry of a sensor list that fits its layout: the name shown, what the
// box stands for, and the number the list is ordered by.
struct Entry {
    QString name;
    quint32 code;
    qlonglong order;
    int maxSpeed = 0;
};

// Ordered by their number; entries with equal numbers keep the list's
// (alphabetical) order, so the same list always lays out the same way.
void sortEntries(QList<Entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.order < b.order; });
}

template <typename Box> QList<Box*> boxesOf(const QList<QWidget*>& rows) {
    QList<Box*> boxes;
    for (QWidget* row : rows) {
        QLayout* layout = row->layout();
        for (int i = 0; layout != nullptr && i < layout->count(); ++i) {
            if (auto* box = qobject_cast<Box*>(layout->itemAt(i)->widget())) {
                boxes.append(box);
            }
        }
    }
    return boxes;
}

// Shows the first boxes, one per entry, and hides the rest.
template <typename Box, typename Fill>
void fillBoxes(const QList<Box*>& boxes, const QList<Entry>& entries, Fill fill) {
    qsizetype counter = 0;
    for (const Entry& entry : entries) {
        if (counter == boxes.size()) {
            break;
        }
        Box* box = boxes[counter++];
        box->setVisible(true);
        box->setSensorName(entry.name);
        box->setSensorCode(entry.code);
        fill(box, entry);
    }
    for (; counter < boxes.size(); ++counter) {
        boxes[counter]->setVisible(false);
    }
}

} // namespace

TodayViewController::TodayViewController(OndaraHelperProtocol* helper,
                                         DistributedNotificationCenter* notifications,
                                         UserDefaults* defaults, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TodayViewController>())
    , m_helper(helper)
    , m_notifications(notifications)
    , m_defaults(defaults)
    , m_openUrl(&ApplicationOpener::openUrl)
    , m_startProgram(&ApplicationOpener::startApplication) {
    ui->setupUi(this);
    viewDidLoad();
}

TodayViewController::~TodayViewController() {
    if (m_notifications != nullptr) {
        disconnect(m_notifications, nullptr, this, nullptr);
    }
}

void TodayViewController::viewDidLoad() {
    setFixedWidth(kViewWidth);
    ui->openAppButton->setIcon(NamedAssets::shared().image(QStringLiteral("gear-tiny")));
    ui->memBar->setAccessibleName(tr("Memory in use"));
    connect(ui->openAppButton, &QToolButton::clicked, this, &TodayViewController::openApp);
    connect(ui->tabView, &WidgetTabView::didSelectItem, this, &TodayViewController::tabDidSelect);
    m_allTabs = ui->tabView->items();
    m_tempBoxes = boxesOf<WidgetBoxView>({ui->tempStack0, ui->tempStack1, ui->tempStack2});
    m_fanBoxes = boxesOf<FanBoxView>({ui->fanStack0, ui->fanStack1});
    m_memBoxes = boxesOf<WidgetBoxView>({ui->memStack0, ui->memStack1, ui->memStack2});
    // A box that is not needed leaves its place empty, so boxes stay in
    // their columns rather than stretching across the row.
    for (const QList<QWidget*>& boxes : {QList<QWidget*>(m_tempBoxes.begin(), m_tempBoxes.end()),
                                         QList<QWidget*>(m_fanBoxes.begin(), m_fanBoxes.end()),
                                         QList<QWidget*>(m_memBoxes.begin(), m_memBoxes.end())}) {
        for (QWidget* box : boxes) {
            QSizePolicy policy = box->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            box->setSizePolicy(policy);
        }
    }
    for (QLabel* message : {ui->configureMsg, ui->noSectionsMsg}) {
        message->setMinimumWidth(kViewWidth - 60);
    }
    ui->noSectionsMsg->hide();

    m_away = new QWidget(this);
    m_away->setObjectName(QStringLiteral("awayMessage"));
    m_awayText = new QLabel(m_away);
    m_awayText->setWordWrap(true);
    m_awayText->setAlignment(Qt::AlignCenter);
    m_awayOpen = new QPushButton(tr("Open Ondara"), m_away);
    auto* awayLayout = new QVBoxLayout(m_away);
    awayLayout->setContentsMargins(12, 4, 12, 8);
    awayLayout->addWidget(m_awayText);
    awayLayout->addWidget(m_awayOpen, 0, Qt::AlignHCenter);
    connect(m_awayOpen, &QPushButton::clicked, this, &TodayViewController::openApp);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(m_away, grid->rowCount(), 0);
    }
    m_away->hide();
    for (QWidget* reading :
         {ui->tempStack0, ui->tempStack1, ui->tempStack2, ui->fanStack0, ui->fanStack1,
          ui->memStack0, ui->memStack1, ui->memStack2, static_cast<QWidget*>(ui->memBar),
          static_cast<QWidget*>(ui->totalMemLabel)}) {
        auto* dimmer = new QGraphicsOpacityEffect(reading);
        dimmer->setOpacity(0.35);
        dimmer->setEnabled(false);
        reading->setGraphicsEffect(dimmer);
        m_dimmers.append(dimmer);
    }

    if (m_notifications != nullptr) {
        for (QLatin1StringView name : observedNotifications) {
            m_notifications->addObserver(QString(name));
        }
        connect(m_notifications, &DistributedNotificationCenter::notificationReceived, this,
                &TodayViewController::defaultsDidChange);
    }
    showMessages();
    // Until the first lists arrive every section is laid out as empty, and
    // the window takes that size rather than one of no tab at all.
    for (const QList<WidgetBoxView*>& boxes : {m_tempBoxes, m_memBoxes}) {
        for (WidgetBoxView* box : boxes) {
            box->hide();
        }
    }
    for (FanBoxView* box : m_fanBoxes) {
        box->hide();
    }
    for (int section = 0; section < 3; ++section) {
        showRows(section, 0);
    }
    if (const WidgetTabViewItem* selected = ui->tabView->selectedItem()) {
        const QString identifier = selected->identifier();
        resizeForTab(&identifier);
    }
}

void TodayViewController::showMessages() {
    const bool installed =
        m_defaults == nullptr || m_defaults->boolForKey(OndaraNames::Keys::helperInstalled);
    ui->tabView->setVisible(installed);
    ui->configureMsg->setVisible(!installed);
    const bool noSection = m_visibleSections.size() >= 3 &&
                           std::none_of(m_visibleSections.begin(), m_visibleSections.begin() + 3,
                                        [](int visible) { return visible == 1; });
    ui->noSectionsMsg->setVisible(installed && noSection);
}

void TodayViewController::viewDidAppear() {
    m_onScreen = true;
    // The application may have installed the agent since the last time.
    if (m_defaults != nullptr) {
        m_defaults->synchronize();
        showMessages();
        const QString stored = m_defaults->stringForKey(OndaraNames::Keys::lastSelectedTab);
        for (WidgetTabViewItem* item : ui->tabView->items()) {
            if (!stored.isEmpty() && item->identifier() == stored) {
                ui->tabView->selectItem(item);
            }
        }
    }
    ui->memBar->setType(Gauge::GaugeType::bar);
    ui->memBar->removeLayers();
    ui->memBar->updateGauge();
    askForEverything();
    if (m_timer != nullptr) {
        updateReadings();
    } else {
        startTimer();
    }
}

void TodayViewController::viewWillDisappear() {
    delete m_timer;
    m_timer = nullptr;
    m_onScreen = false;
}

void TodayViewController::widgetPerformUpdate(const std::function<void(UpdateResult)>& completion) {
    updateReadings();
    if (completion) {
        completion(UpdateResult::newData);
    }
}

void TodayViewController::setApplicationOpeners(UrlOpener openUrl, ProgramStarter startProgram) {
    m_openUrl = std::move(openUrl);
    m_startProgram = std::move(startProgram);
}

WidgetTabView* TodayViewController::tabView() const {
    return ui->tabView;
}

Gauge* TodayViewController::memBar() const {
    return ui->memBar;
}

QLabel* TodayViewController::totalMemLabel() const {
    return ui->totalMemLabel;
}

QLabel* TodayViewController::noSectionsMsg() const {
    return ui->noSectionsMsg;
}

QLabel* TodayViewController::configureMsg() const {
    return ui->configureMsg;
}

QWidget* TodayViewController::row(int section, int index) const {
    const QList<QList<QWidget*>> rows{{ui->tempStack0, ui->tempStack1, ui->tempStack2},
                                      {ui->fanStack0, ui->fanStack1},
                                      {ui->memStack0, ui->memStack1, ui->memStack2}};
    return rows.value(section).value(index);
}

bool TodayViewController::timerActive() const {
    return m_timer != nullptr && m_timer->isActive();
}

OndaraHelperProtocol* TodayViewController::helper() const {
    return m_onScreen ? m_helper : nullptr;
}

template <typename Value, typename Handler>
std::function<void(const Value&)> TodayViewController::later(Handler handler) {
    // Replies are handled on the event loop, never inside the request, and
    // not at all once the controller is gone.
    return [self = QPointer<TodayViewController>(this), handler](const Value& value) {
        if (self) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, handler, value] {
                    if (self) {
                        handler(value);
                    }
                },
                Qt::QueuedConnection);
        }
    };
}

void TodayViewController::askForEverything() {
    askUnits();
    askSections();
    askTempList();
    askFanList();
    askMemList();
}

void TodayViewController::askUnits() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->sensorUnits(later<QList<int>>([this](const QList<int>& reply) {
            if (reply.size() >= 2) {
                m_units = reply;
            }
        }));
    }
}

void TodayViewController::askSections() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->visibleSections(later<QList<int>>([this](const QList<int>& reply) {
            if (reply.size() >= 3) {
                m_visibleSections = reply;
                applySections();
            }
        }));
    }
}

void TodayViewController::askTempList() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->activeTempSensors(
            later<QVariantMap>([this](const QVariantMap& reply) { layOutTemps(reply); }));
    }
}

void TodayViewController::askFanList() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->activeFanSensors(
            later<QVariantMap>([this](const QVariantMap& reply) { layOutFans(reply); }));
    }
}

void TodayViewController::askMemList() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->activeMemSensors(
            later<QVariantMap>([this](const QVariantMap& reply) { layOutMems(reply); }));
    }
}

void TodayViewController::startTimer() {
    if (!m_onScreen) {
        return;
    }
    delete m_timer;
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMilliseconds);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timer->setInterval(kRefreshMilliseconds);
        updateReadings();
    });
    m_timer->start();
    updateReadings();
}

void TodayViewController::refreshAlongside() {
    if (m_timer == nullptr || !m_timer->isActive()) {
        return;
    }
    // Half a period more, so a tick of the other that comes a little late
    // is not beaten to it by this one's own.
    m_timer->start(kRefreshMilliseconds + kRefreshMilliseconds / 2);
    updateReadings();
}

void TodayViewController::updateReadings() {
    const WidgetTabViewItem* selected = ui->tabView->selectedItem();
    const QString identifier = selected != nullptr ? selected->identifier() : QString();
    if (helper() != nullptr && !identifier.isEmpty()) {
        Q_EMIT readingsRequested();
    }
    if (identifier == kTempsTab) {
        updateTemps();
    } else if (identifier == kFansTab) {
        updateFans();
    } else if (identifier == kMemTab) {
        askMemoryUsage();
    }
}

void TodayViewController::layOutTemps(const QVariantMap& reply) {
    QList<Entry> entries;
    for (const ActiveTemperature& active : SensorRecordCodec::activeTemperatures(reply)) {
        entries.append({active.name, active.code, active.position});
    }
    sortEntries(entries);
    fillBoxes(m_tempBoxes, entries,
              [](WidgetBoxView* box, const Entry&) { box->setSensorValue(QStringLiteral("0")); });
    showRows(0, entries.size());
    afterLayingOut(0);
    updateTemps();
}

void TodayViewController::layOutFans(const QVariantMap& reply) {
    QList<Entry> entries;
    for (const ActiveFan& active : SensorRecordCodec::activeFans(reply)) {
        entries.append({active.name, quint32(active.number), active.number, active.maxSpeed});
    }
    sortEntries(entries);
    fillBoxes(m_fanBoxes, entries, [](FanBoxView* box, const Entry& entry) {
        box->setMaxSpeed(entry.maxSpeed);
        box->setCurrentSpeed(0);
        box->layoutBox();
    });
    showRows(1, entries.size());
    afterLayingOut(1);
    updateFans();
}

void TodayViewController::layOutMems(const QVariantMap& reply) {
    QList<Entry> entries;
    for (const ActiveMemoryFigure& active : SensorRecordCodec::activeMemory(reply)) {
        const QString name = active.name == QLatin1String("Compressed")
                                 ? tr("Compr.", "the memory figure Compressed, abbreviated")
                                 : MemoryFigures::displayName(active.name);
        entries.append({name, quint32(active.index), active.index});
    }
    sortEntries(entries);
    fillBoxes(m_memBoxes, entries, [](WidgetBoxView* box, const Entry&) {
        box->setSensorValue(QStringLiteral("0"));
        box->setReadingUnit(SpokenReading::Unit::gibibytes);
        box->setValueFontSize(20);
    });
    showRows(2, entries.size());
    afterLayingOut(2);
    askMemoryUsage();
}

void TodayViewController::showRows(int section, qsizetype entries) {
    // The first row of temperatures and fans always stays; the memory tab
    // keeps its bar alone for fewer than two figures.
    if (section == 0) {
        ui->tempStack2->setHidden(entries < 7);
        ui->tempStack1->setHidden(entries < 4);
    } else if (section == 1) {
        ui->fanStack1->setHidden(entries < 4);
    } else {
        ui->memStack2->setHidden(entries < 7);
        ui->memStack1->setHidden(entries < 4);
        ui->memStack0->setHidden(entries < 2);
    }
}

void TodayViewController::afterLayingOut(int section) {
    WidgetTabViewItem* tab = m_allTabs.value(section);
    if (tab != nullptr) {
        m_laidOut.insert(tab->identifier());
    }
    if (tab != nullptr && tab == ui->tabView->selectedItem()) {
        const QString identifier = tab->identifier();
        resizeForTab(&identifier);
    }
}

void TodayViewController::updateTemps() {
    OndaraHelperProtocol* agent = helper();
    if (agent == nullptr) {
        return;
    }
    QList<quint32> codes;
    for (const WidgetBoxView* box : m_tempBoxes) {
        codes.append(box->sensorCode());
    }
    const bool celsius = m_units.value(0) == 0;
    agent->temperatureForSensors(codes, later<QList<int>>([this, celsius](const QList<int>& reply) {
                                     showTemps(reply, celsius);
                                 }));
}

QString TodayViewController::temperatureText(int celsius, bool inCelsius) {
    if (inCelsius) {
        return QString::number(celsius);
    }
    return QString::number(qlonglong(std::floor(celsius * 1.8 + 32 + 0.5)));
}

void TodayViewController::showTemps(const QList<int>& reply, bool celsius) {
    const qsizetype count = std::min(reply.size(), m_tempBoxes.size());
    for (qsizetype i = 0; i < count; ++i) {
        m_tempBoxes[i]->setReadingUnit(celsius ? SpokenReading::Unit::celsius
                                               : SpokenReading::Unit::fahrenheit);
        m_tempBoxes[i]->setSensorValue(temperatureText(reply[i], celsius));
    }
    Q_EMIT readingsShown(kTempsTab);
}

void TodayViewController::updateFans() {
    OndaraHelperProtocol* agent = helper();
    if (agent == nullptr) {
        return;
    }
    QList<int> fans;
    for (const FanBoxView* box : m_fanBoxes) {
        fans.append(int(box->sensorCode()));
    }
    const bool percent = m_units.value(1) == 1;
    agent->rpmForFans(fans, later<QList<int>>([this, percent](const QList<int>& reply) {
                          showFans(reply, percent);
                      }));
}

void TodayViewController::showFans(const QList<int>& reply, bool percent) {
    const qsizetype count = std::min(reply.size(), m_fanBoxes.size());
    for (qsizetype i = 0; i < count; ++i) {
        FanBoxView* box = m_fanBoxes[i];
        box->setShowsPercentage(percent);
        box->setCurrentSpeed(reply[i]);
        // A box nobody sees would only run its ring's animation for nothing;
        // it is laid out when it is filled and shown.
        if (!box->isHidden()) {
            box->showSpeed();
        }
    }
    Q_EMIT readingsShown(kFansTab);
}

void TodayViewController::askMemoryUsage() {
    if (OndaraHelperProtocol* agent = helper()) {
        agent->memoryUsage(
            later<QList<double>>([this](const QList<double>& reply) { showMemory(reply); }));
    }
}

void TodayViewController::showMemory(const QList<double>& reply) {
    if (reply.isEmpty()) {
        return;
    }
    // The bar is drawn again only when its figures differ from those drawn,
    // a box only when its text does.
    const bool barChanged = m_shownMemory.isEmpty() || m_shownMemory[0] != reply[0] ||
                            m_shownMemory.value(1, -1) != reply.value(1, -1);
    m_shownMemory = reply;
    if (barChanged) {
        ui->totalMemLabel->setText(QString::number(int(reply[0])));
        ui->memBar->setMaxValue(reply[0]);
        ui->memBar->updateGauge();
        if (reply.size() > 1) {
            WidgetBoxView::showGaugeValue(ui->memBar, reply[1]);
        }
    }
    for (WidgetBoxView* box : m_memBoxes) {
        if (reply.size() > 1 && box->sensorCode() < quint32(reply.size())) {
            box->setSensorValue(Gauge::formatValue(reply[box->sensorCode()]));
        }
    }
    Q_EMIT readingsShown(kMemTab);
}

void TodayViewController::applySections() {
    if (m_visibleSections.size() < 3 || m_allTabs.size() < 3) {
        return;
    }
    WidgetTabView* view = ui->tabView;
    const auto present = [view](WidgetTabViewItem* tab) { return view->items().contains(tab); };
    const bool tempsWanted = m_visibleSections[0] == 1;
    const bool fansWanted = m_visibleSections[1] == 1;
    const bool memWanted = m_visibleSections[2] == 1;
    if (tempsWanted && !present(m_allTabs[0])) {
        view->insertItem(m_allTabs[0], 0);
    } else if (!tempsWanted && present(m_allTabs[0])) {
        view->removeItem(m_allTabs[0]);
    }
    if (fansWanted && !present(m_allTabs[1])) {
        view->insertItem(m_allTabs[1], present(m_allTabs[0]) ? 1 : 0);
    } else if (!fansWanted && present(m_allTabs[1])) {
        view->removeItem(m_allTabs[1]);
    }
    if (memWanted && !present(m_allTabs[2])) {
        view->insertItem(m_allTabs[2], int(view->items().size()));
    } else if (!memWanted && present(m_allTabs[2])) {
        view->removeItem(m_allTabs[2]);
    }
    showMessages();
}

int TodayViewController::heightForTab(const QString* identifier) {
    if (identifier == nullptr) {
        return 140;
    }
    const auto shown = [](std::initializer_list<QWidget*> rows, int height) {
        return int(std::count_if(rows.begin(), rows.end(),
                                 [](QWidget* row) { return !row->isHidden(); })) *
               height;
    };
    int rows = 0;
    if (*identifier == kTempsTab) {
        m_spacer = 110;
        rows = shown({ui->tempStack0, ui->tempStack1, ui->tempStack2}, 70);
    } else if (*identifier == kFansTab) {
        m_spacer = 90;
        rows = shown({ui->fanStack0, ui->fanStack1}, 100);
    } else if (*identifier == kMemTab) {
        m_spacer = ui->memStack0->isHidden() ? 150 : 170;
        rows = shown({ui->memStack0, ui->memStack1, ui->memStack2}, 70);
    }
    const int away = m_away != nullptr && !m_away->isHidden() ? m_away->sizeHint().height() : 0;
    return rows + int(m_spacer) + away;
}

void TodayViewController::resizeForTab(const QString* identifier) {
    const QSize size(width(), heightForTab(identifier));
    if (size != m_preferredContentSize) {
        m_preferredContentSize = size;
        Q_EMIT preferredContentSizeChanged(size);
    }
}

void TodayViewController::tabDidSelect(WidgetTabViewItem* item) {
    const QString identifier = item != nullptr ? item->identifier() : QString();
    if (identifier.isEmpty()) {
        return;
    }
    if (identifier == kFansTab || identifier == kMemTab) {
        delete m_timer;
        m_timer = nullptr;
        if (identifier == kFansTab) {
            for (FanBoxView* box : m_fanBoxes) {
                box->setCurrentSpeed(0);
                if (!box->isHidden()) {
                    box->layoutBox();
                }
            }
        } else {
            m_shownMemory.clear();
            ui->memBar->setLastValue(1.0);
            ui->memBar->setCurrentValue(1.0);
            ui->memBar->updateGauge();
        }
        startTimer();
    }
    resizeForTab(&identifier);
    if (m_defaults != nullptr && m_remembersTab) {
        m_defaults->setObject(OndaraNames::Keys::lastSelectedTab, identifier);
        m_defaults->synchronize();
    }
}

void TodayViewController::defaultsDidChange(const QString& name) {
    // A hidden widget asks nothing: appearing asks for everything again.
    if (helper() == nullptr) {
        return;
    }
    if (name == OndaraNames::Notifications::tempsDidChange) {
        askTempList();
        updateTemps();
    } else if (name == OndaraNames::Notifications::fansDidChange) {
        askFanList();
        updateFans();
    } else if (name == OndaraNames::Notifications::memDidChange) {
        askMemList();
        askMemoryUsage();
    } else if (name == OndaraNames::Notifications::sectionsDidChange) {
        askSections();
    } else if (name == OndaraNames::Notifications::unitsDidChange) {
        askUnits();
        // The new units apply from the next refresh after their reply.
        updateReadings();
    }
}

void TodayViewController::agentDidRestart() {
    askForEverything();
}

void TodayViewController::follow(HelperPresence* presence) {
    const auto show = [this, presence] { setHelperPresence(presence->state(), presence->stop()); };
    show();
    connect(presence, &HelperPresence::stateChanged, this, show);
    connect(presence, &HelperPresence::helperAppeared, this, &TodayViewController::agentDidRestart);
    connect(this, &TodayViewController::readingsRequested, presence, &HelperPresence::refreshSent);
    connect(this, &TodayViewController::readingsShown, presence, &HelperPresence::answered);
}

void TodayViewController::setHelperPresence(HelperPresence::State state,
                                            const std::optional<AgentStopRecord::Stop>& stop) {
    const bool present = state == HelperPresence::State::connected;
    const HelperStateText::Reason reason = state == HelperPresence::State::stopped && stop
                                               ? HelperStateText::Reason(stop->reason)
                                               : std::nullopt;
    const QString text = HelperStateText::headline(reason) + QLatin1Char('\n') +
                         HelperStateText::widgetAdvice(reason);
    m_awayText->setText(text);
    m_away->setAccessibleName(HelperStateText::headline(reason));
    m_away->setAccessibleDescription(HelperStateText::widgetAdvice(reason));
    const bool changed = m_away->isHidden() == !present;
    m_away->setVisible(!present);
    m_stale = !present;
    for (QGraphicsOpacityEffect* dimmer : std::as_const(m_dimmers)) {
        dimmer->setEnabled(m_stale);
    }
    if (changed) {
        // The host window makes room for the line, or gives it back.
        const WidgetTabViewItem* selected = ui->tabView->selectedItem();
        const QString identifier = selected != nullptr ? selected->identifier() : QString();
        resizeForTab(selected != nullptr ? &identifier : nullptr);
    }
}

void TodayViewController::openApp() {
    const QUrl url(QStringLiteral("ondara://"));
    if (url.isValid() && m_openUrl && m_openUrl(url)) {
        return;
    }
    if (m_startProgram) {
        m_startProgram();
    }
}
