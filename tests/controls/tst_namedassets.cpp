#include "NamedAssets.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QPalette paletteWithWindow(const QColor& window) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}

QString writeCatalogue(const QTemporaryDir& folder, const QByteArray& json) {
    const QString path = folder.filePath(QStringLiteral("colors.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
        return {};
    }
    return path;
}

} // namespace

class TestNamedAssets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void builtInCatalogueHasEverythingTheProgramsName();
    void valueFollowsThePaletteAndMissingColourIsNamed();
    void unusableCataloguesAreReported_data();
    void unusableCataloguesAreReported();
};

void TestNamedAssets::builtInCatalogueHasEverythingTheProgramsName() {
    const NamedAssets& assets = NamedAssets::shared();
    QCOMPARE(assets.problemWith(), QString());
    QCOMPARE(NamedAssets::requiredColorNames().size(), 11);
    for (const QString& name : NamedAssets::requiredColorNames()) {
        const auto light = assets.findColor(name, paletteWithWindow(Qt::white));
        const auto dark = assets.findColor(name, paletteWithWindow(QColor(0x20, 0x20, 0x20)));
        QVERIFY2(light && dark && *light != *dark, qPrintable(name));
    }
    const QIcon gear = assets.image(QStringLiteral("gear-tiny"));
    QVERIFY(gear.availableSizes().contains(QSize(16, 16)));
    QVERIFY(gear.availableSizes().contains(QSize(32, 32)));
    QVERIFY(assets.image(QStringLiteral("no-such-image")).isNull());
}

void TestNamedAssets::valueFollowsThePaletteAndMissingColourIsNamed() {
    QTemporaryDir folder;
    const NamedAssets assets(writeCatalogue(
        folder, R"({"colors": {"NameColor": {"light": "#010203", "dark": "#0a0b0c"}}})"));
    QVERIFY(assets.isValid());
    const QString name = QStringLiteral("NameColor");
    QCOMPARE(assets.color(name, paletteWithWindow(QColor(0xEE, 0xEE, 0xEE))),
             QColor(0x01, 0x02, 0x03));
    QCOMPARE(assets.color(name, paletteWithWindow(QColor(0x22, 0x22, 0x22))),
             QColor(0x0A, 0x0B, 0x0C));

    QVERIFY(!assets.findColor(QStringLiteral("MemDarkColor"), QPalette()));
    const QString problem = assets.problemWith({"NameColor", "MemDarkColor"});
    QVERIFY2(problem.contains(QLatin1String("\"MemDarkColor\"")), qPrintable(problem));
    QVERIFY(!problem.contains(QLatin1String("\"NameColor\"")));
    QCOMPARE(assets.problemWith({"NameColor"}), QString());
}

void TestNamedAssets::unusableCataloguesAreReported_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("not JSON") << QByteArray("{colors:") << "not a JSON object";
    QTest::newRow("bad colour") << QByteArray(R"({"colors": {"X": {"light": "#12"}}})") << "\"X\"";
}

void TestNamedAssets::unusableCataloguesAreReported() {
    QFETCH(QByteArray, json);
    QFETCH(QString, mentions);
    QTemporaryDir folder;
    const NamedAssets assets(writeCatalogue(folder, json));
    QVERIFY(!assets.isValid());
    QVERIFY2(assets.problemWith({}).contains(mentions), qPrintable(assets.problemWith({})));

    const NamedAssets absent(folder.filePath(QStringLiteral("absent.json")));
    QVERIFY(!absent.isValid());
    QVERIFY(absent.errorString().contains(QLatin1String("absent.json")));
}

QTEST_MAIN(TestNamedAssets)
#include "tst_namedassets.moc"
