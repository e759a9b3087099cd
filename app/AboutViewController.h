#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutViewController;
}

// The About window: the application's icon, the product's name and version,
// and the way to its terms.
class AboutViewController : public QDialog {
    Q_OBJECT
public:
    // The application's icon above its name, in points.
    static constexpr int kIconSize = 96;

    explicit AboutViewController(const QString& versionText, QWidget* parent = nullptr);
    ~AboutViewController() override;

    Ui::AboutViewController& outlets() { return *ui; }
    bool windowConfigured() const { return m_windowConfigured; }

public Q_SLOTS:
    void licenseButtonPressed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::AboutViewController> ui;
    bool m_windowConfigured = false;
};
