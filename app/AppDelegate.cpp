#include "AppDelegate.h"

#include "AboutViewController.h"
#include "AlertRulesViewController.h"
#include "ApplicationVersion.h"
#include "HistoryViewController.h"
#include "InfoViewController.h"
#include "LicenseViewController.h"
#include "UpdateViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMenuBar>

AppDelegate::AppDelegate(QUrl supportPageURL, QUrl donateURL, UrlOpener openUrl, QObject* parent)
    : QObject(parent)
    , m_supportPageURL(std::move(supportPageURL))
    , m_donateURL(std::move(donateURL))
    , m_openUrl(std::move(openUrl)) {}

QStringList AppDelegate::dialogNames() {
    return {QStringLiteral("about"),   QStringLiteral("info"),    QStringLiteral("license"),
            QStringLiteral("updater"), QStringLiteral("history"), QStringLiteral("alerts")};
}

void AppDelegate::setHistorySources(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history) {
    m_helper = helper;
    m_historySource = history;
}

void AppDelegate::setCurrentSeries(std::function<QString()> currentSeries) {
    m_currentSeries = std::move(currentSeries);
}

void AppDelegate::installMenus(QMainWindow* window, std::function<QString()> diagnostics) {
    m_window = window;
    QMenuBar* bar = window->menuBar();
    QMenu* app = bar->addMenu(tr("&Ondara"));
    app->addAction(tr("&About Ondara"), this, &AppDelegate::showAbout)
        ->setMenuRole(QAction::AboutRole);
    app->addAction(tr("&Info"), this, &AppDelegate::showInfo);
    app->addAction(tr("Check for &Updates…"), this, &AppDelegate::showUpdater);
    app->addSeparator();
    QAction* quit = app->addAction(tr("&Quit"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* view = bar->addMenu(tr("&View"));
    QAction* history = view->addAction(tr("&History…"), this, [this] { showHistory(); });
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    view->addAction(tr("Alert &Rules…"), this, &AppDelegate::showAlertRules);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(tr("&Support"), this, &AppDelegate::openSupportPage);
    help->addAction(tr("&Donate"), this, &AppDelegate::openDonatePage);
    help->addSeparator();
    help->addAction(tr("&Copy Diagnostics"), this,
                    [diagnostics] { QApplication::clipboard()->setText(diagnostics()); });
}

QWidget* AppDelegate::createDialog(const QString& name, QWidget* parent) {
    const QString version = ApplicationVersion::text();
    if (name == QLatin1StringView("about")) {
        return new AboutViewController(version, parent);
    }
    if (name == QLatin1StringView("info")) {
        return new InfoViewController(version, m_supportPageURL, m_donateURL, m_openUrl, parent);
    }
    if (name == QLatin1StringView("license")) {
        return new LicenseViewController(parent);
    }
    if (name == QLatin1StringView("history")) {
        auto* window = new HistoryViewController(m_helper, m_historySource, parent);
        window->setWindowFlag(Qt::Window);
        connect(window, &HistoryViewController::alertRulesRequested, this,
                &AppDelegate::showAlertRules);
        return window;
    }
    if (name == QLatin1StringView("alerts")) {
        return new AlertRulesViewController(m_helper, m_historySource, parent);
    }
    if (name == QLatin1StringView("updater")) {
        UpdateViewController::Settings settings = UpdateViewController::Settings::standard();
        settings.openUrl = m_openUrl;
        return new UpdateViewController(settings, parent);
    }
    return nullptr;
}

void AppDelegate::showOnce(QPointer<QWidget>& slot, const QString& name) {
    // One window of a kind: asking again brings the open one forward.
    if (!slot) {
        slot = createDialog(name, m_window);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (auto* dialog = qobject_cast<QDialog*>(slot.data());
        dialog && name == QLatin1StringView("updater")) {
        dialog->open();
    } else {
        slot->show();
    }
    slot->raise();
    slot->activateWindow();
}

void AppDelegate::showAbout() {
    showOnce(m_about, QStringLiteral("about"));
}

void AppDelegate::showInfo() {
    showOnce(m_info, QStringLiteral("info"));
}

void AppDelegate::showUpdater() {
    showOnce(m_updater, QStringLiteral("updater"));
}

void AppDelegate::showHistory(const QString& series) {
    const QString chosen = !series.isEmpty() ? series
                           : m_currentSeries ? m_currentSeries()
                                             : QString();
    showOnce(m_history, QStringLiteral("history"));
    if (auto* window = qobject_cast<HistoryViewController*>(m_history.data())) {
        window->showSeries(chosen);
    }
}

void AppDelegate::showAlertRules() {
    // Above the history window when that asked for it.
    QWidget* over = m_history && m_history->isActiveWindow() ? m_history.data() : m_window;
    if (!m_alertRules) {
        m_alertRules = createDialog(QStringLiteral("alerts"), over);
        m_alertRules->setAttribute(Qt::WA_DeleteOnClose);
        if (auto* rules = qobject_cast<AlertRulesViewController*>(m_alertRules.data());
            rules && m_history) {
            connect(rules, &AlertRulesViewController::rulesChanged,
                    qobject_cast<HistoryViewController*>(m_history.data()),
                    &HistoryViewController::refresh);
        }
    }
    m_alertRules->show();
    m_alertRules->raise();
    m_alertRules->activateWindow();
}

void AppDelegate::openSupportPage() {
    m_openUrl(m_supportPageURL);
}

void AppDelegate::openDonatePage() {
    m_openUrl(m_donateURL);
}

void AppDelegate::bringForward() {
    if (!m_window) {
        return;
    }
    if (m_window->isMinimized()) {
        m_window->showNormal();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
