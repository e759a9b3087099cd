#include "AboutViewController.h"

#include "ApplicationVersion.h"
#include "LicenseViewController.h"
#include "NamedAssets.h"
#include "ui_AboutViewController.h"

AboutViewController::AboutViewController(const QString& versionText, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AboutViewController>()) {
    ui->setupUi(this);
    setWindowIcon(NamedAssets::applicationIcon());
    ui->iconLabel->setPixmap(
        NamedAssets::applicationIcon().pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF()));
    ui->iconLabel->setAccessibleName(tr("Ondara icon"));
    QFont name = ui->nameLabel->font();
    name.setPointSizeF(name.pointSizeF() * 2.0);
    name.setWeight(QFont::DemiBold);
    ui->nameLabel->setFont(name);
    if (const QString label = ApplicationVersion::label(versionText); !label.isEmpty()) {
        ui->versionLabel->setText(label);
    }
    connect(ui->licenseButton, &QPushButton::clicked, this,
            &AboutViewController::licenseButtonPressed);
}

AboutViewController::~AboutViewController() = default;

void AboutViewController::showEvent(QShowEvent* event) {
    // The window takes the catalogue's background once, when it first appears.
    if (!m_windowConfigured) {
        QPalette background = palette();
        background.setColor(QPalette::Window,
                            NamedAssets::shared().color(QStringLiteral("BackColor"), palette()));
        setPalette(background);
        setAutoFillBackground(true);
        m_windowConfigured = true;
    }
    QDialog::showEvent(event);
}

void AboutViewController::licenseButtonPressed() {
    auto* license = new LicenseViewController(this);
    license->setAttribute(Qt::WA_DeleteOnClose);
    license->open();
}
