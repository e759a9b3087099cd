#include "SetupViewController.h"

#include "AppLogging.h"
#include "BoxFanView.h"
#include "BoxFocusGroup.h"
#include "BoxView.h"
#include "CustomTabView.h"
#include "Gauge.h"
#include "HelperBanner.h"
#include "HistorySeries.h"
#include "MemoryFigures.h"
#include "NamedAssets.h"
#include "OndaraHelperProtocol.h"
#include "OndaraNames.h"
#include "Popover.h"
#include "PropertyList.h"
#include "SegmentedControl.h"
#include "SensorRecordCodec.h"
#include "ui_SetupViewController.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

const QStringList kSectionNames{OndaraNames::Sections::temps, OndaraNames::Sections::fans,
                                OndaraNames::Sections::mem};
constexpr int kDefaultMaxSpeed = 10000;
// How far readings that are not live fade.
constexpr qreal kStaleOpacity = 0.35;
// Set on a section's check box while none of its tiles is selected.
const char* const kEmptySection = "emptySection";

// The tiles of a panel: its rows in order, each row's tiles in order.
template <typename Box> QList<Box*> boxesOf(QWidget* stack) {
    QList<Box*> boxes;
    QLayout* rows = stack->layout();
    for (int r = 0; rows && r < rows->count(); ++r) {
        QWidget* row = rows->itemAt(r)->widget();
        QLayout* cells = row ? row->layout() : nullptr;
        for (int c = 0; cells && c < cells->count(); ++c) {
            if (auto* box = qobject_cast<Box*>(cells->itemAt(c)->widget())) {
                boxes.append(box);
            }
        }
    }
    return boxes;
}

// What a tile shows for a name the agent did not send as text.
QString shownName(const std::optional<QString>& name) {
    return name.value_or(QCoreApplication::translate("SetupViewController", "Unknown",
                                                     "a sensor whose name the agent did not send"));
}

// Puts every tile into the selected or the unselected list by its state.
void split(const QList<BoxView*>& boxes, QList<BoxView*>& selected, QList<BoxView*>& unselected) {
    selected.clear();
    unselected.clear();
    for (BoxView* box : boxes) {
        (box->isSelected() ? selected : unselected).append(box);
    }
}

