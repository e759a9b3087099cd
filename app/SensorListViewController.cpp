#include "SensorListViewController.h"

#include "AppLogging.h"
#include "NamedAssets.h"
#include "OndaraHelperProtocol.h"
#include "SetupViewController.h"
#include "ui_SensorListViewController.h"

#include <QEvent>
#include <QRadioButton>
#include <QTimer>
#include <cmath>

namespace {

const QString kCelsius = QStringLiteral(" \u00BAC");
const QString kFahrenheit = QStringLiteral(" \u00BAF");

} // namespace

SensorListViewController::SensorListViewController(const QList<SensorCandidate>& data,
                                                   QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::SensorListViewController)
    , m_data(data) {
    m_ui->setupUi(this);
    QFont heading = m_ui->componentLabel->font();
    heading.setPixelSize(13);
    heading.setBold(true);
    m_ui->componentLabel->setFont(heading);
    applyColors();
}

SensorListViewController::~SensorListViewController() {
    delete m_ui;
}

QSize SensorListViewController::preferredContentSize(int width, int rows) {
    return QSize(width, kRowHeight * rows + kExtraHeight);
}

int SensorListViewController::rowBottom(int index, int rows) {
    return kRowHeight * rows - kRowHeight * index;
}

QString SensorListViewController::initialTitle(const QString& name, const QString& codeText) {
    return QString(name).replace(QLatin1Char('_'), QLatin1Char(' ')) + QStringLiteral(" (") +
           codeText + QStringLiteral("): 0");
}

QString SensorListViewController::titleWithReading(const QString& title, int value,
                                                   bool fahrenheit) {
    const qsizetype colon = title.indexOf(QLatin1Char(':'));
    const QString head = colon < 0 ? title : title.left(colon);
    return head + QStringLiteral(": ") + QString::number(value) +
           (fahrenheit ? kFahrenheit : kCelsius);
}

QSize SensorListViewController::sizeHint() const {
    return preferredContentSize(width(), int(m_radioButtons.size()));
}

bool SensorListViewController::isRefreshing() const {
    return m_readingTimer && m_readingTimer->isActive();
}

QString SensorListViewController::headingText() const {
    return m_ui->componentLabel->text();
}

void SensorListViewController::buildList() {
    m_listBuilt = true;
    if (!m_data) {
        return;
    }
    const QList<SensorCandidate>& rows = *m_data;
    const int n = int(rows.size());
    const int w = width();
    const QSize size = preferredContentSize(w, n);
    setFixedSize(size);
    for (int i = 0; i < n; ++i) {
        const SensorCandidate& row = rows[i];
        auto* button = new QRadioButton(this);
        button->setGeometry(kRowInset, size.height() - rowBottom(i, n) - 20, w - kRowInset, 20);
        m_sensorCodes.append(row.code);
        button->setText(initialTitle(row.name, row.keyText));
        button->setProperty("tag", i);
        button->setChecked(row.active);
        if (row.active) {
            m_selectedIndex = i;
        }
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { radioButtonClicked(button); });
        button->show();
        m_radioButtons.append(button);
    }
    m_ui->componentLabel->setText(tr("%1 Sensors").arg(m_componentName));
    setAccessibleName(m_ui->componentLabel->text());
    applyColors();
}

void SensorListViewController::showEvent(QShowEvent* event) {
    if (!m_listBuilt) {
        buildList();
    }
    QWidget::showEvent(event);
    if (m_selectedIndex && *m_selectedIndex < m_radioButtons.size()) {
        m_radioButtons[*m_selectedIndex]->setChecked(true);
    }
    // Opened from the keyboard, the chooser takes it at the sensor in use:
    // the arrow keys pick another, Escape closes it.
    if (!m_radioButtons.isEmpty()) {
        m_radioButtons.value(m_selectedIndex.value_or(0), m_radioButtons.first())
            ->setFocus(Qt::PopupFocusReason);
    }
    if (!m_readingTimer) {
        m_readingTimer = new QTimer(this);
        connect(m_readingTimer, &QTimer::timeout, this, &SensorListViewController::updateTemps);
    }
    m_readingTimer->start(int(m_refreshInterval * 1000));
    updateTemps();
}

void SensorListViewController::hideEvent(QHideEvent* event) {
    if (m_readingTimer) {
        m_readingTimer->stop();
    }
    QWidget::hideEvent(event);
}

void SensorListViewController::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void SensorListViewController::applyColors() {
    const NamedAssets& assets = NamedAssets::shared();
    QPalette heading = m_ui->componentLabel->palette();
    heading.setColor(QPalette::WindowText, assets.color(QStringLiteral("ValueColor"), palette()));
    m_ui->componentLabel->setPalette(heading);
}

bool SensorListViewController::showsFahrenheit() const {
    return m_setupVC && m_setupVC->temperatureUnitSegment() != 0;
}

void SensorListViewController::updateTemps() {
    if (!m_helper) {
        return;
    }
    QPointer<SensorListViewController> self(this);
    m_helper->temperatureForSensors(m_sensorCodes, [self](const QList<int>& values) {
        if (self) {
            self->showTemperatures(values);
        }
    });
}

void SensorListViewController::showTemperatures(const QList<int>& values) {
    const bool fahrenheit = showsFahrenheit();
    const qsizetype count = std::min(values.size(), m_radioButtons.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int value = fahrenheit ? SetupViewController::fahrenheit(values[i]) : values[i];
        QRadioButton* button = m_radioButtons[i];
        button->setText(titleWithReading(button->text(), value, fahrenheit));
    }
}

void SensorListViewController::radioButtonClicked(QRadioButton* sender) {
    const int tag = sender->property("tag").toInt();
    if (m_selectedIndex == tag) {
        qCInfo(lcSetupWindow).noquote() << "Clicked the already selected sensor. Aborting...";
        return;
    }
    m_selectedIndex = tag;
    const quint32 code = m_data.value_or(QList<SensorCandidate>()).value(tag).code;
    if (m_helper) {
        m_helper->changeSensorWithNewSensor(code, m_componentName);
    }
    if (m_setupVC) {
        m_setupVC->useSensorForComponent(code, m_componentName);
    }
}
