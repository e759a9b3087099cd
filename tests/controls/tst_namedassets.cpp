#include "NamedAssets.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
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
    void applicationIconFromTheThemeElseTheCatalogue_data();
    void applicationIconFromTheThemeElseTheCatalogue();
};

void TestNamedAssets::builtInCatalogueHasEverythingTheProgramsName() {
    const NamedAssets& assets = NamedAssets::shared();
    QCOMPARE(assets.problemWith(), QString());
    QCOMPARE(NamedAssets::requiredColorNames().size(), 12);
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

void TestNamedAssets::applicationIconFromTheThemeElseTheCatalogue_data() {
    QTest::addColumn<bool>("installed");
    QTest::newRow("installed in hicolor") << true;
    QTest::newRow("not installed") << false;
}

void TestNamedAssets::applicationIconFromTheThemeElseTheCatalogue() {
    QFETCH(bool, installed);
    // An icon theme of our own, in which the installed icon is plain green.
    QTemporaryDir themes;
    const QString hicolor = themes.filePath(QStringLiteral("hicolor"));
    QVERIFY(QDir().mkpath(hicolor + QStringLiteral("/32x32/apps")));
    QFile index(hicolor + QStringLiteral("/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=hicolor\nDirectories=32x32/apps\n\n"
                "[32x32/apps]\nSize=32\nType=Fixed\n");
    index.close();
    if (installed) {
        QImage green(32, 32, QImage::Format_ARGB32);
        green.fill(Qt::green);
        QVERIFY(green.save(hicolor + QStringLiteral("/32x32/apps/") +
                           NamedAssets::applicationIconName() + QStringLiteral(".png")));
    }
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QImage shown = NamedAssets::applicationIcon().pixmap(32, 32).toImage();
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(theme);
    QVERIFY(!shown.isNull());
    // The catalogue's copy is the application's own picture: a dark tile.
    QCOMPARE(shown.pixelColor(16, 16) == QColor(Qt::green), installed);
}
