#include "NestedPropertyLists.h"
#include "PropertyList.h"
#include "UpdateViewController.h"
#include "WebAddresses.h"
#include "ui_UpdateViewController.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <plist/plist.h>
#include <unistd.h>

namespace {

QByteArray httpResponse(const QByteArray& body, const QByteArray& status = "200 OK",
                        const QByteArray& type = "application/x-plist");

// A web server on the loopback interface that answers every request with one
// prepared response ("PORT" in it replaced by its port), or keeps silent, or
// streams chunks for as long as the client takes them.
class LocalHttpServer : public QTcpServer {
public:
    QByteArray response;
    bool silent = false;
    bool endless = false;
    QStringList paths;
    qint64 sent = 0;

    LocalHttpServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }

private:
    void serve(QTcpSocket* socket) {
        QByteArray& request = requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        const QByteArray path = request.split(' ').value(1);
        paths.append(QString::fromLatin1(path));
        request.clear();
        if (silent) {
            return;
        }
        if (endless) {
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const auto more = [this, socket] {
                const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, ' ') + "\r\n";
                while (socket->bytesToWrite() < 4 * chunk.size() && sent < (qint64(1) << 32)) {
                    sent += socket->write(chunk);
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, this, more);
            more();
            return;
        }
        // Answers to the redirects' targets: the path names the response.
        QByteArray answer = path.startsWith("/next/")
                                ? httpResponse(QByteArray::fromPercentEncoding(path.mid(6)))
                                : response;
        socket->write(answer.replace("PORT", QByteArray::number(serverPort())));
        socket->disconnectFromHost();
    }
    QHash<QTcpSocket*, QByteArray> requests;
};

QByteArray httpResponse(const QByteArray& body, const QByteArray& status, const QByteArray& type) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray description(const QVariantMap& entries) {
    return httpResponse(PropertyList::toXml(entries));
}

QVariantMap entries(const QString& version) {
    return {{QStringLiteral("version"), version},
            {QStringLiteral("link"), QStringLiteral("https://example.invalid/get")},
            {QStringLiteral("notes"), QStringLiteral("Faster start.\nFewer wakeups.")}};
}

QByteArray binaryDescription(const QByteArray& version) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "version", plist_new_string(version.constData()));
    plist_dict_set_item(dict, "link", plist_new_string("https://example.invalid/get"));
    plist_dict_set_item(dict, "notes", plist_new_string("Binary notes"));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    const QByteArray body(bytes, qsizetype(length));
    std::free(bytes);
    plist_free(dict);
    return httpResponse(body);
}

// What the code under test prints on standard output while `body` runs
// (QtTest's own message lines left out).
template <typename Body> QString capturedStdout(Body body) {
    QTemporaryFile capture;
    if (!capture.open()) {
        return QStringLiteral("(no capture)");
    }
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(capture.handle(), STDOUT_FILENO);
    body();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QFile written(capture.fileName());
    QString printed;
    if (written.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : written.readAll().split('\n')) {
            if (!line.isEmpty() && !QRegularExpression(QStringLiteral("^Q[A-Z]+ +: "))
                                        .match(QString::fromUtf8(line))
                                        .hasMatch()) {
                printed += QString::fromUtf8(line) + QLatin1Char('\n');
            }
        }
    }
    return printed;
}

using State = UpdateViewController::State;

} // namespace

class TestUpdateViewController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void check_data() {
        QTest::addColumn<QByteArray>("response"); // "refused" / "silent" for no answer
        QTest::addColumn<QString>("installed");
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("errorLine"); // start of the line on standard output

        const QString failed =
            QStringLiteral("Please check the Ondara website to see if an update is available.");
        const QString current = QStringLiteral("You are already using the latest version.");
        const QString sessionError = QStringLiteral("Error in urlSession didComplete: ");

