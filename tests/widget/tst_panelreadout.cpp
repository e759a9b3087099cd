// The readings in the panel as a status-notifier host sees them: a fake
// watcher on the private bus takes the item's registration and reads its
// icon, tooltip, state and menu over the bus, as a panel does.

#include "HelperStateText.h"
#include "OndaraNames.h"
#include "PanelReadout.h"
#include "ReadoutIcon.h"
#include "ScriptedHelper.h"
#include "StatusNotifierItem.h"
#include "StatusNotifierMenu.h"
#include "StatusNotifierTypes.h"
#include "TodayViewController.h"
#include "WidgetWindow.h"
#include "ipc/HelperPresence.h"
#include "ipc/OndaraHistoryProxy.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

AgentStopRecord recordIn(const QString& folder) {
    QProcessEnvironment environment;
    environment.insert("XDG_RUNTIME_DIR", folder);
    QString error;
    return AgentStopRecord(AgentStopRecord::runtimeFolder(environment, &error));
}

} // namespace

// What a panel's watcher does: it takes registrations and counts the item's
// change signals.
class FakeWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    QString service;
    int newIcons = 0;
    int newToolTips = 0;
    int newStatuses = 0;

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& item) { service = item; }
    void onNewIcon() { ++newIcons; }
    void onNewToolTip() { ++newToolTips; }
    void onNewStatus(const QString&) { ++newStatuses; }
};

// The agent's alert rules, on the host's connection that holds the agent's
// name: each Rules call is counted and answered with `rules` as they stand
// (of any shape), or refused as an agent without alerts does.
class FakeAlerts : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quillbank.OndaraHelper.Alerts1")
public:
    QList<QVariantMap> rules;
    bool refuse = false;
    // When set, the answer is this error (NoReply is what a caller whose
    // call timed out is given).
    QString failure;
    int asked = 0;

public Q_SLOTS:
    Q_SCRIPTABLE void Rules() {
        ++asked;
        if (refuse || !failure.isEmpty()) {
            sendErrorReply(refuse ? QDBusError::errorString(QDBusError::UnknownInterface) : failure,
                           QStringLiteral("no alerts here"));
            return;
        }
        setDelayedReply(true);
        QDBusArgument list;
        list.beginArray(QMetaType::fromType<QVariantMap>());
        for (const QVariantMap& rule : std::as_const(rules)) {
            list << rule;
        }
        list.endArray();
        connection().send(message().createReply(QVariant::fromValue(list)));
    }
};

QVariantMap alertRule(const QString& series, bool raised, const QVariant& above = 70.0) {
    QVariantMap rule{{"series", series},  {"above", above},  {"clearBelow", 60.0},
                     {"forSeconds", 10u}, {"enabled", true}, {"raised", raised}};
    if (raised) {
        rule.insert("value", 71.0);
    }
    return rule;
}

class TestPanelReadout : public QObject {
    Q_OBJECT