void setSelectable(const QList<BoxView*>& boxes, bool selectable) {
    for (BoxView* box : boxes) {
        box->setIsSelectable(selectable);
    }
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

template <typename Function> void SetupViewController::later(Function function) {
    QMetaObject::invokeMethod(this, std::move(function), Qt::QueuedConnection);
}

SetupViewController::SetupViewController(OndaraHelperProtocol* helper, QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::SetupViewController)
    , m_helper(helper)
    , m_panelType(OndaraNames::Sections::temps)
    , m_timer(new QTimer(this)) {
    m_ui->setupUi(this);
    // The style's own margins leave the label touching the button's edge.
    m_ui->updatesButton->setMinimumWidth(m_ui->updatesButton->sizeHint().width() + 24);
    connect(m_timer, &QTimer::timeout, this, &SetupViewController::updateReadings);
    connect(m_ui->mainTabView, &QTabWidget::currentChanged, this, &SetupViewController::tabChanged);
    for (QCheckBox* check : {m_ui->showTempsCheck, m_ui->showFansCheck, m_ui->showMemCheck}) {
        connect(check, &QAbstractButton::clicked, this,
                [this, check] { showInWidgetChanged(check); });
    }
    connect(m_ui->tempUnitSelector, &SegmentedControl::activated, this,
            &SetupViewController::tempUnitChanged);
    connect(m_ui->fanUnitSelector, &SegmentedControl::activated, this,
            &SetupViewController::fanUnitChanged);
    connect(m_ui->updatesButton, &QAbstractButton::clicked, this,
            &SetupViewController::openUpdater);

    QFont heading = m_ui->tempTitle->font();
    heading.setPixelSize(13);
    heading.setBold(true);
    for (QLabel* title : {m_ui->tempTitle, m_ui->fanTitle, m_ui->memTitle}) {
        title->setFont(heading);
    }
    QFont total = m_ui->totalMemoryLabel->font();
    total.setPixelSize(15);
    m_ui->totalMemoryLabel->setFont(total);
    QFont small = m_ui->helpMsg->font();
    small.setPixelSize(12);
    m_ui->helpMsg->setFont(small);

    Gauge* bar = m_ui->memBar;
    bar->setType(Gauge::GaugeType::bar);
    bar->removeLayers();
    bar->updateGauge();
    bar->setStartColor(QColor::fromRgbF(0.396F, 0.69F, 0.872F, 1.0F));
    bar->removeLayers();
    bar->updateGauge();
    bar->setBgAlpha(0.4);
    bar->updateGauge();
    bar->setNeedsDisplay();

    // The panels share one height, that of the tallest a panel can get (all
    // its rows of tiles, no notice): the window keeps one size whichever
    // panel it shows and however many tiles are filled, and a shorter panel
    // fills it with its own background.
    m_ui->noSensorsMsg->hide();
    m_ui->noFansMsg->hide();
    int tallest = 0;
    for (int i = 0; i < m_ui->mainTabView->count(); ++i) {
        QWidget* page = m_ui->mainTabView->widget(i);
        page->ensurePolished();
        tallest = std::max(tallest, page->sizeHint().height());
    }
    m_ui->mainTabView->setFixedHeight(tallest);
    collectBoxes();
    m_focusGroups = {new BoxFocusGroup(m_ui->tempStack, m_tempBoxes, this),
                     new BoxFocusGroup(m_ui->fanStack,
                                       QList<BoxView*>(m_fanBoxes.cbegin(), m_fanBoxes.cend()),
                                       this),
                     new BoxFocusGroup(m_ui->memStack, m_memBoxes, this)};
    m_ui->memBar->setAccessibleName(tr("Memory in use"));
    m_banner = new HelperBanner(this);
    static_cast<QBoxLayout*>(layout())->insertWidget(0, m_banner);
    for (QWidget* reading :
         {m_ui->tempStack, m_ui->fanStack, m_ui->memStack, static_cast<QWidget*>(m_ui->memBar),
          static_cast<QWidget*>(m_ui->totalMemoryLabel)}) {
        auto* dimmer = new QGraphicsOpacityEffect(reading);
        dimmer->setOpacity(kStaleOpacity);
        dimmer->setEnabled(false);
        reading->setGraphicsEffect(dimmer);
        m_dimmers.append(dimmer);
    }
    applyColors();
    if (m_helper) {
        requestSensorDictionaries();
        QTimer::singleShot(kDictionaryWaitMs, this, [this] {
            if (!m_panelsFilled) {
                fillPanels();
            }
        });
    } else {
        fillPanels();
    }
}

SetupViewController::~SetupViewController() {
    delete m_ui;
}

CustomTabView* SetupViewController::mainTabView() const {
    return m_ui->mainTabView;
}

QWidget* SetupViewController::tempStack(int row) const {
    const QList<QWidget*> rows{m_ui->tempStack1, m_ui->tempStack2, m_ui->tempStack3};
    return rows.value(row - 1);
}

QWidget* SetupViewController::fanStack(int row) const {
    const QList<QWidget*> rows{m_ui->fanStack1, m_ui->fanStack2};
    return rows.value(row - 1);
}

BoxFocusGroup* SetupViewController::focusGroup(int section) const {
    return m_focusGroups.value(section);
}

QCheckBox* SetupViewController::showCheck(int tag) const {
    const QList<QCheckBox*> checks{m_ui->showTempsCheck, m_ui->showFansCheck, m_ui->showMemCheck};
    return checks.value(tag);
}

SegmentedControl* SetupViewController::tempUnitSelector() const {
    return m_ui->tempUnitSelector;
}

SegmentedControl* SetupViewController::fanUnitSelector() const {
    return m_ui->fanUnitSelector;
}

Gauge* SetupViewController::memBar() const {
    return m_ui->memBar;
}

QLabel* SetupViewController::totalMemoryLabel() const {
    return m_ui->totalMemoryLabel;
}

QLabel* SetupViewController::helpMsg() const {
    return m_ui->helpMsg;
}

QLabel* SetupViewController::noSensorsMsg() const {
    return m_ui->noSensorsMsg;
}

QLabel* SetupViewController::noFansMsg() const {
    return m_ui->noFansMsg;
}

int SetupViewController::activeRefreshMs() const {
    return m_timer->isActive() ? m_timer->interval() : 0;
}

int SetupViewController::temperatureUnitSegment() const {
    return m_ui->tempUnitSelector->selectedSegment();
}

int SetupViewController::fahrenheit(int celsius) {
    return int(std::floor(celsius * 1.8 + 32 + 0.5));
}

void SetupViewController::collectBoxes() {
    m_tempBoxes = boxesOf<BoxView>(m_ui->tempStack);
    for (BoxView* box : m_tempBoxes) {
        box->setDelegate(this);
        box->setHelper(m_helper);
    }
    m_fanBoxes = boxesOf<BoxFanView>(m_ui->fanStack);
    for (BoxFanView* box : m_fanBoxes) {
        box->setDelegate(this);
        box->removeGearButton();
    }
    m_memBoxes = boxesOf<BoxView>(m_ui->memStack);
    for (BoxView* box : m_memBoxes) {
        box->setDelegate(this);
        box->removeGearButton();
    }
    // Every tile's history, from its context menu (the menu key too).
    QList<BoxView*> all = m_tempBoxes + m_memBoxes;
    for (BoxFanView* box : m_fanBoxes) {
        all.append(box);
    }
    for (BoxView* box : all) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint& position) { showBoxMenu(box, position); });
    }
}

