#include "NamedAssets.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>

QString NamedAssets::defaultCataloguePath() {
    return QStringLiteral(":/ondara/assets/colors.json");
}

const QStringList& NamedAssets::requiredColorNames() {
    static const QStringList names{
        QStringLiteral("NameColor"),       QStringLiteral("ValueColor"),
        QStringLiteral("BoxColor"),        QStringLiteral("SelectedColor"),
        QStringLiteral("UnselectedColor"), QStringLiteral("BackColor"),
        QStringLiteral("ContainerColor"),  QStringLiteral("MemDarkColor"),
        QStringLiteral("CurrentTabColor"), QStringLiteral("TabColor"),
        QStringLiteral("TabLineColor"),    QStringLiteral("AlertColor"),
    };
    return names;
}

const NamedAssets& NamedAssets::shared() {
    static const NamedAssets catalogue;
    return catalogue;
}

NamedAssets::NamedAssets(const QString& cataloguePath) {
    load(cataloguePath);
}

void NamedAssets::load(const QString& cataloguePath) {
    m_folder = QFileInfo(cataloguePath).path();
    QFile file(cataloguePath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read the asset catalogue %1: %2")
                      .arg(cataloguePath, file.errorString());
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        m_error = QStringLiteral("the asset catalogue %1 is not a JSON object: %2")
                      .arg(cataloguePath, parseError.errorString());
        return;
    }
    const QJsonObject colors = document.object().value(QLatin1String("colors")).toObject();
    for (auto it = colors.begin(); it != colors.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        const QColor light = QColor::fromString(entry.value(QLatin1String("light")).toString());
        const QColor dark = QColor::fromString(entry.value(QLatin1String("dark")).toString());
        if (!light.isValid() || !dark.isValid()) {
            m_error = QStringLiteral("the colour \"%1\" of the asset catalogue %2 needs a valid "
                                     "\"light\" and \"dark\" value")
                          .arg(it.key(), cataloguePath);
            return;
        }
        m_colors.insert(it.key(), Variants{light, dark});
    }
    const QJsonObject images = document.object().value(QLatin1String("images")).toObject();
    for (auto it = images.begin(); it != images.end(); ++it) {
        QStringList files;
        const QJsonArray list = it.value().toArray();
        for (const QJsonValue& value : list) {
            files.append(m_folder + QLatin1Char('/') + value.toString());
        }
        m_images.insert(it.key(), files);
    }
}

QStringList NamedAssets::colorNames() const {
    QStringList names = m_colors.keys();
    names.sort();
    return names;
}

QPalette NamedAssets::darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x20));
    palette.setColor(QPalette::WindowText, QColor(0xE5, 0xE5, 0xEA));
    palette.setColor(QPalette::Base, QColor(0x26, 0x26, 0x28));
    palette.setColor(QPalette::Text, QColor(0xE5, 0xE5, 0xEA));
    palette.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    palette.setColor(QPalette::ButtonText, QColor(0xE5, 0xE5, 0xEA));
    palette.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    // Disabled controls recede into the dark background instead of keeping
    // the bright texts and the blue of enabled ones.
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(0x6E, 0x6E, 0x73));
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0x22, 0x22, 0x24));
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0x2C, 0x2C, 0x2E));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x48, 0x48, 0x4A));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(0x98, 0x98, 0x9D));
    return palette;
}

bool NamedAssets::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

std::optional<QColor> NamedAssets::findColor(const QString& name, const QPalette& palette) const {
    const auto it = m_colors.constFind(name);
    if (it == m_colors.constEnd()) {
        return std::nullopt;
    }
    return isDark(palette) ? it->dark : it->light;
}

QColor NamedAssets::color(const QString& name, const QPalette& palette) const {
    const std::optional<QColor> found = findColor(name, palette);
    if (!found) {
        qWarning().noquote() << problemWith({name});
        return QColor(Qt::magenta);
    }
    return *found;
}

QIcon NamedAssets::image(const QString& name) const {
    QIcon icon;
    const QStringList files = m_images.value(name);
    for (const QString& file : files) {
        // The catalogue's images are PNGs. A reader left to find the format
        // itself first loads every image plugin there is (GIF, ICO, JPEG and
        // its library) to ask each of them, and they stay loaded.
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

QString NamedAssets::applicationIconName() {
    return QStringLiteral("com.quillbank.Ondara");
}

QIcon NamedAssets::applicationIcon() {
    return QIcon::fromTheme(applicationIconName(), shared().image(applicationIconName()));
}

QString NamedAssets::problemWith(const QStringList& names) const {
    if (!m_error.isEmpty()) {
        return QStringLiteral("Ondara cannot start: ") + m_error;
    }
    QStringList missing;
    for (const QString& name : names) {
        if (!m_colors.contains(name)) {
            missing.append(QLatin1Char('"') + name + QLatin1Char('"'));
        }
    }
    if (missing.isEmpty()) {
        return {};
    }
    return QStringLiteral("Ondara cannot start: the asset catalogue has no colour named %1")
        .arg(missing.join(QStringLiteral(", ")));
}
