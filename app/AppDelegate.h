#pragma once

// Errors in the application: the installation steps throw HelperError
// within HelperInstallation and turn it into lines of its diagnostic text;
// what the user must know is an alert with one "Ok" button; replies that
// never come leave the window as it was. Only main ends the program.

#include "UrlOpener.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class OndaraHelperProtocol;
class OndaraHistoryProtocol;
class QMainWindow;
class QMenuBar;
class UpdateViewController;

// The application around its window: the menus (About, Info, Check for
// Updates…, Support, Donate, Quit, Copy Diagnostics under Help, and History…
// and Alert Rules… under View), the small informational windows, the history
// window and the alert rules, and bringing the window forward when the
// application is opened again.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(QUrl supportPageURL, QUrl donateURL, UrlOpener openUrl, QObject* parent = nullptr);

    // Fills the window's menu bar. diagnostics gives the text "Copy
    // Diagnostics" puts on the clipboard.
    void installMenus(QMainWindow* window, std::function<QString()> diagnostics);

    // Where the history window and the rules get their answers (not owned),
    // and which reading History… opens on.
    void setHistorySources(OndaraHelperProtocol* helper, OndaraHistoryProtocol* history);
    void setCurrentSeries(std::function<QString()> currentSeries);

    // Window-less windows for screenshots, by name: "about", "info",
    // "license", "updater", "history" or "alerts"; nothing for another name.
    QWidget* createDialog(const QString& name, QWidget* parent = nullptr);
    static QStringList dialogNames();

public Q_SLOTS:
    void openSupportPage();
    void openDonatePage();
    void showAbout();
    void showInfo();
    void showUpdater();
    // The history window on a series (empty: the current tile's, else the first).
    void showHistory(const QString& series = QString());
    void showAlertRules();
    // Brings the window forward (a second start, an ondara:// address).
    void bringForward();

private:
    void showOnce(QPointer<QWidget>& slot, const QString& name);

    QUrl m_supportPageURL;
    QUrl m_donateURL;
    UrlOpener m_openUrl;
    QMainWindow* m_window = nullptr;
    QPointer<QWidget> m_about;
    QPointer<QWidget> m_info;
    QPointer<QWidget> m_updater;
    QPointer<QWidget> m_history;
    QPointer<QWidget> m_alertRules;
    OndaraHelperProtocol* m_helper = nullptr;
    OndaraHistoryProtocol* m_historySource = nullptr;
    std::function<QString()> m_currentSeries;
};
