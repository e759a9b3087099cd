#include "UpdateViewController.h"

#include "ApplicationVersion.h"
#include "PropertyList.h"
#include "WebAddresses.h"
#include "ui_UpdateViewController.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <cstdio>

UpdateViewController::Settings UpdateViewController::Settings::standard() {
    const WebAddresses addresses;
    Settings settings;
    settings.updateFileURL = addresses.updateFile();
    settings.webDownloadURL = addresses.downloadPage();
    settings.installedVersion = ApplicationVersion::text();
    settings.openUrl = desktopUrlOpener();
    return settings;
}

UpdateViewController::UpdateViewController(const Settings& settings, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::UpdateViewController>())
    , m_settings(settings) {
    ui->setupUi(this);
    QFont headline = ui->statusLabel->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.25);
    ui->statusLabel->setFont(headline);
    connect(ui->updateButton, &QPushButton::clicked, this,
            &UpdateViewController::updateButtonPressed);
    connect(ui->closeButton, &QPushButton::clicked, this, &UpdateViewController::closeWindow);
    connect(ui->cancelButton, &QPushButton::clicked, this, &UpdateViewController::closeWindow);

    ui->infoLabel->clear();
    for (QWidget* hidden :
         {static_cast<QWidget*>(ui->closeButton), static_cast<QWidget*>(ui->releaseNotesLabel),
          static_cast<QWidget*>(ui->releaseNotesTextView), static_cast<QWidget*>(ui->updateButton),
          static_cast<QWidget*>(ui->cancelButton)}) {
        hidden->hide();
    }
    ui->spinner->show();

    m_network = new QNetworkAccessManager(this);
    // Never from a cache: the point is what the server says now. Redirects
    // are followed only where the base address itself could point.
    QNetworkRequest request(m_settings.updateFileURL);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    m_reply = m_network->get(request);
    // The reply keeps at most this much unread, whatever the server sends;
    // every chunk is counted as it arrives.
    m_reply->setReadBufferSize(maximumDescriptionSize + 1);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > maximumDescriptionSize) {
            stop(QStringLiteral("The update description is larger than 1 MiB."));
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateViewController::receive);
    connect(m_reply, &QNetworkReply::redirected, this, &UpdateViewController::checkRedirect);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateViewController::downloadFinished);

    m_timeLimit = new QTimer(this);
    m_timeLimit->setSingleShot(true);
    connect(m_timeLimit, &QTimer::timeout, this,
            [this] { stop(QStringLiteral("The request timed out.")); });
    m_timeLimit->start(m_settings.timeLimitMs);
}

UpdateViewController::~UpdateViewController() {
    if (m_reply) {
        // Nothing may be delivered to a controller that is going away.
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void UpdateViewController::stop(const QString& reason) {
    if (m_reply && m_abortReason.isEmpty()) {
        m_abortReason = reason;
        m_reply->abort();
    }
}

void UpdateViewController::receive() {
    if (!m_abortReason.isEmpty()) {
        return;
    }
    m_received += m_reply->read(maximumDescriptionSize + 1 - m_received.size());
    if (m_received.size() > maximumDescriptionSize) {
        stop(QStringLiteral("The update description is larger than 1 MiB."));
    }
}

void UpdateViewController::checkRedirect(const QUrl& target) {
    // No step down from https, and plain http only to this machine.
    const bool downgrade = m_settings.updateFileURL.scheme() == QLatin1StringView("https") &&
                           target.scheme() != QLatin1StringView("https");
    if (downgrade || !WebAddresses::isAcceptableOverride(target)) {
        stop(QStringLiteral("The update server redirected to %1, which is not a secure address.")
                 .arg(target.toDisplayString()));
        return;
    }
    Q_EMIT m_reply->redirectAllowed();
}

void UpdateViewController::downloadFinished() {
    receive(); // what arrived with the end
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->deleteLater();
    m_timeLimit->stop();
    if (!m_abortReason.isEmpty()) {
        sessionError(m_abortReason);
    } else if (reply->error() != QNetworkReply::NoError) {
        sessionError(reply->errorString());
    } else {
        readDescription(std::exchange(m_received, QByteArray()));
    }
}

void UpdateViewController::sessionError(const QString& description) {
    std::printf("Error in urlSession didComplete: %s\n", qPrintable(description));
    std::fflush(stdout);
    reportFailure();
}

void UpdateViewController::readDescription(const QByteArray& bytes) {
    const auto parsed = PropertyList::parse(bytes);
    if (!parsed || !PropertyList::isDictionary(*parsed)) {
        reportFailure();
        return;
    }
    const QVariantMap description = parsed->toMap();
    const auto text = [&](const char* key) {
        const QVariant value = description.value(QLatin1StringView(key));
        return value.typeId() == QMetaType::QString ? std::optional(value.toString())
                                                    : std::nullopt;
    };
    const auto offered = text("version");
    const auto link = text("link");
    const auto notes = text("notes");
    if (!offered || !link || !notes) {
        reportFailure();
        return;
    }
    const auto offeredNumber = ApplicationVersion::number(*offered);
    const auto installedNumber = ApplicationVersion::number(m_settings.installedVersion);
    if (!offeredNumber || !installedNumber) {
        reportFailure();
        return;
    }
    if (*offeredNumber > *installedNumber) {
        showUpdateAvailable(*offered, *notes);
    } else {
        showUpToDate();
    }
}

void UpdateViewController::showUpdateAvailable(const QString& offered, const QString& notes) {
    ui->statusLabel->setText(tr("Update available!"));
    ui->infoLabel->setText(tr("New version %1 is available for download.\nYou have version %2 "
                              "installed.")
                               .arg(offered, m_settings.installedVersion));
    ui->releaseNotesTextView->setPlainText(
        notes.size() > maximumNotesLength ? notes.left(maximumNotesLength) + QChar(0x2026) : notes);
    ui->releaseNotesLabel->show();
    ui->releaseNotesTextView->show();
    ui->updateButton->show();
    ui->cancelButton->show();
    ui->updateButton->setDefault(true);
    finish(State::UpdateAvailable);
}

void UpdateViewController::showUpToDate() {
    ui->statusLabel->setText(tr("You are up-to-date!"));
    ui->infoLabel->setText(tr("You are already using the latest version."));
    ui->closeButton->show();
    finish(State::UpToDate);
}

void UpdateViewController::reportFailure() {
    ui->statusLabel->setText(tr("Unable to get update info"));
    ui->infoLabel->setText(tr("Please check the Ondara website to see if an update is available."));
    m_manuallyCheck = true;
    ui->closeButton->show();
    finish(State::Failed);
}

void UpdateViewController::finish(State state) {
    ui->spinner->hide();
    m_state = state;
    Q_EMIT checkFinished();
}

void UpdateViewController::updateButtonPressed() {
    m_settings.openUrl(m_settings.webDownloadURL);
    close();
}

void UpdateViewController::closeWindow() {
    if (m_manuallyCheck) {
        m_settings.openUrl(m_settings.webDownloadURL);
    }
    close();
}
