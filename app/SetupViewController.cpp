#include "SetupViewController.h"

#include <QMessageBox>
#include <QMetaMethod>

SetupViewController::SetupViewController(OndaraHelperProtocol* helper, QWidget* parent)
    : QWidget(parent)
    , m_helper(helper) {}

SetupViewController::~SetupViewController() = default;

void SetupViewController::openUpdater() {
    if (isSignalConnected(QMetaMethod::fromSignal(&SetupViewController::updaterRequested))) {
        Q_EMIT updaterRequested();
        return;
    }
    auto* notice = new QMessageBox(QMessageBox::Information, QStringLiteral("Check for Updates"),
                                   QStringLiteral("Checking for updates is not available yet."),
                                   QMessageBox::Ok, this);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}
