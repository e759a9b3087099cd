// The programs in the user's language. Run with LANGUAGE=de they speak
// German, with LANGUAGE=en the English texts they were designed with; and in
// either, every text their windows show comes from the translation source,
// so a text that bypasses tr() shows up as one no language file knows.

#include "AboutViewController.h"
#include "AppDelegate.h"
#include "BoxView.h"
#include "InfoViewController.h"
#include "LicenseViewController.h"
#include "Popover.h"
#include "ScriptedHelper.h"
#include "SensorListViewController.h"
#include "SetupViewController.h"
#include "SetupWindow.h"
#include "TodayViewController.h"
#include "TranslationLoader.h"
#include "UpdateViewController.h"
#include "WidgetWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <memory>

namespace {

// Every text of a language file, source or translation, as a pattern in
// which each placeholder stands for any text.
QList<QRegularExpression> textsOf(const QString& file, bool translations) {
    QFile ts(file);
    if (!ts.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QRegularExpression> patterns;
    QXmlStreamReader xml(&ts);
    bool numerus = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        const QStringView name = xml.name();
        if (name == u"message") {
            numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
            continue;
        }
        // A plural's forms are the translations of its message.
        const bool wanted = translations
                                ? name == u"numerusform" || (name == u"translation" && !numerus)
                                : name == u"source";
        if (!wanted) {
            continue;
        }
        static const QRegularExpression placeholder(QStringLiteral("%L?[1-9n]"));
        QStringList pieces = xml.readElementText().split(placeholder);
        for (QString& piece : pieces) {
            piece = QRegularExpression::escape(piece);
        }
        patterns.append(QRegularExpression(QLatin1Char('^') + pieces.join(QStringLiteral(".*")) +
                                           QLatin1Char('$')));
    }
    return patterns;
}

// What the sensors are called and what the windows show of the machine:
// data, not texts of the programs.
bool isData(const QString& text) {
    static const QRegularExpression figures(QStringLiteral("^[\\d.,:%º ]*$"));
    static const QStringList names{"Ondara", "CPU", "GPU", "Left Fan", "ºC", "ºF", "%"};
    return figures.match(text).hasMatch() || names.contains(text);
}

// Every text a person can meet in these windows: labels, buttons, menus,
// titles, tool tips and what a screen reader is told.
QStringList shownTexts(const QList<QWidget*>& windows) {
    QStringList texts;
    for (QWidget* window : windows) {
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* widget : widgets) {
            // The hidden tab bar's scroll buttons are Qt's, and never shown.
            if (qobject_cast<QTabBar*>(widget->parentWidget())) {
                continue;
            }
            texts << widget->windowTitle() << widget->toolTip();
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                texts << label->text();
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget);
                       button && !qobject_cast<QRadioButton*>(widget)) {
                texts << button->text();
            } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
                texts << edit->toPlainText();
            }
            if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget)) {
                texts << iface->text(QAccessible::Name) << iface->text(QAccessible::Description);
            }
            for (const QAction* action : widget->actions()) {
                texts << action->text();
            }
        }
    }
    texts.removeAll(QString());
    return texts;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT

    bool german = false;
    QList<QRegularExpression> known;
    ScriptedHelper helper;

    // The text in the language the test runs in.
    QString expected(const char* english, const char* inGerman) const {
        return QString::fromUtf8(german ? inGerman : english);
    }

