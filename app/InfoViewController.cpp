#include "InfoViewController.h"

#include "ApplicationVersion.h"
#include "ui_InfoViewController.h"

InfoViewController::InfoViewController(const QString& versionText, const QUrl& supportPage,
                                       const QUrl& donateURL, UrlOpener openUrl, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::InfoViewController>())
    , m_supportPage(supportPage)
    , m_donateURL(donateURL)
    , m_openUrl(std::move(openUrl)) {
    ui->setupUi(this);
    QFont name = ui->nameLabel->font();
    name.setPointSizeF(name.pointSizeF() * 1.6);
    name.setWeight(QFont::DemiBold);
    ui->nameLabel->setFont(name);
    if (const QString label = ApplicationVersion::label(versionText); !label.isEmpty()) {
        ui->versionLabel->setText(label);
    }
    connect(ui->supportButton, &QPushButton::clicked, this,
            &InfoViewController::supportButtonPressed);
    connect(ui->donateButton, &QPushButton::clicked, this, &InfoViewController::openDonatePage);
}

InfoViewController::~InfoViewController() = default;

void InfoViewController::supportButtonPressed() {
    m_openUrl(m_supportPage);
}

void InfoViewController::openDonatePage() {
    m_openUrl(m_donateURL);
}
