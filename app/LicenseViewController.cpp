#include "LicenseViewController.h"

#include "NamedAssets.h"
#include "ui_LicenseViewController.h"

LicenseViewController::LicenseViewController(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LicenseViewController>()) {
    ui->setupUi(this);
    ui->licenseTextView->setPlainText(termsText());
    connect(ui->closeButton, &QPushButton::clicked, this, &LicenseViewController::dismissLicense);
}

LicenseViewController::~LicenseViewController() = default;

QString LicenseViewController::termsText() {
    return tr(
        "Ondara Terms of Use\n"
        "\n"
        "1. Use. You may install and use Ondara on any number of computers that you own or "
        "look after, for private and commercial purposes, free of charge.\n"
        "\n"
        "2. Redistribution. You may pass on unchanged copies of Ondara, provided that these "
        "terms go with every copy and that nothing is charged for Ondara itself.\n"
        "\n"
        "3. Readings. Ondara shows what the computer's sensors report. It does not change fan "
        "speeds or any other setting of the hardware, and its readings are not meant for "
        "decisions on which health or safety depends.\n"
        "\n"
        "4. Warranty. Ondara is provided \"as is\", without warranty of any kind, express or "
        "implied, including the warranties of merchantability, fitness for a particular "
        "purpose and non-infringement. In no event shall the authors of Ondara be liable for "
        "any claim, damages or other liability arising from the use of Ondara.\n"
        "\n"
        "5. Acceptance. By using Ondara you accept these terms.\n");
}

void LicenseViewController::showEvent(QShowEvent* event) {
    // The text sits on the catalogue's background, like the rest of the window.
    QPalette background = palette();
    const QColor back = NamedAssets::shared().color(QStringLiteral("BackColor"), palette());
    background.setColor(QPalette::Window, back);
    background.setColor(QPalette::Base, back);
    setPalette(background);
    setAutoFillBackground(true);
    QDialog::showEvent(event);
}

void LicenseViewController::dismissLicense() {
    close();
}