private Q_SLOTS:
    void initTestCase() {
        german = qEnvironmentVariable("LANGUAGE").startsWith(QLatin1String("de"));
        QCOMPARE(TranslationLoader::install(),
                 german ? QStringLiteral("de") : QStringLiteral("en"));
        known = textsOf(QStringLiteral(ONDARA_SOURCE_DIR "/translations/ondara_de.ts"), german);
        QVERIFY(!known.isEmpty());
        helper.temps = {{"CPU", QVariantList{"CPU", qlonglong(0x54433050), qlonglong(0), true}},
                        {"GPU", QVariantList{"GPU", qlonglong(0x54473044), qlonglong(1), false}}};
        helper.machineSensors = {
            {"CPU", QVariantList{QVariantList{qlonglong(0x54433050), "TC0P", "CPU_PROXIMITY", true},
                                 QVariantList{qlonglong(0x54433044), "TC0D", "CPU_DIE", false}}}};
        helper.fans = {{"0", QVariantList{"Left Fan", 6000, true}}};
        helper.activeTemps = {{"CPU", QVariantList{qlonglong(0x54433050), qlonglong(0)}}};
        helper.activeMems = {{"Compressed", qlonglong(6)}};
        helper.temperatureOf = [](quint32) { return 61; };
    }

    // Texts the windows show after something happened, word for word.
    void textsInTheLanguage() {
        SetupViewController controller(&helper);
        controller.show();
        QTRY_VERIFY(controller.showsReadings());
        BoxView* cpu = controller.tempBoxes()[0];
        controller.boxEntered(cpu);
        QCOMPARE(controller.helpMsg()->text(),
                 expected("Remove CPU from widget", "CPU aus dem Widget entfernen"));
        controller.gearEntered(cpu);
        QCOMPARE(controller.helpMsg()->text(),
                 expected("Show available CPU sensors", "Verfügbare Sensoren für CPU zeigen"));
        QCOMPARE(QAccessible::queryAccessibleInterface(cpu)->text(QAccessible::Name),
                 expected("CPU, 61 degrees Celsius", "CPU, 61 Grad Celsius"));
        QCOMPARE(controller.totalMemoryLabel()->text(), expected("16 GB", "16 GB"));
        cpu->gearButtonPressed();
        QCOMPARE(cpu->sensorListVC()->headingText(), expected("CPU Sensors", "Sensoren für CPU"));
        cpu->popover()->performClose();

        cpu->setIsSelectable(false);
        cpu->performClick();
        QMessageBox* alert = controller.findChild<QMessageBox*>();
        QVERIFY(alert);
        QCOMPARE(alert->text(), expected("Too many sensors...", "Zu viele Sensoren …"));
        QCOMPARE(alert->informativeText(),
                 expected("The widget can show up to 9 temperature sensors.",
                          "Das Widget kann bis zu 9 Temperatursensoren zeigen."));
        QCOMPARE(alert->buttons().value(0)->text(), expected("Ok", "OK"));
    }

    // Everything the windows show is a text of the language file (or data).
    void everyTextIsTranslatable() {
        QTemporaryDir folder;
        auto* controller = new SetupViewController(&helper);
        SetupWindow window(controller);
        AppDelegate delegate(QUrl(), QUrl(), [](const QUrl&) { return true; });
        delegate.installMenus(&window, [] { return QString(); });
        window.show();
        QTRY_VERIFY(controller->showsReadings());
        UpdateViewController::Settings settings;
        settings.updateFileURL = QUrl(QStringLiteral("https://127.0.0.1:1/update.plist"));
        settings.installedVersion = QStringLiteral("1.0");
        settings.openUrl = [](const QUrl&) { return true; };
        AboutViewController about(QStringLiteral("1.0"));
        InfoViewController info(QStringLiteral("1.0"), QUrl(), QUrl(), settings.openUrl);
        LicenseViewController terms;
        UpdateViewController update(settings);
        WidgetWindow widget(new TodayViewController(&helper, nullptr, nullptr),
                            folder.filePath("state.ini"));
        widget.show();
        QTRY_VERIFY(widget.controller()->hasLaidOut(QStringLiteral("TempsTab")));

        QStringList strangers;
        for (const QString& text : shownTexts({&window, &about, &info, &terms, &update, &widget})) {
            const bool ofTheFile = std::any_of(known.cbegin(), known.cend(), [&](const auto& p) {
                return p.match(text).hasMatch();
            });
            if (!ofTheFile && !isData(text) && !strangers.contains(text)) {
                strangers.append(text);
            }
        }
        QVERIFY2(strangers.isEmpty(), qPrintable(strangers.join(QStringLiteral(" | "))));
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