QString SetupViewController::seriesOfBox(const BoxView* box) {
    if (qobject_cast<const BoxFanView*>(box)) {
        return HistorySeries::fanSpeed(box->sensorKey().toInt());
    }
    if (HistorySeries::memoryFigures().contains(box->sensorKey())) {
        return HistorySeries::memory(box->sensorKey());
    }
    return HistorySeries::temperature(box->sensorCode());
}

QString SetupViewController::currentSeries() const {
    const QList<BoxView*> shown = m_panelType == OndaraNames::Sections::fans
                                      ? QList<BoxView*>(m_fanBoxes.cbegin(), m_fanBoxes.cend())
                                  : m_panelType == OndaraNames::Sections::mem ? m_memBoxes
                                                                              : m_tempBoxes;
    const BoxView* first = nullptr;
    for (const BoxView* box : shown) {
        if (box->isHidden()) {
            continue;
        }
        if (box->hasFocus() || box->isAncestorOf(QApplication::focusWidget()) || box->isHovered()) {
            return seriesOfBox(box);
        }
        first = first ? first : box;
    }
    return first && m_panelsFilled ? seriesOfBox(first) : QString();
}

void SetupViewController::showBoxMenu(BoxView* box, const QPoint& position) {
    QMenu menu(this);
    const QString series = seriesOfBox(box);
    menu.addAction(tr("History of %1…").arg(box->sensorName()), this,
                   [this, series] { Q_EMIT historyRequested(series); });
    menu.addAction(tr("Alert Rules…"), this, [this] { Q_EMIT alertRulesRequested(); });
    menu.exec(box->mapToGlobal(position));
}

void SetupViewController::requestSensorDictionaries() {
    if (!m_helper) {
        return;
    }
    const int round = ++m_dictionaryRound;
    m_dictionariesPending = 4;
    QPointer<SetupViewController> self(this);
    // Each dictionary as the window keeps it, decoded once when it arrives.
    auto store = [self, round](auto keep) {
        return [self, round, keep](const QVariantMap& dictionary) {
            if (!self || round != self->m_dictionaryRound) {
                return;
            }
            // Values as the bus delivers them, whoever answered.
            keep(*self, PropertyList::normalized(dictionary).toMap());
            if (--self->m_dictionariesPending == 0) {
                self->later([self] { self->fillPanels(); });
            }
        };
    };
    m_helper->tempSensors(store([](SetupViewController& window, const QVariantMap& dictionary) {
        window.m_temperatures = SensorRecordCodec::temperatures(dictionary);
    }));
    m_helper->fanSensors(store([](SetupViewController& window, const QVariantMap& dictionary) {
        window.m_fans = SensorRecordCodec::fans(dictionary);
    }));
    m_helper->memSensors(store([](SetupViewController& window, const QVariantMap& dictionary) {
        window.m_memory = SensorRecordCodec::memory(dictionary);
    }));
    m_helper->machineSensorList(
        store([](SetupViewController& window, const QVariantMap& dictionary) {
            window.m_candidates = SensorRecordCodec::candidates(dictionary);
        }));
}

