#include "HelperBanner.h"

#include "HelperStateText.h"
#include "NamedAssets.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

HelperBanner::HelperBanner(QWidget* parent)
    : BackgroundView(parent)
    , m_message(new QLabel(this))
    , m_advice(new QLabel(this))
    , m_start(new QPushButton(tr("Start"), this))
    , m_demo(new QPushButton(tr("Use the Demo Machine"), this)) {
    setColorName(QStringLiteral("ContainerColor"));
    setObjectName(QStringLiteral("helperBanner"));
    setAccessibleName(tr("Sensor service"));
    QFont heading = m_message->font();
    heading.setPixelSize(13);
    heading.setBold(true);
    m_message->setFont(heading);
    QFont small = m_advice->font();
    small.setPixelSize(12);
    m_advice->setFont(small);
    for (QLabel* label : {m_message, m_advice}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_start->setAccessibleDescription(tr("Starts Ondara's sensor service"));
    m_demo->setAccessibleDescription(
        tr("Starts Ondara's sensor service on a built-in demo machine with made-up readings"));

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_message);
    texts->addWidget(m_advice);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 10, 16, 10);
    row->addLayout(texts, 1);
    row->addWidget(m_start, 0, Qt::AlignVCenter);
    row->addWidget(m_demo, 0, Qt::AlignVCenter);
    connect(m_start, &QPushButton::clicked, this, &HelperBanner::startRequested);
    connect(m_demo, &QPushButton::clicked, this, &HelperBanner::demoRequested);
    applyColors();
    hide();
}

void HelperBanner::showFor(HelperPresence::State state,
                           const std::optional<AgentStopRecord::Stop>& stop) {
    if (state == HelperPresence::State::connected) {
        hide();
        return;
    }
    const HelperStateText::Reason reason = state == HelperPresence::State::stopped && stop
                                               ? HelperStateText::Reason(stop->reason)
                                               : std::nullopt;
    const QString message = HelperStateText::headline(reason);
    const QString advice = HelperStateText::advice(reason);
    // Starting again helps unless the machine or its driver is the reason.
    const bool demo = reason == AgentStopRecord::Reason::noSensors;
    const bool start = !demo && reason != AgentStopRecord::Reason::notPrivileged;
    m_message->setText(message);
    m_advice->setText(advice);
    m_demo->setVisible(demo);
    m_start->setVisible(start);
    // The banner is one stop for a screen reader: what is wrong, and what to do.
    setAccessibleDescription(message + QLatin1Char(' ') + advice);
    show();
}

void HelperBanner::changeEvent(QEvent* event) {
    BackgroundView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void HelperBanner::applyColors() {
    const NamedAssets& assets = NamedAssets::shared();
    for (const auto& [label, name] : {std::pair{m_message, QStringLiteral("ValueColor")},
                                      std::pair{m_advice, QStringLiteral("NameColor")}}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, assets.color(name, this->palette()));
        label->setPalette(palette);
    }
}