        QTest::newRow("newer offered")
            << description(entries("2.3")) << "2.2" << State::UpdateAvailable
            << "New version 2.3 is available for download.\nYou have version 2.2 installed."
            << QString();
        QTest::newRow("same version")
            << description(entries("2.2")) << "2.2" << State::UpToDate << current << QString();
        QTest::newRow("2.10 is older than 2.9")
            << description(entries("2.10")) << "2.9" << State::UpToDate << current << QString();
        QVariantMap noLink = entries("9.0");
        noLink.remove(QStringLiteral("link"));
        QTest::newRow("no link") << description(noLink) << "2.2" << State::Failed << failed
                                 << QString();
        QVariantMap numericVersion = entries("x");
        numericVersion[QStringLiteral("version")] = 9.0;
        QTest::newRow("version not text")
            << description(numericVersion) << "2.2" << State::Failed << failed << QString();
        QTest::newRow("version not a number")
            << description(entries("soon")) << "2.2" << State::Failed << failed << QString();
        QTest::newRow("installed version not a number")
            << description(entries("2.3")) << "dev" << State::Failed << failed << QString();
        QTest::newRow("HTML error page")
            << httpResponse("<html><body>Oops</body></html>", "200 OK", "text/html") << "2.2"
            << State::Failed << failed << QString();
        QTest::newRow("binary property list")
            << binaryDescription("3.0") << "2.2" << State::UpdateAvailable
            << "New version 3.0 is available for download.\nYou have version 2.2 installed."
            << QString();
        QTest::newRow("not found")
            << httpResponse("<html>Not Found</html>", "404 Not Found", "text/html") << "2.2"
            << State::Failed << failed << sessionError;
        QTest::newRow("connection refused")
            << QByteArray("refused") << "2.2" << State::Failed << failed << sessionError;
        QTest::newRow("server never answers") << QByteArray("silent") << "2.2" << State::Failed
                                              << failed << sessionError + "The request timed out.";
        QTest::newRow("5 MiB description")
            << httpResponse(QByteArray(5 * 1024 * 1024, ' ')) << "2.2" << State::Failed << failed
            << sessionError + "The update description is larger than 1 MiB.";
        QTest::newRow("endless chunked description")
            << QByteArray("endless") << "2.2" << State::Failed << failed
            << sessionError + "The update description is larger than 1 MiB.";
        QTest::newRow("10000 levels of XML") << httpResponse(xmlNestedArrays(10000)) << "2.2"
                                             << State::Failed << failed << QString();
        QTest::newRow("100000 levels of binary") << httpResponse(binaryNestedArrays(100000))
                                                 << "2.2" << State::Failed << failed << QString();
        QVariantMap longNotes = entries("2.3");
        longNotes[QStringLiteral("notes")] = QString(1000000, QLatin1Char('x'));
        QTest::newRow("a megabyte of notes")
            << description(longNotes) << "2.2" << State::UpdateAvailable
            << "New version 2.3 is available for download.\nYou have version 2.2 installed."
            << QString();
        QTest::newRow("redirect to plain http elsewhere")
            << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://192.0.2.1/update.plist\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n")
            << "2.2" << State::Failed << failed
            << sessionError + "The update server redirected to http://192.0.2.1/update.plist, "
                              "which is not a secure address.";
        QTest::newRow("redirect on this machine")
            << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:PORT/next/" +
                          PropertyList::toXml(entries("2.3")).toPercentEncoding() +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            << "2.2" << State::UpdateAvailable
            << "New version 2.3 is available for download.\nYou have version 2.2 installed."
            << QString();
        QTest::newRow("5 MiB without a length")
            << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                          QByteArray(5 * 1024 * 1024, ' '))
            << "2.2" << State::Failed << failed
            << sessionError + "The update description is larger than 1 MiB.";
    }

    void check() {
        QFETCH(QByteArray, response);
        QFETCH(QString, installed);
        QFETCH(State, state);
        QFETCH(QString, info);
        QFETCH(QString, errorLine);

        LocalHttpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        server.silent = response == "silent";
        server.endless = response == "endless";
        server.response = response;
        if (response == "refused") {
            server.close();
        }
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("ONDARA_UPDATE_BASE_URL"),
                           QStringLiteral("http://127.0.0.1:%1").arg(port));
        const WebAddresses addresses(environment);

        QList<QUrl> opened;
        UpdateViewController::Settings settings;
        settings.updateFileURL = addresses.updateFile();
        settings.webDownloadURL = addresses.downloadPage();
        settings.installedVersion = installed;
        settings.timeLimitMs = 300;
        settings.openUrl = [&](const QUrl& url) { opened.append(url); };

        std::unique_ptr<UpdateViewController> updater;
        const QString printed = capturedStdout([&] {
            updater = std::make_unique<UpdateViewController>(settings);
            updater->show();
            QVERIFY(updater->outlets().spinner->isVisible());
            QSignalSpy finished(updater.get(), &UpdateViewController::checkFinished);
            QVERIFY(finished.wait(10000));
        });
        auto& ui = updater->outlets();
        QCOMPARE(updater->state(), state);
        QCOMPARE(ui.infoLabel->text(), info);
        QVERIFY(!ui.spinner->isVisible());
        const bool offered = state == State::UpdateAvailable;
        QCOMPARE(ui.statusLabel->text(), offered                    ? "Update available!"
                                         : state == State::UpToDate ? "You are up-to-date!"
                                                                    : "Unable to get update info");
        QCOMPARE(ui.releaseNotesTextView->isVisible(), offered);
        QCOMPARE(ui.updateButton->isVisible(), offered);
        QCOMPARE(ui.cancelButton->isVisible(), offered);
        QCOMPARE(ui.closeButton->isVisible(), !offered);
        if (offered) {
            QVERIFY(!ui.releaseNotesTextView->toPlainText().isEmpty());
            QVERIFY(ui.releaseNotesTextView->toPlainText().size() <=
                    UpdateViewController::maximumNotesLength + 1);
        }
        // Only a little more than the limit ever left the server.
        QVERIFY2(server.sent < 64 * 1024 * 1024, qPrintable(QString::number(server.sent)));
        if (errorLine.isEmpty()) {
            QCOMPARE(printed, QString());
        } else {
            QCOMPARE(printed.count(QLatin1Char('\n')), 1);
            QVERIFY2(printed.startsWith(errorLine), qPrintable(printed));
        }
        if (response != "refused") {
            QCOMPARE(server.paths.value(0), QStringLiteral("/downloads/Ondara/update.plist"));
        }

        // Closing sends the user to the download page only when the check failed.
        QTest::mouseClick(offered ? ui.cancelButton : ui.closeButton, Qt::LeftButton);
        QVERIFY(!updater->isVisible());
        const QUrl downloadPage(
            QStringLiteral("http://127.0.0.1:%1/ondara/index.php#download").arg(port));
        QCOMPARE(opened, state == State::Failed ? QList<QUrl>{downloadPage} : QList<QUrl>());
        if (offered) {
            updater->show();
            QTest::mouseClick(ui.updateButton, Qt::LeftButton);
            QCOMPARE(opened, QList<QUrl>{downloadPage});
            QVERIFY(!updater->isVisible());
        }
    }

    void baseAddressOverride_data() {
        QTest::addColumn<QString>("override");
        QTest::addColumn<bool>("taken");
        QTest::newRow("https") << "https://updates.example.org" << true;
        QTest::newRow("http to this machine") << "http://127.0.0.1:8080" << true;
        QTest::newRow("http to localhost") << "http://localhost:8080" << true;
        QTest::newRow("http elsewhere") << "http://updates.example.org" << false;
        QTest::newRow("http to a private network") << "http://192.168.1.1" << false;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("not an address") << "https://" << false;
    }

    void baseAddressOverride() {
        QFETCH(QString, override);
        QFETCH(bool, taken);
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("ONDARA_UPDATE_BASE_URL"), override);
        if (!taken) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Ignoring")));
        }
        const WebAddresses addresses(environment);
        QCOMPARE(addresses.base() == QUrl(override), taken);
        QCOMPARE(addresses.base().scheme(),
                 taken ? QUrl(override).scheme() : QStringLiteral("https"));
        QCOMPARE(addresses.supportPage().scheme(), addresses.base().scheme());
    }
};

QTEST_MAIN(TestUpdateViewController)
#include "tst_updateviewcontroller.moc"