    QDBusConnection host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "host");
    FakeWatcher watcher;
    FakeAlerts alerts;

    // What the agent sends when an alert is raised or cleared.
    void sendAlertSignal(bool raised) {
        QDBusMessage signal = QDBusMessage::createSignal(
            OndaraNames::helperObjectPath, OndaraNames::alertsInterface,
            raised ? QStringLiteral("AlertRaised") : QStringLiteral("AlertCleared"));
        signal << QStringLiteral("temp:TG0P") << 71.0;
        if (raised) {
            signal << 70.0;
        }
        host.send(signal);
    }
    // The panel asks the rules once more on a signal, and only once the
    // answer to its last question is in: so when that question arrives, the
    // answer before has been taken, and every call sent before has arrived.
    bool alertsSettled() {
        const int asked = alerts.asked;
        sendAlertSignal(false);
        return QTest::qWaitFor([&] { return alerts.asked > asked; }) && alerts.asked == asked + 1;
    }

    // A call from the host, answered while the event loop runs (the item
    // lives in this process).
    QDBusMessage call(const QDBusMessage& message) {
        QDBusPendingCallWatcher pending(host.asyncCall(message));
        if (!QTest::qWaitFor([&] { return pending.isFinished(); })) {
            return {};
        }
        return pending.reply();
    }
    template <typename Value>
    Value property(const QString& interface, const QString& path, const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            watcher.service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << interface << name;
        const QDBusMessage reply = call(get);
        const QVariant value = reply.arguments().value(0).value<QDBusVariant>().variant();
        return qdbus_cast<Value>(value);
    }
    StatusNotifierImages iconPixmap() {
        return property<StatusNotifierImages>(kItemInterface, StatusNotifierItem::objectPath,
                                              QStringLiteral("IconPixmap"));
    }
    StatusNotifierToolTip toolTip() {
        return property<StatusNotifierToolTip>(kItemInterface, StatusNotifierItem::objectPath,
                                               QStringLiteral("ToolTip"));
    }

    // The host's connection also holds the agent's name, so the agent counts
    // as here until a test gives the name up.
    struct Panel {
        QTemporaryDir folder;
        AgentStopRecord record = recordIn(folder.path());
        HelperPresence presence{QDBusConnection::sessionBus(), record};
        ScriptedHelper helper;
        OndaraHistoryProxy history{QDBusConnection::sessionBus()};
        std::unique_ptr<WidgetWindow> window;
        std::unique_ptr<PanelReadout> readout;
        Panel() {
            helper.activeTemps = {{"CPU", QVariantList{qlonglong(0x54433050), qlonglong(1)}},
                                  {"GPU", QVariantList{qlonglong(0x54473050), qlonglong(2)}}};
            helper.activeFans = {{"Left Fan", QVariantList{qlonglong(0), qlonglong(3000)}}};
            helper.activeMems = {{"Used", qlonglong(1)}};
            helper.temperatureOf = [](quint32 code) { return code == 0x54473050 ? 71 : 48; };
            helper.rpmOf = [](int) { return 2150; };
            window = std::make_unique<WidgetWindow>(
                new TodayViewController(&helper, nullptr, nullptr), folder.filePath("state.ini"));
            // A long interval: every refresh of these tests is one they ask for.
            readout = std::make_unique<PanelReadout>(
                window.get(), &helper, &history, nullptr, &presence, QDBusConnection::sessionBus(),
                QDBusConnection(QStringLiteral("no system bus")), folder.filePath("state.ini"),
                600000);
        }
        bool current() {
            return QTest::qWaitFor(
                [this] { return readout->readings()->state() == PanelReadings::State::current; });
        }
        // One refresh, answered.
        bool refresh() {
            QSignalSpy refreshed(readout->readings(), &PanelReadings::refreshed);
            readout->readings()->tick();
            return refreshed.wait();
        }
    };

    // The item, registered and read for the first time.
    bool registered(Panel& panel) {
        watcher.service.clear();
        panel.readout->start();
        if (!QTest::qWaitFor([&] { return !watcher.service.isEmpty(); }) || !panel.current()) {
            return false;
        }
        return QTest::qWaitFor([&] { return panel.readout->item()->isShown(); });
    }

