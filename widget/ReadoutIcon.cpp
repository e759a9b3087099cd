#include "ReadoutIcon.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace {

const QColor kTile(0x1f, 0x29, 0x33);
const QColor kWarningTile(0xc6, 0x28, 0x28);
const QColor kRim(0xe8, 0xee, 0xf2);
const QColor kFigure(0xff, 0xff, 0xff);

} // namespace

QList<int> ReadoutIcon::pixelSizes() {
    QList<int> sizes;
    for (const int ratio : {1, 2}) {
        for (const int size : {16, 22, 24, 32, 48, 64}) {
            if (!sizes.contains(size * ratio)) {
                sizes.append(size * ratio);
            }
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QImage ReadoutIcon::render(const QString& figure, Tone tone, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Whole pixels for the rim, so its edges fall on the pixel grid.
    const int rim = std::max(1, pixels / 16);
    const QRectF outer(0, 0, pixels, pixels);
    const qreal radius = pixels / 5.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kRim);
    painter.drawRoundedRect(outer, radius, radius);
    painter.setBrush(tone == Tone::warning ? kWarningTile : kTile);
    painter.drawRoundedRect(outer.adjusted(rim, rim, -rim, -rim), radius - rim, radius - rim);

    // The largest whole pixel size at which the figure fits inside the rim;
    // hinting keeps the stems on whole pixels.
    QFont font;
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    const int room = pixels - 2 * rim - std::max(1, pixels / 16);
    int fontPixels = std::max(6, pixels * 3 / 4);
    for (; fontPixels > 6; --fontPixels) {
        font.setPixelSize(fontPixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(figure) <= room && metrics.capHeight() <= room) {
            break;
        }
    }
    font.setPixelSize(fontPixels);
    painter.setFont(font);
    painter.setPen(kFigure);
    const QFontMetrics metrics(font);
    // Centred on the digits' height rather than the line's, whole pixels.
    const int x = (pixels - metrics.horizontalAdvance(figure)) / 2;
    const int y = (pixels + metrics.capHeight()) / 2;
    painter.drawText(QPoint(x, y), figure);
    painter.end();
    return image;
}

QIcon ReadoutIcon::icon(const QString& figure, Tone tone) {
    QIcon icon;
    for (const int pixels : pixelSizes()) {
        icon.addPixmap(QPixmap::fromImage(render(figure, tone, pixels)));
    }
    return icon;
}
