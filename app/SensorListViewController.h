#pragma once

#include "SensorRecords.h"
#include "SetupViewController.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <optional>

class OndaraHelperProtocol;
class QRadioButton;
class QTimer;

namespace Ui {
class SensorListViewController;
}

// The sensor chooser in a temperature tile's pop-up: the component's
// candidate sensors as radio buttons with their live temperatures. Picking
// one tells the agent to use it for the component and points the tile at it.
//
// The list is built the first time the chooser is shown and kept; readings
// refresh every refreshInterval seconds while it is shown.
class SensorListViewController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 28;
    static constexpr int kExtraHeight = 72;
    static constexpr int kRowInset = 20;

    explicit SensorListViewController(const QList<SensorCandidate>& data,
                                      QWidget* parent = nullptr);
    ~SensorListViewController() override;

    OndaraHelperProtocol* helper() const { return m_helper; }
    void setHelper(OndaraHelperProtocol* helper) { m_helper = helper; }
    SetupViewController* setupVC() const { return m_setupVC; }
    void setSetupVC(SetupViewController* controller) { m_setupVC = controller; }
    QString componentName() const { return m_componentName; }
    void setComponentName(const QString& name) { m_componentName = name; }
    std::optional<QList<SensorCandidate>> data() const { return m_data; }
    void setData(const std::optional<QList<SensorCandidate>>& data) { m_data = data; }

    QList<QRadioButton*> radioButtons() const { return m_radioButtons; }
    QList<quint32> sensorCodes() const { return m_sensorCodes; }
    std::optional<int> selectedIndex() const { return m_selectedIndex; }
    double refreshInterval() const { return m_refreshInterval; }
    bool isListBuilt() const { return m_listBuilt; }
    bool isRefreshing() const;
    QString headingText() const;

    // The chooser's size for a number of rows, and where row i of n sits,
    // measured from the bottom edge up (the first row is the highest).
    static QSize preferredContentSize(int width, int rows);
    static int rowBottom(int index, int rows);
    // "CPU_PROXIMITY" and "TC0P" give "CPU PROXIMITY (TC0P): 0".
    static QString initialTitle(const QString& name, const QString& codeText);
    // The title with a new reading after its first ":".
    static QString titleWithReading(const QString& title, int value, bool fahrenheit);

    QSize sizeHint() const override;

public Q_SLOTS:
    // Asks the agent for the candidates' temperatures.
    void updateTemps();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildList();
    void radioButtonClicked(QRadioButton* sender);
    void showTemperatures(const QList<int>& values);
    bool showsFahrenheit() const;
    void applyColors();

    Ui::SensorListViewController* m_ui;
    OndaraHelperProtocol* m_helper = nullptr;
    QPointer<SetupViewController> m_setupVC;
    QString m_componentName;
    std::optional<QList<SensorCandidate>> m_data;
    QList<QRadioButton*> m_radioButtons;
    QList<quint32> m_sensorCodes;
    QTimer* m_readingTimer = nullptr;
    double m_refreshInterval = 5.0;
    std::optional<int> m_selectedIndex;
    bool m_listBuilt = false;
};