void SetupViewController::fillPanels() {
    const int shownTemps = fillTemperatures();
    const int shownFans = fillFans();
    fillMemory();
    for (int i = 0; i < m_tempBoxes.size(); ++i) {
        m_tempBoxes[i]->setHidden(i >= shownTemps);
    }
    m_ui->tempStack3->setHidden(shownTemps < 11);
    m_ui->tempStack2->setHidden(shownTemps < 6);
    for (int i = 0; i < m_fanBoxes.size(); ++i) {
        m_fanBoxes[i]->setHidden(i >= shownFans);
    }
    m_ui->fanStack2->setHidden(shownFans < 5);
    for (BoxFocusGroup* group : std::as_const(m_focusGroups)) {
        group->refresh();
    }

    QPointer<SetupViewController> self(this);
    if (m_helper) {
        m_helper->visibleSections([self](const QList<int>& states) {
            if (!self) {
                return;
            }
            self->later([self, states] {
                for (int tag = 0; tag < std::min<qsizetype>(3, states.size()); ++tag) {
                    self->showCheck(tag)->setChecked(states[tag] != 0);
                }
            });
        });
    }
    sectionCheck();
    if (m_helper) {
        m_helper->sensorUnits([self](const QList<int>& units) {
            if (!self) {
                return;
            }
            self->later([self, units] {
                if (!units.isEmpty()) {
                    self->m_ui->tempUnitSelector->setSelectedSegment(units[0]);
                }
                if (units.size() > 1) {
                    self->m_ui->fanUnitSelector->setSelectedSegment(units[1]);
                }
            });
        });
    }
    m_panelsFilled = true;
    m_answeredSections = 0;
    m_lastMemory.clear();
    Q_EMIT panelsFilledChanged();
    if (m_timer->isActive()) {
        updateReadings();
    }
}

int SetupViewController::fillTemperatures() {
    int n = 0;
    m_ui->noSensorsMsg->setVisible(m_helperPresent && m_temperatures.isEmpty());
    // Entries in their display order; values that are not entries are left out.
    QList<TemperatureEntry> entries = m_temperatures.entries();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TemperatureEntry& a, const TemperatureEntry& b) {
                         return a.position < b.position;
                     });
    if (entries.size() > m_tempBoxes.size()) {
        qCWarning(lcSetupWindow) << "The agent reports" << entries.size()
                                 << "temperature sensors; the window shows the first"
                                 << m_tempBoxes.size();
    }
    for (BoxView* box : m_tempBoxes) {
        box->restoreGearButton();
        box->setSensors({});
        box->setComponentName(QString());
        box->setIsSelectable(true);
    }
    for (const TemperatureEntry& entry : std::as_const(entries)) {
        if (n >= m_tempBoxes.size()) {
            break;
        }
        BoxView* box = m_tempBoxes[n];
        box->setSensorKey(entry.component);
        box->setSensorName(shownName(entry.name));
        box->setSensorCode(entry.code);
        box->setSensorValue(QStringLiteral("0"));
        box->setReadingUnit(temperatureUnitSegment() > 0 ? SpokenReading::Unit::fahrenheit
                                                         : SpokenReading::Unit::celsius);
        box->setIsSelected(entry.active);
        box->updateBorder();
        if (m_candidates.contains(entry.component)) {
            const CandidateList* list = m_candidates.find(entry.component);
            const QList<SensorCandidate> candidates =
                list ? list->candidates() : QList<SensorCandidate>();
            if (candidates.size() < 2) {
                box->removeGearButton();
            } else {
                box->setSensors(candidates);
                box->setComponentName(entry.component);
                box->setHelper(m_helper);
                box->setSetupVC(this);
            }
        }
        ++n;
    }
    split(m_tempBoxes, m_tempSelectedBoxes, m_tempUnselectedBoxes);
    if (m_tempSelectedBoxes.size() >= maxNumberOfSensorsInWidget) {
        setSelectable(m_tempUnselectedBoxes, false);
    }
    return n;
}

