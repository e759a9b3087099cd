#pragma once

#include <QWidget>

class OndaraHelperProtocol;

// The application's main window content: the three panels of live tiles.
class SetupViewController : public QWidget {
    Q_OBJECT
public:
    explicit SetupViewController(OndaraHelperProtocol* helper, QWidget* parent = nullptr);
    ~SetupViewController() override;

    OndaraHelperProtocol* helper() const { return m_helper; }

public Q_SLOTS:
    // Asks for the update window: whoever provides it listens to
    // updaterRequested; until someone does, a short notice stands in.
    void openUpdater();

Q_SIGNALS:
    void updaterRequested();

private:
    OndaraHelperProtocol* m_helper = nullptr;
};
