// What a user sees on a real display, not only offscreen: the installed
// application and widget started under Xvfb on the test's private bus, each
// window captured with the X server's own tools. Skipped where Xvfb or the
// capture tools are missing (CI installs them).

#include "InstallFixture.h"

#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

namespace {

struct XWindow {
    QString id;
    QSize size;
};

} // namespace

class TestXWindow : public QObject {
    Q_OBJECT

    InstallFixture user;
    QProcess xvfb;
    QString display;
    QList<QProcess*> programs;

    QProcessEnvironment onDisplay() const {
        QProcessEnvironment env = user.environment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    // The mapped top-level windows of a program, known by their class hint
    // (the titles of the application and the widget may be the same).
    QList<XWindow> windowsOf(const QString& program) const {
        QProcess xwininfo;
        xwininfo.setProcessEnvironment(onDisplay());
        xwininfo.start(QStringLiteral("xwininfo"),
                       {QStringLiteral("-root"), QStringLiteral("-children")});
        if (!xwininfo.waitForFinished(10000)) {
            return {};
        }
        // 0x400007 "Ondara": ("ondara" "Ondara")  800x600+0+0  +0+0
        static const QRegularExpression row(QStringLiteral(
            "^\\s*(0x[0-9a-f]+) .*: \\(\"([^\"]*)\" \"([^\"]*)\"\\)\\s+(\\d+)x(\\d+)[+-]"));
        QList<XWindow> windows;
        const QString listing = QString::fromUtf8(xwininfo.readAllStandardOutput());
        for (const QString& line : listing.split(QLatin1Char('\n'))) {
            const auto match = row.match(line);
            const bool ours =
                match.hasMatch() && (match.captured(2).compare(program, Qt::CaseInsensitive) == 0 ||
                                     match.captured(3).compare(program, Qt::CaseInsensitive) == 0);
            if (ours && isMapped(match.captured(1))) {
                windows.append({match.captured(1),
                                QSize(match.captured(4).toInt(), match.captured(5).toInt())});
            }
        }
        return windows;
    }
    bool isMapped(const QString& id) const {
        QProcess xwininfo;
        xwininfo.setProcessEnvironment(onDisplay());
        xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        return xwininfo.waitForFinished(10000) &&
               xwininfo.readAllStandardOutput().contains("Map State: IsViewable");
    }

    QImage capture(const QString& window, const QString& file) const {
        QProcess import;
        import.setProcessEnvironment(onDisplay());
        import.start(QStringLiteral("import"), {QStringLiteral("-window"), window, file});
        return import.waitForFinished(30000) && import.exitCode() == 0 ? QImage(file) : QImage();
    }
    static int colourCount(const QImage& image) {
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 4) {
            for (int x = 0; x < image.width(); x += 4) {
                colours.insert(image.pixel(x, y));
            }
        }
        return int(colours.size());
    }

private Q_SLOTS:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xwininfo", "import"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                QSKIP(
                    qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1StringView(tool))));
            }
        }
        if (!ONDARA_HAS_APP || !ONDARA_HAS_WIDGET) {
            QSKIP("the application or the widget is not built");
        }
        QVERIFY(user.prepare());
        const ProcessOutcome installed = user.install();
        QVERIFY2(installed.ok(), installed.describe());

        // Xvfb picks a free display itself and names it on standard output.
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x900x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning, 20000);
        const QByteArray number = xvfb.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), xvfb.readAllStandardError());
        display = QLatin1Char(':') + QString::fromLatin1(number);
    }
    void cleanupTestCase() {
        for (QProcess* program : std::as_const(programs)) {
            program->terminate();
            if (!program->waitForFinished(5000)) {
                program->kill();
                program->waitForFinished();
            }
            delete program;
        }
        if (user.root.isValid()) {
            user.run(QStringLiteral("bash"),
                     {QStringLiteral(ONDARA_SOURCE_DIR "/scripts/uninstall.sh"),
                      QStringLiteral("--prefix"), user.prefix()});
        }
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    // The application first: it installs and starts the agent the widget uses.
    void showsItsWindow_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("application") << "Ondara";
        QTest::newRow("widget") << "OndaraWidget";
    }
    void showsItsWindow() {
        QFETCH(QString, program);
        auto* process = new QProcess;
        programs.append(process);
        process->setProcessEnvironment(onDisplay());
        process->start(user.bin(program), {});
        QVERIFY2(process->waitForStarted(), qPrintable(process->errorString()));

        QList<XWindow> windows;
        QTRY_VERIFY_WITH_TIMEOUT(!(windows = windowsOf(program)).isEmpty() ||
                                     process->state() == QProcess::NotRunning,
                                 30000);
        QVERIFY2(!windows.isEmpty(), process->readAllStandardError());
        const XWindow window = windows.first();
        QVERIFY2(
            window.size.width() >= 100 && window.size.height() >= 100,
            qPrintable(QStringLiteral("%1x%2").arg(window.size.width()).arg(window.size.height())));

        // What the server shows: the whole window, drawn (not one flat colour)
        // once the program has filled it.
        const QString file = QStringLiteral(ONDARA_CAPTURE_DIR "/xwindow-%1.png").arg(program);
        QImage image;
        QTRY_VERIFY_WITH_TIMEOUT(colourCount(image = capture(window.id, file)) > 16, 20000);
        QCOMPARE(image.size(), windowsOf(program).value(0).size);
    }
};

QTEST_GUILESS_MAIN(TestXWindow)
#include "tst_xwindow.moc"
