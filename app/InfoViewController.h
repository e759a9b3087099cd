#pragma once

#include "UrlOpener.h"

#include <QDialog>
#include <QUrl>
#include <memory>

namespace Ui {
class InfoViewController;
}

// The Info window: the version, the support page and the donation page.
class InfoViewController : public QDialog {
    Q_OBJECT
public:
    InfoViewController(const QString& versionText, const QUrl& supportPage, const QUrl& donateURL,
                       UrlOpener openUrl, QWidget* parent = nullptr);
    ~InfoViewController() override;

    Ui::InfoViewController& outlets() { return *ui; }

public Q_SLOTS:
    void supportButtonPressed();
    void openDonatePage();

private:
    std::unique_ptr<Ui::InfoViewController> ui;
    QUrl m_supportPage;
    QUrl m_donateURL;
    UrlOpener m_openUrl;
};