int SetupViewController::fillFans() {
    int n = 0;
    m_ui->noFansMsg->setVisible(m_helperPresent && m_fans.isEmpty());
    for (BoxFanView* box : m_fanBoxes) {
        box->setIsSelectable(true);
    }
    // In plain text order of their keys, as the agent's own lists use ("10" before "2").
    for (const FanEntry& entry : m_fans.entries()) {
        if (n >= m_fanBoxes.size()) {
            qCWarning(lcSetupWindow) << "The agent reports more fans than the window has tiles";
            break;
        }
        BoxFanView* box = m_fanBoxes[n];
        box->setSensorKey(entry.fanKey);
        box->setSensorName(shownName(entry.name));
        box->setSensorValue(QStringLiteral("0"));
        box->setMaxSpeed(entry.maxSpeed.value_or(kDefaultMaxSpeed));
        box->setNeedsLayout();
        box->setCurrentSpeed(0);
        box->setNeedsLayout();
        box->setIsSelected(entry.active);
        box->updateBorder();
        ++n;
    }
    QList<BoxView*> boxes(m_fanBoxes.cbegin(), m_fanBoxes.cend());
    split(boxes, m_fanSelectedBoxes, m_fanUnselectedBoxes);
    return n;
}

void SetupViewController::fillMemory() {
    const QStringList& figures = MemoryFigures::shownInBoxes();
    for (int i = 0; i < std::min<qsizetype>(figures.size(), m_memBoxes.size()); ++i) {
        BoxView* box = m_memBoxes[i];
        const QString& name = figures[i];
        box->setSensorKey(name);
        box->setSensorName(MemoryFigures::displayName(name));
        box->setReadingUnit(SpokenReading::Unit::gibibytes);
        box->setSensorCode(quint32(i));
        box->setSensorValue(QStringLiteral("0"));
        box->setValueFontSize(20);
        const MemoryFigureEntry* entry = m_memory.find(name);
        box->setIsSelected(entry && entry->active);
        box->setIsSelectable(true);
        box->updateBorder();
    }
    split(m_memBoxes, m_memSelectedBoxes, m_memUnselectedBoxes);
}

void SetupViewController::sectionCheck() {
    const std::pair<const QList<BoxView*>*, QCheckBox*> sections[] = {
        {&m_tempSelectedBoxes, m_ui->showTempsCheck}, {&m_fanSelectedBoxes, m_ui->showFansCheck}};
    for (int i = 0; m_helperPresent && i < 2; ++i) {
        const auto& [selected, check] = sections[i];
        if (selected->isEmpty()) {
            check->setProperty(kEmptySection, true);
            check->setChecked(false);
            if (m_helper) {
                m_helper->changeVisibilityForSection(kSectionNames[i], false);
            }
        } else if (check->property(kEmptySection).toBool()) {
            check->setProperty(kEmptySection, false);
            check->setChecked(true);
            if (m_helper) {
                m_helper->changeVisibilityForSection(kSectionNames[i], true);
            }
        }
    }
    enableSectionChecks();
}

void SetupViewController::enableSectionChecks() {
    for (QCheckBox* check : {m_ui->showTempsCheck, m_ui->showFansCheck, m_ui->showMemCheck}) {
        check->setEnabled(m_helperPresent && !check->property(kEmptySection).toBool());
    }
}