private Q_SLOTS:
    void initTestCase() {
        StatusNotifierTypes::registerTypes();
        QVERIFY(host.isConnected());
        QVERIFY(host.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                    QDBusConnection::ExportScriptableSlots));
        QVERIFY(host.registerService(QString::fromLatin1(StatusNotifierItem::watcherService)));
        QVERIFY(host.registerService(OndaraNames::helperServiceName));
        QVERIFY(host.registerObject(OndaraNames::helperObjectPath, &alerts,
                                    QDBusConnection::ExportScriptableSlots));
        for (const auto& [member, slot] : {std::pair{"NewIcon", SLOT(onNewIcon())},
                                           std::pair{"NewToolTip", SLOT(onNewToolTip())},
                                           std::pair{"NewStatus", SLOT(onNewStatus(QString))}}) {
            QVERIFY(host.connect({}, StatusNotifierItem::objectPath, kItemInterface, member,
                                 &watcher, slot));
        }
    }

    // Every size a host asks for is the figure drawn at that size, not a
    // scaled copy, and a new reading is a new image.
    // A host reads the whole item at every refresh. The answer comes from
    // the bus's thread, so it does not wait on the widget's, which may be
    // busy drawing (here it is blocked outright); and the item can go while
    // reads are still coming in.
    void hostReadsAreAnsweredWithoutTheWidgetsThread() {
        auto panel = std::make_unique<Panel>();
        QVERIFY(registered(*panel));
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            watcher.service, QString::fromLatin1(StatusNotifierItem::objectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
        getAll << kItemInterface;
        const QDBusMessage reply = host.call(getAll, QDBus::Block, 5000);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const auto properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        QVERIFY(!qdbus_cast<StatusNotifierImages>(properties.value("IconPixmap")).isEmpty());
        const auto tip = qdbus_cast<StatusNotifierToolTip>(properties.value("ToolTip"));
        QVERIFY(tip.body.contains(QStringLiteral("71")));

        std::vector<std::unique_ptr<QDBusPendingCallWatcher>> reads;
        for (int read = 0; read < 20; ++read) {
            reads.push_back(std::make_unique<QDBusPendingCallWatcher>(host.asyncCall(getAll)));
        }
        panel.reset();
        for (const auto& read : reads) {
            QVERIFY(QTest::qWaitFor([&] { return read->isFinished(); }));
        }
    }

    void iconHoldsTheFigureAtEverySize() {
        Panel panel;
        QVERIFY(registered(panel));
        QCOMPARE(panel.readout->figure(), QStringLiteral("71")); // the hotter of the two
        const StatusNotifierImages before = iconPixmap();
        QCOMPARE(before.size(), ReadoutIcon::pixelSizes().size());
        for (const StatusNotifierImage& sent : before) {
            QCOMPARE(sent.width, sent.height);
            const QImage drawn = ReadoutIcon::render("71", ReadoutIcon::Tone::normal, sent.width)
                                     .convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(sent.toImage(), drawn);
            // The digits are there: white pixels on the dark tile.
            int white = 0;
            for (int y = 0; y < drawn.height(); ++y) {
                for (int x = 0; x < drawn.width(); ++x) {
                    white += qRed(drawn.pixel(x, y)) > 200 && qBlue(drawn.pixel(x, y)) > 200 &&
                             x > drawn.width() / 8 && x < drawn.width() * 7 / 8;
                }
            }
            QVERIFY2(white >= sent.width / 2, qPrintable(QString::number(sent.width)));
        }
        const QList<int> sizes = ReadoutIcon::pixelSizes();
        QVERIFY(sizes.contains(16) && sizes.contains(22) && sizes.contains(24) &&
                sizes.contains(128) && sizes.contains(44));

        const int icons = watcher.newIcons;
        panel.helper.temperatureOf = [](quint32) { return 72; };
        QVERIFY(panel.refresh());
        QTRY_COMPARE(watcher.newIcons, icons + 1);
        const StatusNotifierImages after = iconPixmap();
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QVERIFY(after[i].argb != before[i].argb);
        }
        // Back to a figure drawn before: its own images again, not the last.
        panel.helper.temperatureOf = [](quint32) { return 71; };
        QVERIFY(panel.refresh());
        QTRY_COMPARE(watcher.newIcons, icons + 2);
        QVERIFY(iconPixmap() == before);
    }

    void toolTipListsTheReadingsInTheUsersUnits_data() {
        QTest::addColumn<QList<int>>("units");
        QTest::addColumn<QString>("fanName");
        QTest::addColumn<QString>("body");
        QTest::newRow("Celsius, RPM")
            << QList<int>{0, 0} << "Left Fan"
            << "CPU, 48 degrees Celsius\nGPU, 71 degrees Celsius\nLeft Fan, 2150 RPM\n"
               "Used, 9.7 GiB";
        QTest::newRow("Fahrenheit, percent")
            << QList<int>{1, 1} << "Left Fan"
            << "CPU, 118 degrees Fahrenheit\nGPU, 160 degrees Fahrenheit\nLeft Fan, 71 percent\n"
               "Used, 9.7 GiB";
        // A name a host would take for markup is escaped, not obeyed.
        QTest::newRow("name like markup")
            << QList<int>{0, 0} << "<b>Pump</b> & Fan"
            << "CPU, 48 degrees Celsius<br/>GPU, 71 degrees Celsius<br/>"
               "&lt;b&gt;Pump&lt;/b&gt; &amp; Fan, 2150 RPM<br/>Used, 9.7 GiB";
    }
    void toolTipListsTheReadingsInTheUsersUnits() {
        QFETCH(QList<int>, units);
        QFETCH(QString, fanName);
        QFETCH(QString, body);
        Panel panel;
        panel.helper.units = units;
        panel.helper.activeFans = {{fanName, QVariantList{qlonglong(0), qlonglong(3000)}}};
        QVERIFY(registered(panel));
        const StatusNotifierToolTip tip = toolTip();
        QCOMPARE(tip.title, QStringLiteral("Ondara"));
        QCOMPARE(tip.body, body);
    }

    // Refreshes that find the same readings send nothing: no new icon, no
    // new tooltip; the host's next call is answered after any signal, so
    // none is on its way.
    void nothingIsSentWhileNothingChanges() {
        Panel panel;
        QVERIFY(registered(panel));
        QVERIFY(!iconPixmap().isEmpty());
        const int icons = watcher.newIcons;
        const int tips = watcher.newToolTips;
        const int statuses = watcher.newStatuses;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(panel.refresh());
        }
        QVERIFY(!iconPixmap().isEmpty());
        QCOMPARE(watcher.newIcons, icons);
        QCOMPARE(watcher.newToolTips, tips);
        QCOMPARE(watcher.newStatuses, statuses);
    }

    // A fan over its maximum turns the tile red and asks for attention.
    void readingOverItsBoundAsksForAttention() {
        Panel panel;
        panel.helper.rpmOf = [](int) { return 3400; };
        QVERIFY(registered(panel));
        QCOMPARE(panel.readout->tone(), ReadoutIcon::Tone::warning);
        QCOMPARE(property<QString>(kItemInterface, StatusNotifierItem::objectPath, "Status"),
                 QStringLiteral("NeedsAttention"));
        panel.helper.rpmOf = [](int) { return 2000; };
        QVERIFY(panel.refresh());
        QTRY_COMPARE(property<QString>(kItemInterface, StatusNotifierItem::objectPath, "Status"),
                     QStringLiteral("Active"));
        // The same figure as before, now on the normal tile.
        QCOMPARE(iconPixmap().first().toImage(),
                 ReadoutIcon::render("71", ReadoutIcon::Tone::normal, 16)
                     .convertToFormat(QImage::Format_ARGB32));
    }

    // While the agent says an alert is raised the tile is red and asks for
    // attention, and the reading's line says so; once cleared, all is as
    // before. What counts is the rules' state asked after a signal or the
    // agent's return, never the signal alone; an agent without alerts, or
    // one whose answer is outside the contract, leaves the readout as it is.
    // The rules are never asked per refresh.
    void raisedAlertTurnsTheIconRed_data() {
        QTest::addColumn<QList<QVariantMap>>("rules");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<QString>("line");
        // The error of a later question; the agent then answers again.
        QTest::addColumn<QString>("thenFails");
        const QString gpu = "GPU, 71 degrees Celsius (alert)";
        QTest::newRow("temperature, by its sensor")
            << QList{alertRule("temp:TC0P", false), alertRule("temp:TG0P", true)} << false
            << "signal" << true << gpu << "";
        QTest::newRow("stopped fan") << QList{alertRule("fan:0:stopped", true)} << false << "signal"
                                     << true << "Left Fan, 2150 RPM (alert)"
                                     << "";
        QTest::newRow("series the widget does not show")
            << QList{alertRule("mem:Total", true)} << false << "signal" << true
            << "\nAlert: Total memory"
            << "";
        QTest::newRow("many series the widget does not show")
            << QList{alertRule("mem:Total", true), alertRule("mem:Free", true),
                     alertRule("fan:7", true), alertRule("temp:TZ9X", true)}
            << false << "signal" << true
            << "\nAlert: Sensor TZ9X\nAlert: Fan 8\nAlert: Total memory\n…"
            << "";
        QTest::newRow("question times out, red stays")
            << QList{alertRule("temp:TG0P", true)} << false << "signal" << true << gpu
            << QDBusError::errorString(QDBusError::NoReply);
        QTest::newRow("agent loses its alerts, red goes")
            << QList{alertRule("temp:TG0P", true)} << false << "signal" << true << gpu
            << QDBusError::errorString(QDBusError::UnknownMethod);
        QTest::newRow("signal missed, agent back")
            << QList{alertRule("temp:TG0P", true)} << false << "return" << true << gpu << "";
        QTest::newRow("signal, rule not raised")
            << QList{alertRule("temp:TG0P", false)} << false << "signal" << false << ""
            << "";
        QTest::newRow("agent without alerts")
            << QList<QVariantMap>() << true << "signal" << false << ""
            << "";
        QTest::newRow("more rules than series")
            << QList<QVariantMap>(AlertRule::maximumRules + 1, alertRule("temp:TG0P", true))
            << false << "signal" << false << ""
            << "";
        QTest::newRow("rule of the wrong types")
            << QList{alertRule("temp:TG0P", true), alertRule("temp:TC0P", true, "hot")} << false
            << "signal" << false << ""
            << "";
    }
    void raisedAlertTurnsTheIconRed() {
        QFETCH(QList<QVariantMap>, rules);
        QFETCH(bool, refuse);
        QFETCH(QString, trigger);
        QFETCH(bool, warning);
        QFETCH(QString, line);
        QFETCH(QString, thenFails);
        alerts.rules.clear();
        alerts.refuse = refuse;
        alerts.asked = 0;
        const auto reset = qScopeGuard([&] {
            alerts.rules.clear();
            alerts.refuse = false;
            alerts.failure.clear();
        });
        Panel panel;
        QVERIFY(registered(panel));
        QTRY_COMPARE(alerts.asked, 1); // at start
        const QString normalBody = toolTip().body;
        const auto looks = [&](ReadoutIcon::Tone tone) {
            const StatusNotifierImages sent = iconPixmap();
            if (sent.size() != ReadoutIcon::pixelSizes().size()) {
                return false;
            }
            for (const StatusNotifierImage& image : sent) {
                const auto drawn = [&](ReadoutIcon::Tone as) {
                    return ReadoutIcon::render("71", as, image.width)
                        .convertToFormat(QImage::Format_ARGB32);
                };
                if (image.toImage() != drawn(tone) ||
                    (tone == ReadoutIcon::Tone::warning &&
                     image.toImage() == drawn(ReadoutIcon::Tone::normal))) {
                    return false;
                }
            }
            return property<QString>(kItemInterface, StatusNotifierItem::objectPath, "Status") ==
                   (tone == ReadoutIcon::Tone::warning ? "NeedsAttention" : "Active");
        };
        QVERIFY(looks(ReadoutIcon::Tone::normal));

        alerts.rules = rules;
        if (trigger == "signal") {
            sendAlertSignal(true);
        } else {
            QVERIFY(host.unregisterService(OndaraNames::helperServiceName));
            QTRY_COMPARE(panel.readout->readings()->state(), PanelReadings::State::away);
            QVERIFY(host.registerService(OndaraNames::helperServiceName));
            QVERIFY(panel.current());
        }
        QTRY_COMPARE(alerts.asked, 2);
        QVERIFY(alertsSettled());
        const ReadoutIcon::Tone tone =
            warning ? ReadoutIcon::Tone::warning : ReadoutIcon::Tone::normal;
        QTRY_COMPARE(panel.readout->tone(), tone);
        QCOMPARE(panel.readout->figure(), QStringLiteral("71"));
        QVERIFY(looks(tone));
        const QString body = toolTip().body;
        QVERIFY2(body.contains(line), qPrintable(body));
        if (line.isEmpty()) {
            QCOMPARE(body, normalBody);
        }

        const int asked = alerts.asked;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(panel.refresh());
        }
        QVERIFY(alertsSettled());
        QCOMPARE(alerts.asked, asked + 1); // the settling question alone

        if (!thenFails.isEmpty()) {
            // A question that timed out keeps the red and is asked again at
            // the next refresh; an agent whose alerts went clears it.
            alerts.failure = thenFails;
            sendAlertSignal(true);
            QTRY_COMPARE(alerts.asked, asked + 2);
            QVERIFY(alertsSettled());
            const bool timedOut = thenFails == QDBusError::errorString(QDBusError::NoReply);
            QCOMPARE(panel.readout->tone(), timedOut ? tone : ReadoutIcon::Tone::normal);
            alerts.failure.clear();
            const int failed = alerts.asked;
            if (timedOut) {
                QTRY_VERIFY(panel.refresh() && alerts.asked > failed);
            } else {
                for (int i = 0; i < 3; ++i) {
                    QVERIFY(panel.refresh());
                }
            }
            QVERIFY(alertsSettled());
            QCOMPARE(alerts.asked, failed + (timedOut ? 2 : 1));
            QTRY_COMPARE(panel.readout->tone(), tone);
        }

        alerts.rules = {alertRule("temp:TG0P", false)};
        sendAlertSignal(false);
        QTRY_COMPARE(panel.readout->tone(), ReadoutIcon::Tone::normal);
        QVERIFY(alertsSettled());
        QVERIFY(looks(ReadoutIcon::Tone::normal));
        QCOMPARE(toolTip().body, normalBody);
    }

    // However the agent goes (silent, off the bus, stopped with word of
    // why), the panel shows the application's own icon and says why in the
    // window's words, never the last figure as if it were current; when the
    // agent is back, so is the figure.
    void agentAwayShowsWhy_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<HelperStateText::Reason>("reason");
        QTest::newRow("stops answering") << "silent" << HelperStateText::Reason();
        QTest::newRow("leaves the bus") << "gone" << HelperStateText::Reason();
        QTest::newRow("stops with word")
            << "stopped" << HelperStateText::Reason(AgentStopRecord::Reason::anotherAgent);
    }
    void agentAwayShowsWhy() {
        QFETCH(QString, how);
        QFETCH(HelperStateText::Reason, reason);
        Panel panel;
        QVERIFY(registered(panel));
        const auto back = qScopeGuard([&] {
            panel.record.clear();
            host.registerService(OndaraNames::helperServiceName);
        });
        if (how == "silent") {
            panel.helper.answerMode = ScriptedHelper::AnswerMode::Never;
            for (int i = 0; i <= HelperPresence::kUnansweredRefreshes; ++i) {
                panel.readout->readings()->tick();
            }
        } else {
            if (reason) {
                QVERIFY(panel.record.write({*reason, "another session"}, nullptr));
            }
            QVERIFY(host.unregisterService(OndaraNames::helperServiceName));
        }
        QTRY_COMPARE(panel.readout->readings()->state(), PanelReadings::State::away);
        QVERIFY(panel.readout->figure().isEmpty());
        QTRY_COMPARE(toolTip().body, HelperStateText::headline(reason) + "\n" +
                                         HelperStateText::widgetAdvice(reason));
        QVERIFY(iconPixmap().first().toImage() !=
                ReadoutIcon::render("71", ReadoutIcon::Tone::normal, 16)
                    .convertToFormat(QImage::Format_ARGB32));

        panel.helper.answerMode = ScriptedHelper::AnswerMode::Queued;
        if (how == "silent") {
            QVERIFY(panel.refresh());
        } else {
            panel.record.clear();
            QVERIFY(host.registerService(OndaraNames::helperServiceName));
        }
        QTRY_COMPARE(panel.readout->figure(), QStringLiteral("71"));
        QCOMPARE(panel.readout->readings()->state(), PanelReadings::State::current);
    }

    // The host's menu: its items as the layout gives them, and picking a
    // reading there shows it in the icon and keeps it for the next start.
    // Hosts click one item at a time, or send events in groups (as those
    // built on the common client library do); either picks the reading.
    void menuPicksTheReading_data() {
        QTest::addColumn<bool>("grouped");
        QTest::newRow("one event") << false;
        QTest::newRow("event group") << true;
    }
    void menuPicksTheReading() {
        QFETCH(bool, grouped);
        Panel panel;
        QVERIFY(registered(panel));
        QDBusMessage get = QDBusMessage::createMethodCall(
            watcher.service, StatusNotifierMenu::objectPath, "com.canonical.dbusmenu", "GetLayout");
        get << 0 << -1 << QStringList();
        const QDBusMessage reply = call(get);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const auto layout = qdbus_cast<MenuLayoutItem>(reply.arguments().value(1));
        QStringList labels;
        const MenuLayoutItem* choices = nullptr;
        for (const MenuLayoutItem& item : layout.children) {
            labels.append(item.properties.value("label").toString());
            if (item.properties.value("children-display") == "submenu") {
                choices = &item;
            }
        }
        QCOMPARE(labels, (QStringList{"Show Widget", "Open Ondara", "Reading in the Panel",
                                      "Keep Above Other Windows", "", "Quit"}));
        QVERIFY(choices != nullptr);
        QStringList names;
        int fan = -1;
        for (const MenuLayoutItem& item : choices->children) {
            names.append(item.properties.value("label").toString());
            QCOMPARE(item.properties.value("toggle-type").toString(), QStringLiteral("radio"));
            if (names.last() == "Left Fan") {
                fan = item.id;
            }
        }
        QCOMPARE(names, (QStringList{"Hottest Temperature", "CPU", "GPU", "Left Fan", "Used"}));
        // The root is read like any item: it holds the menu.
        QDBusMessage group =
            QDBusMessage::createMethodCall(watcher.service, StatusNotifierMenu::objectPath,
                                           "com.canonical.dbusmenu", "GetGroupProperties");
        group << QVariant::fromValue(QList<int>{0, fan}) << QStringList();
        const auto groupProperties =
            qdbus_cast<MenuItemPropertiesList>(call(group).arguments().value(0));
        QCOMPARE(groupProperties.size(), 2);
        QCOMPARE(groupProperties[0].properties.value("children-display").toString(), "submenu");
        QCOMPARE(groupProperties[1].properties.value("label").toString(), "Left Fan");

        QDBusMessage click = QDBusMessage::createMethodCall(
            watcher.service, StatusNotifierMenu::objectPath, "com.canonical.dbusmenu",
            grouped ? "EventGroup" : "Event");
        const MenuEvent event{fan, QStringLiteral("clicked"), QDBusVariant(0), 0u};
        if (grouped) {
            // An id the menu never gave out comes back as an error, and
            // does not stop the rest.
            click << QVariant::fromValue(MenuEvents{{9999, event.eventId, event.data, 0u}, event});
        } else {
            click << event.id << event.eventId << QVariant::fromValue(event.data) << 0u;
        }
        const QDBusMessage clicked = call(click);
        QVERIFY2(clicked.type() == QDBusMessage::ReplyMessage, qPrintable(clicked.errorMessage()));
        if (grouped) {
            QCOMPARE(qdbus_cast<QList<int>>(clicked.arguments().value(0)), QList<int>{9999});
        }
        QTRY_COMPARE(panel.readout->figure(), QStringLiteral("2.1k"));
        QCOMPARE(QSettings(panel.folder.filePath("state.ini"), QSettings::IniFormat)
                     .value("panelReading")
                     .toString(),
                 QStringLiteral("fan:0"));
    }
};

QTEST_MAIN(TestPanelReadout)
#include "tst_panelreadout.moc"
