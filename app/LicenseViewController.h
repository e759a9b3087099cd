#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class LicenseViewController;
}

// The terms of use, shown as they are written.
class LicenseViewController : public QDialog {
    Q_OBJECT
public:
    explicit LicenseViewController(QWidget* parent = nullptr);
    ~LicenseViewController() override;

    static QString termsText();
    Ui::LicenseViewController& outlets() { return *ui; }

public Q_SLOTS:
    void dismissLicense();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::LicenseViewController> ui;
};