void SetupViewController::boxClicked(BoxView* box) {
    // Nothing would reach the agent: the tile stays as it was.
    if (!m_helperPresent) {
        if (box->isSelectable()) {
            box->setIsSelected(!box->isSelected());
            box->updateBorder();
        }
        return;
    }
    if (!box->isSelectable()) {
        showAlert(tr("Too many sensors..."), tr("The widget can show up to %n temperature sensors.",
                                                nullptr, maxNumberOfSensorsInWidget));
        return;
    }
    QList<BoxView*>* selected = nullptr;
    QList<BoxView*>* unselected = nullptr;
    if (m_panelType == OndaraNames::Sections::temps) {
        selected = &m_tempSelectedBoxes;
        unselected = &m_tempUnselectedBoxes;
    } else if (m_panelType == OndaraNames::Sections::fans) {
        selected = &m_fanSelectedBoxes;
        unselected = &m_fanUnselectedBoxes;
    } else if (m_panelType == OndaraNames::Sections::mem) {
        selected = &m_memSelectedBoxes;
        unselected = &m_memUnselectedBoxes;
    }
    if (selected) {
        if (!box->isSelected()) {
            selected->removeOne(box);
            unselected->append(box);
            if (selected->size() < maxNumberOfSensorsInWidget) {
                setSelectable(*unselected, true);
            }
        } else {
            selected->append(box);
            unselected->removeOne(box);
            if (selected->size() > maxNumberOfSensorsInWidget - 1) {
                setSelectable(*unselected, false);
            }
        }
    }
    if (m_helper) {
        m_helper->changeStateForSensor(box->sensorKey(), m_panelType, box->isSelected());
    }
    sectionCheck();
}

void SetupViewController::boxEntered(BoxView* box) {
    m_ui->helpMsg->setText(box->clickDescription());
}

void SetupViewController::boxExited(BoxView*) {
    m_ui->helpMsg->setText(QString());
}

void SetupViewController::gearEntered(BoxView* box) {
    m_ui->helpMsg->setText(BoxView::showSensorsText(box->sensorName()));
}

void SetupViewController::showInWidgetChanged(QCheckBox* sender) {
    const int tag = sender->property("tag").toInt();
    if (m_helper && tag >= 0 && tag < kSectionNames.size()) {
        m_helper->changeVisibilityForSection(kSectionNames[tag], sender->isChecked());
    }
}

void SetupViewController::useSensorForComponent(quint32 code, const QString& component) {
    for (BoxView* box : m_tempBoxes) {
        if (box->sensorKey() == component) {
            box->setSensorCode(code);
            return;
        }
    }
}

void SetupViewController::openUpdater() {
    if (isSignalConnected(QMetaMethod::fromSignal(&SetupViewController::updaterRequested))) {
        Q_EMIT updaterRequested();
        return;
    }
    auto* notice =
        new QMessageBox(QMessageBox::Information, tr("Check for Updates"),
                        tr("Checking for updates is not available yet."), QMessageBox::Ok, this);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}

