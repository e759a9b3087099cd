#pragma once

#include "BackgroundView.h"
#include "ipc/HelperPresence.h"

class QLabel;
class QPushButton;

// The strip above the panels that says why the readings are not live: the
// agent is not running (with Start), or it stopped for a reason it gave (no
// sensors it can read, with a way to the demo machine; no right to read them;
// another agent serving). Hidden while the agent is here.
class HelperBanner : public BackgroundView {
    Q_OBJECT
public:
    explicit HelperBanner(QWidget* parent = nullptr);

    // Shows what fits the state, or hides itself when connected.
    void showFor(HelperPresence::State state, const std::optional<AgentStopRecord::Stop>& stop);

    QLabel* message() const { return m_message; }
    QLabel* advice() const { return m_advice; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* demoButton() const { return m_demo; }

Q_SIGNALS:
    // Start the agent as the application's start does.
    void startRequested();
    // Start it on the built-in demo machine instead.
    void demoRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* m_message;
    QLabel* m_advice;
    QPushButton* m_start;
    QPushButton* m_demo;
};
