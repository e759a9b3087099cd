#pragma once

#include "UrlOpener.h"

#include <QDialog>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
namespace Ui {
class UpdateViewController;
}

// Tells whether a newer release exists: downloads the update description (a
// property list with "version", "link" and "notes"), compares its version with
// ours as numbers and shows one of three ends: an update with its notes, up to
// date, or no information (closing then sends the user to the download page).
class UpdateViewController : public QDialog {
    Q_OBJECT
public:
    // A description larger than this, or one that has not arrived within the
    // time limit, is a failure: the check must end, whatever the server does.
    static constexpr qint64 maximumDescriptionSize = 1024 * 1024;
    static constexpr int defaultTimeLimitMs = 15000;
    // Notes longer than this are cut (with an ellipsis): the text view lays
    // out a long text for seconds, and no release needs more.
    static constexpr qsizetype maximumNotesLength = 16 * 1024;

    struct Settings {
        QUrl updateFileURL;
        QUrl webDownloadURL;
        QString installedVersion;
        int timeLimitMs = defaultTimeLimitMs;
        UrlOpener openUrl;

        // The compiled-in server, version and the desktop's browser.
        static Settings standard();
    };

    explicit UpdateViewController(const Settings& settings, QWidget* parent = nullptr);
    ~UpdateViewController() override;

    enum class State { Checking, UpdateAvailable, UpToDate, Failed };
    State state() const { return m_state; }
    bool manuallyCheck() const { return m_manuallyCheck; }

    // The outlets, for tests and screenshots.
    Ui::UpdateViewController& outlets() { return *ui; }

public Q_SLOTS:
    void updateButtonPressed();
    void closeWindow();

Q_SIGNALS:
    // The check has reached one of its three ends.
    void checkFinished();

private:
    void receive();
    void checkRedirect(const QUrl& target);
    void stop(const QString& reason);
    void downloadFinished();
    void readDescription(const QByteArray& bytes);
    void sessionError(const QString& description);
    void showUpdateAvailable(const QString& offered, const QString& notes);
    void showUpToDate();
    void reportFailure();
    void finish(State state);

    std::unique_ptr<Ui::UpdateViewController> ui;
    Settings m_settings;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QTimer* m_timeLimit = nullptr;
    QByteArray m_received;
    QString m_abortReason;
    State m_state = State::Checking;
    bool m_manuallyCheck = false;
};