void SetupViewController::showAlert(const QString& message, const QString& informative) {
    auto* alert = new QMessageBox(this);
    alert->setIcon(QMessageBox::Warning);
    alert->setText(message);
    alert->setInformativeText(informative);
    alert->addButton(tr("Ok"), QMessageBox::AcceptRole);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

void SetupViewController::startTimer(double seconds) {
    m_timer->start(int(seconds * 1000));
    updateReadings();
}

void SetupViewController::tabChanged(int index) {
    const QVariant identifier = m_ui->mainTabView->widget(index)
                                    ? m_ui->mainTabView->widget(index)->property("identifier")
                                    : QVariant();
    if (identifier.typeId() == QMetaType::QString) {
        m_panelType = identifier.toString();
    }
    const QString chosen = identifier.toString();
    if (chosen == OndaraNames::Sections::fans) {
        m_timer->stop();
        for (BoxFanView* box : m_fanBoxes) {
            box->setCurrentSpeed(0);
            box->setNeedsLayout();
        }
        startTimer(kPanelRefreshInterval);
    } else if (chosen == OndaraNames::Sections::mem) {
        m_timer->stop();
        m_ui->memBar->setLastValue(1);
        m_ui->memBar->setCurrentValue(1);
        m_ui->memBar->updateGauge();
        // The bar starts again from nearly empty, so the next reading is drawn
        // even when it equals the last one.
        m_lastMemory.clear();
        startTimer(kPanelRefreshInterval);
    }
}

void SetupViewController::tempUnitChanged() {
    if (m_helper) {
        m_helper->changeTempUnitToCelsius(m_ui->tempUnitSelector->selectedSegment() == 0);
    }
    updateReadings();
}

void SetupViewController::fanUnitChanged() {
    if (m_helper) {
        m_helper->changeFanUnitToRPM(m_ui->fanUnitSelector->selectedSegment() == 0);
    }
    updateReadings();
}

void SetupViewController::updateReadings() {
    // Before the panels are filled the tiles stand for nothing yet.
    if (!m_helper || !m_panelsFilled) {
        return;
    }
    ++m_unansweredRefreshes;
    updateStaleness();
    Q_EMIT readingsRequested();
    QPointer<SetupViewController> self(this);

    QList<BoxView*> temps;
    QList<quint32> codes;
    for (BoxView* box : m_tempBoxes) {
        if (!box->isHidden()) {
            temps.append(box);
            codes.append(box->sensorCode());
        }
    }
    m_helper->temperatureForSensors(codes, [self, temps](const QList<int>& values) {
        if (self) {
            self->later([self, temps, values] { self->showTemperatures(temps, values); });
        }
    });

    QList<BoxFanView*> fans;
    QList<int> fanNumbers;
    for (BoxFanView* box : m_fanBoxes) {
        if (!box->isHidden()) {
            fans.append(box);
            fanNumbers.append(box->sensorKey().toInt());
        }
    }
    const bool percent = m_ui->fanUnitSelector->selectedSegment() > 0;
    m_helper->rpmForFans(fanNumbers, [self, fans, percent](const QList<int>& values) {
        if (self) {
            self->later(
                [self, fans, values, percent] { self->showFanSpeeds(fans, values, percent); });
        }
    });

    QList<BoxView*> memory;
    for (BoxView* box : m_memBoxes) {
        if (!box->isHidden()) {
            memory.append(box);
        }
    }
    m_helper->memoryUsage([self, memory](const QList<double>& values) {
        if (self) {
            self->later([self, memory, values] { self->showMemory(memory, values); });
        }
    });
}

void SetupViewController::showTemperatures(const QList<BoxView*>& boxes, const QList<int>& values) {
    const bool inFahrenheit = temperatureUnitSegment() > 0;
    for (qsizetype i = 0; i < std::min(boxes.size(), values.size()); ++i) {
        const int value = inFahrenheit ? fahrenheit(values[i]) : values[i];
        boxes[i]->setReadingUnit(inFahrenheit ? SpokenReading::Unit::fahrenheit
                                              : SpokenReading::Unit::celsius);
        boxes[i]->setSensorValue(QString::number(value));
    }
    answered(Temps);
}

void SetupViewController::showFanSpeeds(const QList<BoxFanView*>& boxes, const QList<int>& values,
                                        bool percent) {
    for (qsizetype i = 0; i < std::min(boxes.size(), values.size()); ++i) {
        boxes[i]->setShowsPercentage(percent);
        boxes[i]->setCurrentSpeed(values[i]);
        boxes[i]->setNeedsLayout();
    }
    answered(Fans);
}

void SetupViewController::showMemory(const QList<BoxView*>& boxes, const QList<double>& values) {
    // A short reply shows the figures it has.
    if (!values.isEmpty()) {
        m_ui->totalMemoryLabel->setText(tr("%1 GB").arg(Gauge::formatValue(values[0])));
    }
    // Unchanged figures leave the bar as it is rather than restart its animation.
    if (values.size() > 1 && values.mid(0, 2) != m_lastMemory.mid(0, 2)) {
        m_ui->memBar->setMaxValue(values[0]);
        m_ui->memBar->updateGauge();
        // A change of under one percent of the total is a pixel or two of bar:
        // drawn at once, it spares the frames of an animation every refresh.
        if (std::abs(values[1] - m_ui->memBar->currentValue()) < values[0] * 0.01) {
            m_ui->memBar->setLastValue(values[1]);
        }
        m_ui->memBar->setCurrentValue(values[1]);
        m_ui->memBar->updateGauge();
    }
    m_lastMemory = values;
    for (qsizetype i = 0; i < std::min<qsizetype>(boxes.size(), values.size() - 3); ++i) {
        boxes[i]->setSensorValue(Gauge::formatValue(values[i + 3]));
    }
    answered(Mem);
}

void SetupViewController::answered(Section section) {
    m_answeredSections |= section;
    m_unansweredRefreshes = 0;
    updateStaleness();
    Q_EMIT readingsShown();
}

void SetupViewController::updateStaleness() {
    const bool stale = !m_helperPresent || m_unansweredRefreshes > kStaleRefreshes;
    if (stale == m_stale) {
        return;
    }
    m_stale = stale;
    for (QGraphicsOpacityEffect* dimmer : std::as_const(m_dimmers)) {
        dimmer->setEnabled(stale);
    }
}

void SetupViewController::setHelperPresence(HelperPresence::State state,
                                            const std::optional<AgentStopRecord::Stop>& stop) {
    m_banner->showFor(state, stop);
    const bool present = state == HelperPresence::State::connected;
    if (present == m_helperPresent) {
        return;
    }
    m_helperPresent = present;
    applyPresence();
}

void SetupViewController::follow(HelperPresence* presence) {
    const auto show = [this, presence] { setHelperPresence(presence->state(), presence->stop()); };
    show();
    connect(presence, &HelperPresence::stateChanged, this, show);
    connect(presence, &HelperPresence::helperAppeared, this,
            &SetupViewController::requestSensorDictionaries);
    connect(this, &SetupViewController::readingsRequested, presence, &HelperPresence::refreshSent);
    connect(this, &SetupViewController::readingsShown, presence, &HelperPresence::answered);
}

void SetupViewController::applyPresence() {
    // The tiles and their gears, the unit selectors and the check boxes would
    // all send the agent a change; the panel selector only shows another panel.
    for (QWidget* control : {m_ui->tempStack, m_ui->fanStack, m_ui->memStack,
                             static_cast<QWidget*>(m_ui->tempUnitSelector),
                             static_cast<QWidget*>(m_ui->fanUnitSelector)}) {
        control->setEnabled(m_helperPresent);
    }
    if (!m_helperPresent) {
        // An open chooser would send its pick to nobody.
        for (BoxView* box : std::as_const(m_tempBoxes)) {
            box->popover()->hide();
        }
    }
    enableSectionChecks();
    // "No sensors" would be a guess while nobody answers; the banner says why.
    if (!m_helperPresent) {
        m_ui->noSensorsMsg->hide();
        m_ui->noFansMsg->hide();
    } else {
        m_ui->noSensorsMsg->setVisible(m_panelsFilled && m_temperatures.isEmpty());
        m_ui->noFansMsg->setVisible(m_panelsFilled && m_fans.isEmpty());
    }
    m_unansweredRefreshes = 0;
    updateStaleness();
}

void SetupViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_windowConfigured) {
        if (QWidget* top = window(); top && top != this && top->windowTitle().isEmpty()) {
            top->setWindowTitle(windowTitle());
        }
        // The keyboard starts at the top, on the panel selector (built once
        // the tab view is shown, which comes before this).
        if (QWidget* selector = m_ui->mainTabView->tabSelector()) {
            selector->setFocus(Qt::ActiveWindowFocusReason);
        }
        m_windowConfigured = true;
    }
    startTimer(m_refreshInterval);
}

void SetupViewController::hideEvent(QHideEvent* event) {
    m_timer->stop();
    qCInfo(lcSetupWindow).noquote() << "Timer invalidated.";
    QWidget::hideEvent(event);
}

void SetupViewController::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void SetupViewController::applyColors() {
    const NamedAssets& assets = NamedAssets::shared();
    const QColor name = assets.color(QStringLiteral("NameColor"), palette());
    const QColor value = assets.color(QStringLiteral("ValueColor"), palette());
    for (QWidget* label :
         {static_cast<QWidget*>(m_ui->tempTitle), static_cast<QWidget*>(m_ui->fanTitle),
          static_cast<QWidget*>(m_ui->memTitle), static_cast<QWidget*>(m_ui->totalMemoryLabel)}) {
        setTextColor(label, value);
    }
    for (QWidget* label :
         {m_ui->helpMsg, m_ui->noSensorsMsg, m_ui->noFansMsg, m_ui->showInWidgetLabel}) {
        setTextColor(label, name);
    }
    update();
}

void SetupViewController::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), NamedAssets::shared().color(QStringLiteral("BackColor"), palette()));
}
